// startup.h -- program start-up: command line, frame buffer, palette, window, views
#pragma once

// Runs the explorer's start-up in its fixed order and enters the GLUT main
// loop; a wrong argument count prints the usage line and exits with 0.
void startup(int argc, char **argv);

// Builds the palette, then opens the window and registers the callbacks.
void graphic(int argc, char **argv);
