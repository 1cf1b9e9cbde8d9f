// display.h -- the display callback and the frame description it renders
#pragma once

#include "engine/frame.h"

// A view's iteration limit as a frame uses it: truncated toward zero,
// held to the int range beyond it, 0 for a not-a-number.
int iteration_limit(double limit);

// Whether a view of this centre and these signed half-extents is deeper
// than doubles resolve on the current viewport: its pixel step below 64
// units in the last place of its largest coordinate.
bool view_is_deep(double xmid, double ymid, double xhalf, double yhalf);
// The same for a grid of the given columns and rows over the view.
bool grid_is_deep(double xmid, double ymid, double xhalf, double yhalf, int columns, int rows);

// Whether the current view state's frame is computed in double-double: as
// the precision choice says, and in auto when the plane the mode displays
// has a deep view.
bool frame_is_deep();

// The frame description of the current view state and viewport.
frame_desc describe_frame();

// GLUT's display callback: decides from the flags whether to render and
// whether the render may skip the coarse pass, renders, publishes the
// frame's view on the window, clears the flags.
void paint_mandel();
