// argsof.h -- the five numbers that open the explorer on a picture's view, and what else it would need
#pragma once

#include <string>
#include <vector>

struct picture_record;

// The explorer's command line for a picture's view.
struct explorer_numbers {
    double numbers[5];  // xmax xmin ymax ymin maxiter
    bool exact;         // the explorer's setkoords turns them into the view the picture shows, to the bit
    double off;         // when not exact: how many pixels the view's edges are off at most, or infinity
};

// The numbers for the view of the plane the picture shows (the parameter
// plane in mode 0, the dynamic plane otherwise) and its iteration limit:
// exact ones when there are any, else the closest found.
explorer_numbers numbers_for(const picture_record &r);

// Why five numbers cannot carry the picture's view, or nothing when they
// can: its centre has low parts, or the closest numbers put its edges a
// pixel or more off. The sentence names the picture name, what
// rootzoom-render is given to make it again (again, "--from FILE") and, for
// a parameter-plane view of the usual aspect, the --c and --half-width
// command that names it.
std::string cannot_carry(const picture_record &r, const explorer_numbers &n, const std::string &name,
                         const std::string &again);

// What the explorer started with those numbers shows otherwise than the
// picture, one sentence each about the picture called name: a view that is
// not exact, the mode, a c or a start value it cannot take from its command
// line, and the picture's coarse pass, width or size.
std::vector<std::string> explorer_notes(const picture_record &r, const explorer_numbers &n, const std::string &name);

// --args-of: the numbers on standard output, the notes on standard error,
// and the exit status: 2 for a file without a readable view, 1 and no
// numbers for a view that five numbers cannot carry.
int print_args_of(const std::string &path);

// The same for a record read elsewhere, called name in the notes and made
// again by rootzoom-render given again; status 0, or 1 as above.
int print_args(const picture_record &r, const std::string &name, const std::string &again);
