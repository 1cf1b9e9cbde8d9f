// display.h -- the display callback
#pragma once

// GLUT's display callback: shows the frame buffer.
void paint_mandel();
