// viewstate.h -- what the picture shows and when a new frame is due
#pragma once

// The parameter-plane view: centre and signed half-extents. The viewport's
// left edge shows xmit - xstep, its bottom edge ymit + ystep.
extern double xmit;    // centre x of the parameter-plane view; start-up, setkoords, idle
extern double ymit;    // centre y of the parameter-plane view; start-up, setkoords, idle
extern double xstep;   // signed half-width of the parameter-plane view; start-up, setkoords, idle
extern double ystep;   // signed half-height of the parameter-plane view; start-up, setkoords, idle
extern double maxit;   // iteration limit of the parameter-plane view; start-up, setkoords, idle

// The dynamic-plane view, the same five values for the plane of start values.
extern double jxmit;   // centre x of the dynamic-plane view; start-up, setkoords, idle
extern double jymit;   // centre y of the dynamic-plane view; start-up, setkoords, idle
extern double jxstep;  // signed half-width of the dynamic-plane view; start-up, setkoords, idle
extern double jystep;  // signed half-height of the dynamic-plane view; start-up, setkoords, idle
extern double jmaxit;  // iteration limit of the dynamic-plane view; start-up, setkoords, idle

// The low parts of the centres: a centre is xmit + xmit_lo exactly, a
// double-double, for views deeper than doubles resolve. They are zero
// until a deep view is panned (or set so by rootzoom-render), and frames
// in double precision leave them out.
extern double xmit_lo;   // low part of xmit; zeroed by resetkoords and setkoords, written by idle's pan
extern double ymit_lo;   // low part of ymit; likewise
extern double jxmit_lo;  // low part of jxmit; likewise
extern double jymit_lo;  // low part of jymit; likewise

// How frames are computed. Auto: in doubles while they resolve the view,
// by perturbation from a reference orbit when it is deeper. Double,
// double-double and perturbation: always that. The last is auto as
// pictures made before perturbation meant it, double-double where doubles
// do not resolve the view, which their records still ask for as "auto".
enum precision_choice {
    PRECISION_AUTO,
    PRECISION_DOUBLE,
    PRECISION_DOUBLE_DOUBLE,
    PRECISION_PERTURBATION,
    PRECISION_AUTO_DOUBLE_DOUBLE
};
extern int precision;  // a precision_choice; auto in the explorer, rootzoom-render --precision sets it

extern double ZX;      // start value z0 of the parameter plane, real part; start-up, key, idle
extern double ZY;      // start value z0 of the parameter plane, imaginary part; start-up, key, idle

extern int do_julia;   // display mode: 0 parameter plane, 1 and 2 dynamic plane; key

// Scheduling flags, each 0 or 1.
extern int calc;          // a new frame must be computed; view changes set it, paint_mandel clears it
extern int post_calc;     // a refined frame is due after a release; mouse sets it, paint_mandel clears it
extern int moved;         // the pointer left the reference position; mouseMotion, cleared by paint_mandel
extern int highq;         // refinement passes enabled; set once by start-up
extern int no_firstpass;  // next frame only refines what the buffer holds; paint_mandel
extern int firsttime;     // the first display has not run yet; 1 at load, cleared by paint_mandel
extern int blub;          // debug line of the parameter-plane kernel on; key 'd'
extern int anz;           // strips per frame; start-up sets it to 1

// Mouse state, in GLUT window pixels (origin upper left, y down).
extern int buttons;    // held buttons: 1 left, 2 middle, 4 right; mouse
extern int MOUSEX;     // latest pointer x of a press or drag; mouse, mouseMotion
extern int MOUSEY;     // latest pointer y of a press or drag; mouse, mouseMotion
extern int oldMOUSEX;  // reference x: the press position, moved on by idle
extern int oldMOUSEY;  // reference y: the press position, moved on by idle

// Sets both views to the default view; resets z0 when reset_z is non-zero.
void resetkoords(int reset_z);

// Sets both views from bounds, so that xmax shows at the left edge and ymin
// at the bottom edge; resets z0 when reset_z is non-zero.
void setkoords(double xmin, double xmax, double ymin, double ymax, double maxiter, int reset_z);
