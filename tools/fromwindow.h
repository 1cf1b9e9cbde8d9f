// fromwindow.h -- the view record a running explorer publishes on its window, read back over X
#pragma once

#include <string>

struct picture_record;

// Reads the view record of window id, or with id 0 of the one window titled
// rootzoom, on the display DISPLAY names; name is what messages call the
// window ("window 0x1a00007"). False, with a message ready to print in why,
// when the display cannot be opened, no window or several are titled
// rootzoom, the window is missing, or it holds no view or a damaged one.
// Whatever a message quotes from a window is escaped and cut short.
bool read_window_view(unsigned long id, picture_record &r, std::string &name, std::string &why);

// --args-of-window: the numbers on standard output, the notes on standard
// error, and the exit status (2 when no view could be read).
int print_args_of_window(unsigned long id);
