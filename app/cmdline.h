// cmdline.h -- the explorer's command line: the usage line and the five numbers
#pragma once

#include <cstdio>
#include <string>

// The program name that the usage line shows for argv[0]: what follows the
// last backslash, cut at the last '.' when that lies inside the name.
std::string usage_name(const char *argv0);

// Prints "Usage: NAME [xmax xmin ymax ymin maxiter]" to the given stream.
void print_usage(std::FILE *out, const char *argv0);

// Reads a whole argument as one number (as strtod reads it); false for an
// empty text or anything after the number.
bool read_number(const char *text, double *value);

// What the explorer's command line asks for.
enum command_line_verdict { COMMAND_LINE_OK, COMMAND_LINE_USAGE, COMMAND_LINE_NOT_A_NUMBER };

// Reads no arguments or the five numbers xmax xmin ymax ymin maxiter; any
// other count asks for the usage line. For an argument that is not a
// number, *bad is its index in argv.
command_line_verdict read_command_line(int argc, char **argv, double numbers[5], int *bad);
