// idle.h -- the idle handler: zoom steps, pans and start-value moves
#pragma once

extern int idle_registered;  // the idle handler is registered with GLUT; idle and wake_idle

// GLUT's idle callback: one zoom step while the left or the right button
// alone is held, the recorded movement as a pan or a start-value move, and
// a redisplay request when a frame is due. A call with nothing to do
// unregisters the handler, so that the main loop sleeps until input.
void idle();

// One zoom step about the centre of the view the mode acts on (the
// dynamic-plane view in mode 2, the parameter-plane view otherwise), as
// held button b asks: 1 zooms in, 4 zooms out, anything else nothing. Sets
// calc when it zooms. idle takes its steps with it, and so do
// rootzoom-render's zoom sequences.
void zoom_step(int b);

// Registers the idle handler again if a call found nothing to do; every
// callback that may give it work calls this.
void wake_idle();
