// winprop.h -- text properties the explorer sets on its own window
#pragma once

#include <string>

// Sets property name (type UTF8_STRING) to text on the window of the current
// GL context, replacing what it held, and sends the change to the X server
// at once; does nothing without a current context. winprop.cpp is the real
// one (GLX and Xlib); the tests and rootzoom-render link glnull.cpp's,
// which records the call.
void set_window_text(const char *name, const std::string &text);
