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

// The half-height of the grid of a picture of the given columns and rows
// computed on a grid of its own: the view's own in the explorer's shape,
// else the half-width's size over the picture's shape, with the sign of
// the view's half-height, so that its pixels are square.
double grid_half_height(double xhalf, double yhalf, int columns, int rows);

// What a precision choice computes a frame in, given whether its view is
// deep: PRECISION_DOUBLE, PRECISION_DOUBLE_DOUBLE or PRECISION_PERTURBATION.
int precision_used(int choice, bool deep);

// What the current view state's frame is computed in: as the precision
// choice says of the plane the mode displays.
int frame_precision();

// Whether that is not doubles: the frame's grids are offsets from the
// view's centre, which it carries whole.
bool frame_is_deep();

// The frame description of the current view state and viewport.
frame_desc describe_frame();

// GLUT's display callback: decides from the flags whether to render and
// whether the render may skip the coarse pass, renders, publishes the
// frame's view on the window, clears the flags.
void paint_mandel();
