// display.cpp -- the display callback
#include "view/display.h"

#include <GL/freeglut.h>

#include "app/screen.h"

void paint_mandel()
{
    glDrawPixels(SCREEN_W, SCREEN_H, GL_RGBA, GL_UNSIGNED_BYTE, screen);
    glutSwapBuffers();
}
