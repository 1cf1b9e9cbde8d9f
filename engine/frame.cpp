// frame.cpp -- renders a whole frame strip by strip and presents it
#include "engine/frame.h"

#include <GL/freeglut.h>

#include "app/logo.h"
#include "app/screen.h"
#include "engine/strip.h"
#include "view/viewstate.h"

// Strip i of n covers the rows from s(i) = rows * i / n, rounded down to
// even, for s(i+1) - s(i) rows made even: with an even row count the strips
// cover every row, and neighbours may overlap by two. Each strip's y0 is one
// multiplication from the frame's, not a running sum.
strip_task strip_record(int i, int strips, const frame_desc &f, int held)
{
    const int s0 = f.rows * i / strips, s1 = f.rows * (i + 1) / strips;
    strip_task t;
    t.index = i;
    t.first_row = f.first_row + (s0 & ~1);
    t.rows = (s1 - s0) + ((s1 - s0) & 1);
    const double o = t.first_row - f.first_row;
    t.x0 = f.x0, t.dx = f.dx, t.y0 = f.y0 - o * f.dy, t.dy = f.dy;
    t.jx0 = f.jx0, t.jdx = f.jdx, t.jy0 = f.jy0 - o * f.jdy, t.jdy = f.jdy;
    t.zx = ZX, t.zy = ZY;
    t.maxiter = f.maxiter, t.jmaxiter = f.jmaxiter;
    t.no_firstpass = no_firstpass;
    t.highq = highq;
    t.buttons = held;
    t.finished = 0;
    t.mode = do_julia;
    t.deep = f.deep;
    t.perturbed = f.deep && f.perturbed;
    for (int k = 0; k < 2; k++)
        t.ox[k] = f.ox[k], t.oy[k] = f.oy[k], t.jox[k] = f.jox[k], t.joy[k] = f.joy[k];
    return t;
}

// The buttons are read once, so every strip of a frame sees the same value.
// A strip count beyond the record array is held to its size. The whole
// buffer is drawn, border included, and the logo goes over it.
void mandel(int first_row, int rows, double x0, double dx, double y0, double dy, int maxiter, double jx0,
            double jdx, double jy0, double jdy, int jmaxiter)
{
    render_frame({first_row, rows, x0, dx, y0, dy, maxiter, jx0, jdx, jy0, jdy, jmaxiter, 0, {}, {}, {}, {}, 0});
}

void render_frame(const frame_desc &f)
{
    strip_task tasks[MAX_STRIPS];
    const int held = buttons;
    const int strips = anz < MAX_STRIPS ? anz : MAX_STRIPS;
    for (int i = 0; i < strips; i++) {
        tasks[i] = strip_record(i, strips, f, held);
        smandel(&tasks[i]);
    }
    glDrawPixels(SCREEN_W, SCREEN_H, GL_RGBA, GL_UNSIGNED_BYTE, screen);
    print_logo();
    glutSwapBuffers();
}
