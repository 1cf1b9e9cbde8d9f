// frame.cpp -- renders a whole frame strip by strip and presents it
#include "engine/frame.h"

#include <GL/freeglut.h>

#include "app/logo.h"
#include "app/screen.h"
#include "engine/strip.h"
#include "view/viewstate.h"

// Strip i covers the rows from s(i) = rows * i / anz, rounded down to even,
// for s(i+1) - s(i) rows made even: with an even row count the strips
// cover every row, neighbours may overlap by two. Each strip's y0 is one
// multiplication from the frame's, not a running sum. The buttons are read
// once, so every strip of a frame sees the same value. A strip count beyond
// the record array is held to its size.
void mandel(int first_row, int rows, double x0, double dx, double y0, double dy, int maxiter, double jx0,
            double jdx, double jy0, double jdy, int jmaxiter)
{
    strip_task tasks[MAX_STRIPS];
    const int held = buttons;
    const int strips = anz < MAX_STRIPS ? anz : MAX_STRIPS;
    for (int i = 0; i < strips; i++) {
        const int s0 = rows * i / strips, s1 = rows * (i + 1) / strips;
        strip_task &t = tasks[i];
        t.index = i;
        t.first_row = first_row + (s0 & ~1);
        t.rows = (s1 - s0) + ((s1 - s0) & 1);
        const double o = t.first_row - first_row;
        t.x0 = x0, t.dx = dx, t.y0 = y0 - o * dy, t.dy = dy;
        t.jx0 = jx0, t.jdx = jdx, t.jy0 = jy0 - o * jdy, t.jdy = jdy;
        t.zx = ZX, t.zy = ZY;
        t.maxiter = maxiter, t.jmaxiter = jmaxiter;
        t.no_firstpass = no_firstpass;
        t.highq = highq;
        t.buttons = held;
        t.finished = 0;
        t.mode = do_julia;
        smandel(&t);
    }
    // The whole buffer is drawn, border included; the logo goes over it.
    glDrawPixels(SCREEN_W, SCREEN_H, GL_RGBA, GL_UNSIGNED_BYTE, screen);
    print_logo();
    glutSwapBuffers();
}

void render_frame(const frame_desc &f)
{
    mandel(f.first_row, f.rows, f.x0, f.dx, f.y0, f.dy, f.maxiter, f.jx0, f.jdx, f.jy0, f.jdy, f.jmaxiter);
}
