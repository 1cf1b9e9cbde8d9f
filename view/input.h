// input.h -- the mouse and keyboard callbacks and the mouse accessors
#pragma once

// GLUT's mouse callback: records a press or a release; all three buttons
// held end the program.
void mouse(int button, int state, int x, int y);

// GLUT's motion callback (a drag): records the pointer and whether it left
// the reference position.
void mouseMotion(int x, int y);

// GLUT's keyboard callback: space and backspace cycle the mode, 'd' the
// debug listing, Esc ends the program.
void key(unsigned char k, int x, int y);

int getxmouse();    // MOUSEX
int getymouse();    // MOUSEY
int mygetbutton();  // buttons
void resetmouse();  // moves the reference position to the pointer
