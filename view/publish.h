// publish.h -- the record of the frame on screen, set on the explorer's window after each frame
#pragma once

#include "view/viewrecord.h"

// Keeps the five numbers the explorer started from (null when it started
// without) and the views they gave: while both views are still those, the
// record names the numbers.
void remember_start_numbers(const double *numbers);

// The record of the frame just rendered: what rootzoom-render writes into a
// PNG of the same picture. It is coarse while a button is held.
picture_record shown_record();

// Sets the window's view property to the record of the frame just shown.
void publish_view();
