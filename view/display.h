// display.h -- the display callback and the frame description it renders
#pragma once

#include "engine/frame.h"

// A view's iteration limit as a frame uses it: truncated toward zero,
// held to the int range beyond it, 0 for a not-a-number.
int iteration_limit(double limit);

// The frame description of the current view state and viewport.
frame_desc describe_frame();

// GLUT's display callback: decides from the flags whether to render and
// whether the render may skip the coarse pass, renders, publishes the
// frame's view on the window, clears the flags.
void paint_mandel();
