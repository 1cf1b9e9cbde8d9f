// sequence.h -- zoom sequences: one picture per zoom step of the explorer, numbered in a folder
#pragma once

#include <string>

struct options;
struct picture_record;

// How many pictures the command line asks for: one, or one for every kept
// step of a zoom sequence, step 0 included.
int frame_count(const options &o);

// Where picture n goes: -o's file, or DIR/frame-NNNNN.png in a sequence.
std::string frame_path(const options &o, int n);

// Makes the sequence's folder when it is missing. False, with why, when it
// cannot be made or is no folder.
bool make_frame_folder(const std::string &dir, std::string &why);

// The iteration limit --limit-end gives the frame at a step of a sequence
// whose first frame has the limit first: first itself at step 0, the limit
// --limit-end names at the last step, and between them (and on past the
// last step, at the same rate) a whole number on the geometric way.
double sequence_limit(const options &o, double first, int step);

// Moves the record on to picture n, the next of the sequence whose first
// picture has the limit first_limit: --every zoom steps, taken on the
// record's views by the explorer's own zoom step, in the record's mode, and
// with --limit-end that frame's limit for the parameter-plane view's, which
// every mode's frames iterate to. The view state is left at the new views;
// the five numbers no longer describe them.
void next_frame(picture_record &r, const options &o, double first_limit, int n);
