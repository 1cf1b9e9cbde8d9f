// film.h -- the pictures one run renders: a sequence's folder checked, frames already there kept, one part of many
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "tools/progress.h"
#include "tools/viewtag.h"

struct options;

// Tells what the frame buffer's viewport holds after each tile of a
// picture is rendered, so that a picture of one colour is noticed; first
// is true for the picture's first tile.
void note_tile_colours(bool first);

// The same for a band of a picture computed pixel by pixel: its colours,
// before the logo; first is true for the picture's first band.
void note_colours(const std::uint32_t *pixels, std::size_t count, bool first);

// The pictures of one run, in the order they are rendered: the one picture
// of -o, or the frames of a sequence that belong to this run's part and are
// not in the folder already.
class film {
public:
    // For a sequence: makes the folder and reads the frames in it. Ends the
    // process before anything is rendered, with status 1 when the folder
    // cannot be made or read and status 2 when it holds frames of another
    // sequence (unless --overwrite, which removes those past this
    // sequence's end). Warns when frames go deeper than double precision.
    film(const options &o, const picture_record &first);

    int count() const { return int(numbers_.size()); }
    int number(int i) const { return numbers_[i]; }

    // Sets the record, and the view state, to picture i's view; i ascends
    // from call to call, and record starts as the first frame's.
    void aim_frame(int i, picture_record &record);

    // The frames for the progress line.
    frames_ahead ahead() const;

    // After picture i is rendered: notes whether it was one colour.
    void rendered(int i);

    // At the end: the frames rendered and kept (with --stats), and a
    // warning naming the first frame of one colour.
    void report(bool stats) const;

    // --aim left the centre where it was, and said why: a frame of one
    // colour is then not blamed on the boundary aimed at.
    void aim_missed() { aim_missed_ = true; }

private:
    const options &o_;
    double first_limit_;           // the first frame's limit, which --limit-end grows from
    std::vector<int> numbers_;      // frame numbers to render, ascending
    std::vector<double> limits_;   // each one's iteration limit, for the progress line
    int kept_ = 0;                 // frames of this run kept from the folder
    int at_ = 0;                   // the frame the record of aim_frame is at
    int flat_ = 0, first_flat_ = -1;
    bool flat_black_ = false;      // the first frame of one colour is black
    double flat_limit_ = 0;        // and has this limit
    std::vector<double> black_;    // the share of black pixels of each frame rendered
    int peak_ = 0;                 // the frame rendered with the most black
    picture_record shown_, flat_record_, peak_record_;  // the frame being rendered, the first of one colour, that one
    int too_deep_ = -1;            // the first frame past the precision zooming in, the last zooming out
    bool aim_missed_ = false;      // --aim found no boundary, or could not search

    struct found;
    void check_folder(const picture_record &first, found &f);
    bool black_from_limit(const picture_record &r) const;
    std::string why_flat() const;
    void report_black() const;
};
