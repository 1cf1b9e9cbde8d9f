// glnull.h -- a recording stand-in for the GL and GLUT functions the program calls
#pragma once

#include <string>
#include <vector>

// One recorded call: the function's name, its integer arguments in order,
// and its pointer argument (pixels, a title, a callback or a property's
// name), if any.
struct gl_call {
    std::string name;
    std::vector<long> args;
    const void *ptr = nullptr;
    std::string text;  // the window title of glutCreateWindow, the property's text of set_window_text
};

extern std::vector<gl_call> gl_calls;  // every call since the last gl_calls.clear(), in order

// The names of the recorded calls, in order: the shape of a call sequence.
std::vector<std::string> gl_call_names();
