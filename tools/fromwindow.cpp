// fromwindow.cpp -- the view record a running explorer publishes on its window, read back over X
//
// Only --from-window and --args-of-window open the display: every other use
// of rootzoom-render needs no X server. Errors from the server (a window
// that is gone by the time it is asked about) are caught, not fatal.
#include "tools/fromwindow.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include <cstdio>
#include <string>
#include <vector>

#include "tools/argsof.h"
#include "tools/printable.h"
#include "tools/viewtag.h"

namespace {

constexpr std::size_t longest_record = 1024;  // far more than any record, whose lines hold at most 26 numbers
constexpr std::size_t longest_title = 65536;  // read of a title, to say how much of it a message leaves out
constexpr std::size_t listed_most = 400;      // bytes of a record that the list of windows shows
const char title[] = "rootzoom";

int x_error = 0;  // the code of the latest X error; on_x_error sets it, each request clears it first

extern "C" int on_x_error(Display *, XErrorEvent *e)
{
    x_error = e->error_code;
    return 0;
}

std::string window_name(Window w)
{
    char name[32];
    std::snprintf(name, sizeof name, "window 0x%lx", static_cast<unsigned long>(w));
    return name;
}

// A property's bytes, as far as most of them; gone when the window is.
struct window_text {
    bool gone = false;
    Atom type = None;  // None: the window has no such property
    int format = 0;
    bool too_long = false;
    std::string text;
    unsigned long whole = 0;  // the property's length in bytes, read or not
};

window_text read_text(Display *display, Window w, Atom property, std::size_t most)
{
    window_text t;
    unsigned long count = 0, after = 0;
    unsigned char *data = nullptr;
    x_error = 0;
    const int status = XGetWindowProperty(display, w, property, 0, long((most + 3) / 4), False, AnyPropertyType,
                                          &t.type, &t.format, &count, &after, &data);
    t.gone = status != Success || x_error != 0;
    if (!t.gone && t.type != None && t.format == 8)
        t.text.assign(reinterpret_cast<const char *>(data), count);
    t.too_long = after > 0 || t.text.size() > most;
    t.whole = t.text.size() + after;
    if (data)
        XFree(data);
    return t;
}

// Every window below w, depth first; windows that go meanwhile are skipped.
void windows_below(Display *display, Window w, std::vector<Window> &all)
{
    Window root = None, parent = None, *children = nullptr;
    unsigned int n = 0;
    x_error = 0;
    if (!XQueryTree(display, w, &root, &parent, &children, &n) || x_error != 0)
        return;
    for (unsigned int i = 0; i < n; i++) {
        all.push_back(children[i]);
        windows_below(display, children[i], all);
    }
    if (children)
        XFree(children);
}

// The connection, and the atoms a view is read with; view is None when no
// program has ever named the property, so that no window can hold one.
struct x_session {
    Display *display = nullptr;
    XErrorHandler before = nullptr;
    Atom view = None, utf8 = None;

    ~x_session()
    {
        if (!display)
            return;
        XCloseDisplay(display);
        XSetErrorHandler(before);
    }

    std::string where() const { return "on display '" + printable(DisplayString(display)) + "'"; }

    window_text view_of(Window w, std::size_t most) const
    {
        return view != None ? read_text(display, w, view, most) : window_text{};
    }
};

// One line for the list of windows that could be meant: the record's lines
// joined, or what stands in its place.
std::string summary(const x_session &x, Window w)
{
    const window_text view = x.view_of(w, longest_record);
    if (view.gone)
        return "(gone)";
    if (view.type == None)
        return "(no view)";
    // Cut by the record's own bytes, so that what is left out is counted
    // of the whole property, most of which was never read.
    std::string joined;
    std::size_t used = 0;
    for (; used < view.text.size() && joined.size() < listed_most; used++)
        joined += view.text[used] == '\n' ? std::string("; ") : std::string(1, view.text[used]);
    const std::string more = used < view.whole ? "... (" + std::to_string(view.whole - used) + " more bytes)" : "";
    return printable(joined, joined.size()) + more;
}

// The one window titled rootzoom on any screen of the display.
bool find_the_window(const x_session &x, Window &found, std::string &why)
{
    std::vector<Window> all, titled;
    for (int s = 0; s < ScreenCount(x.display); s++)
        windows_below(x.display, RootWindow(x.display, s), all);
    for (Window w : all) {
        const window_text name = read_text(x.display, w, XA_WM_NAME, sizeof title);
        if (!name.gone && !name.too_long && name.text == title)
            titled.push_back(w);
    }
    if (titled.size() == 1) {
        found = titled[0];
        return true;
    }
    if (titled.empty()) {
        why = std::string("no window is titled '") + title + "' " + x.where() +
              ": start rootzoom there, or name its window with --from-window ID";
        return false;
    }
    why = std::to_string(titled.size()) + " windows are titled '" + title + "' " + x.where() +
          "; name one with --from-window ID:";
    for (Window w : titled)
        why += "\n  " + window_name(w) + ": " + summary(x, w);
    return false;
}

// A window's view is refused as a PNG's is: missing, or damaged.
bool read_view_of(const x_session &x, Window w, picture_record &r, std::string &why)
{
    const std::string name = window_name(w);
    const window_text wm_name = read_text(x.display, w, XA_WM_NAME, longest_title);
    const window_text view = x.view_of(w, longest_record);
    if (wm_name.gone || view.gone) {
        why = "there is no " + name + " " + x.where();
        return false;
    }
    const std::string damaged = name + ": its view is damaged: ";
    if (view.type == None)
        why = name + " ('" + printable(wm_name.text) + "') holds no view: it is not the window of a rootzoom " +
              "that publishes its view as " + view_property;
    else if (view.type != x.utf8 || view.format != 8)
        why = damaged + "its " + view_property + " property is not UTF8_STRING text";
    else if (view.too_long)
        why = damaged + "it is longer than " + std::to_string(longest_record) + " bytes, more than any view";
    else if (!parse_view_text(view.text, r, why))
        why = damaged + why;  // what it quotes of the text is escaped and cut already
    else
        return true;
    return false;
}

}  // namespace

bool read_window_view(unsigned long id, picture_record &r, std::string &name, std::string &why)
{
    x_session x;
    x.display = XOpenDisplay(nullptr);
    if (!x.display) {
        why = "cannot open the X display '" + printable(XDisplayName(nullptr)) +
              "': the view is read off the window of a rootzoom running on the display that DISPLAY names";
        return false;
    }
    x.before = XSetErrorHandler(on_x_error);
    x.view = XInternAtom(x.display, view_property, True);
    x.utf8 = XInternAtom(x.display, "UTF8_STRING", True);
    Window w = id;
    if (!w && !find_the_window(x, w, why))
        return false;
    name = window_name(w);
    return read_view_of(x, w, r, why);
}

int print_args_of_window(unsigned long id)
{
    picture_record r;
    std::string name, why;
    if (!read_window_view(id, r, name, why)) {
        std::fprintf(stderr, "rootzoom-render: %s\n", why.c_str());
        return 2;
    }
    return print_args(r, name, "--from-window " + name.substr(name.find(' ') + 1));
}
