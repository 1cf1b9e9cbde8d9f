// winprop.cpp -- sets a text property on the explorer's window through GLX and Xlib
#include "app/winprop.h"

#include <GL/glx.h>
#include <X11/Xlib.h>

#include <string>

namespace {

// An atom as asked for last, so that it is asked for once per name and
// display: each XInternAtom is a round trip, which every frame would wait for.
struct interned {
    Display *on = nullptr;
    std::string name;
    Atom atom = None;
};

Atom atom_of(interned &cache, Display *display, const char *name)
{
    if (cache.on != display || cache.name != name) {
        cache.atom = XInternAtom(display, name, False);
        cache.on = display;
        cache.name = name;
    }
    return cache.atom;
}

}  // namespace

// freeglut keeps its X handles to itself, but GLX tells the connection and
// the drawable of the current context, and for a freeglut window that
// drawable is the X window itself. The flush sends the change now, not when
// the main loop next reads events, so a reader sees the frame's record as
// soon as the frame is on screen.
void set_window_text(const char *name, const std::string &text)
{
    static interned property_atom, type_atom;
    Display *display = glXGetCurrentDisplay();
    const GLXDrawable window = glXGetCurrentDrawable();
    if (!display || !window)
        return;
    const Atom property = atom_of(property_atom, display, name);
    const Atom type = atom_of(type_atom, display, "UTF8_STRING");
    if (property == None || type == None)
        return;
    XChangeProperty(display, window, property, type, 8, PropModeReplace,
                    reinterpret_cast<const unsigned char *>(text.data()), static_cast<int>(text.size()));
    XFlush(display);
}
