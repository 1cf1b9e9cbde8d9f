// film.cpp -- the pictures one run renders: a sequence's folder checked, frames already there kept, one part of many
//
// A long sequence is rendered in several runs: one stopped and started
// again, or parts run at once on several machines by whatever scheduler
// runs them, all into the same folder. So every frame is judged by the view
// it carries: a frame whose view is the one this sequence gives it, and
// whose file is whole, is kept, and any other frame in the folder is
// another sequence's, which is refused rather than mixed in. Each frame is
// rendered from a cleared frame buffer, so a kept frame is to the byte the
// frame a run would render now, and a film put together from several runs
// is the film one run makes.
#include "tools/film.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <unistd.h>

#include "app/screen.h"
#include "tools/options.h"
#include "tools/printable.h"
#include "tools/sequence.h"
#include "tools/tiles.h"
#include "tools/wholepng.h"
#include "view/display.h"
#include "view/viewstate.h"

namespace {

// Double precision ends about here: at a half-width of 3e-13 per frame of
// 1024 columns (1e-13 of the default view's), neighbouring pixels of a view
// about 1 from zero fall on the same doubles. Double-double, which takes
// over before, ends 53 bits further in.
constexpr double double_end = 3e-13;
constexpr double double_double_end = double_end / 9007199254740992.0;  // 3.3e-29
constexpr std::size_t named_in_refusal = 3;  // frames of another sequence named, before "and N more"

// Whether the pictures rendered so far show one colour in the viewport.
struct colour_watch {
    bool seen = false, varied = false;
    std::uint32_t colour = 0;
} watch;

[[noreturn]] void exit_with(int status, const std::string &message)
{
    std::fprintf(stderr, "rootzoom-render: %s\n", message.c_str());
    std::exit(status);
}

// The number of a file named as frame_path names frames, or -1: any other
// name is no frame and is left alone.
int frame_number(const std::string &name)
{
    int n = -1;
    if (name.size() != 15 || name.compare(0, 6, "frame-") != 0 || name.compare(11, 4, ".png") != 0 ||
        !read_count(name.substr(6, 5).c_str(), &n))
        return -1;
    return n;
}

// The numbers of the frames in the folder, ascending.
std::vector<int> frames_in(const std::string &dir)
{
    std::vector<int> present;
    std::error_code error;
    for (std::filesystem::directory_iterator it(dir, error), end; !error && it != end; it.increment(error)) {
        const int n = frame_number(it->path().filename().string());
        if (n >= 0)
            present.push_back(n);
    }
    if (error)
        exit_with(1, "cannot read the folder " + printable(dir) + ": " + error.message());
    std::sort(present.begin(), present.end());
    return present;
}

// The half-width of the plane the picture shows: the parameter plane in
// mode 0, the dynamic plane otherwise.
double shown_half_width(const picture_record &r) { return std::fabs(r.mode == 0 ? r.parameter[2] : r.dynamic[2]); }

// The limit a frame iterates to, whatever its mode: the parameter-plane
// view's.
double frame_limit(const picture_record &r)
{
    return iteration_limit(r.parameter[4]);
}

std::string step_text(const options &o, int n)
{
    return "frame " + std::to_string(n) + " (step " + std::to_string(n * o.every) + ")";
}

}  // namespace

void note_tile_colours(bool first)
{
    if (first)
        watch = colour_watch{};
    if (watch.varied)
        return;
    for (int row = LOY; row < LOY + YPTS; row++)
        for (int col = LOX; col < LOX + XPTS; col++) {
            const std::uint32_t p = screen[row * SCREEN_W + col];
            if (!watch.seen)
                watch.seen = true, watch.colour = p;
            else if (p != watch.colour)
                return void(watch.varied = true);
        }
}

// What the folder holds besides this run's frames: frames of another
// sequence, and how deep the sequence goes.
struct film::found {
    std::vector<int> present;          // frame numbers in the folder, ascending
    std::vector<std::string> foreign;  // why each frame is another sequence's
    std::vector<int> past_end;         // frames past this sequence's last
    int too_deep = -1;                 // the first frame past the precision zooming in, the last zooming out
};

// Walks the sequence frame by frame, as the render will, and holds each
// frame in the folder against the view this sequence gives it.
void film::check_folder(const picture_record &first, found &f)
{
    const int frames = frame_count(o_);
    picture_record r = first;
    std::size_t next = 0;  // into f.present
    for (int n = 0; n < frames; n++) {
        if (n > 0)
            next_frame(r, o_, first_limit_, n);
        const double end = o_.precision == PRECISION_DOUBLE ? double_end : double_double_end;
        if (shown_half_width(r) / o_.tiles < end && (f.too_deep < 0 || o_.zoom_button == 4))
            f.too_deep = n;
        const bool here = next < f.present.size() && f.present[next] == n;
        next += here;
        bool belongs = false;
        if (here) {
            picture_record there;
            std::string why;
            belongs = read_view_file(frame_path(o_, n), there, why) && view_text(there) == view_text(r);
            if (!belongs)
                f.foreign.push_back(why.empty() ? printable(frame_path(o_, n)) + " shows another view" : why);
        }
        if (n % o_.parts != o_.part - 1)
            continue;
        if (belongs && png_is_whole(frame_path(o_, n))) {
            kept_++;
        } else {
            numbers_.push_back(n);
            limits_.push_back(frame_limit(r));
        }
    }
    f.past_end.assign(f.present.begin() + std::ptrdiff_t(next), f.present.end());
    restore_views(first);
}

film::film(const options &o, const picture_record &first) : o_(o), first_limit_(first.parameter[4])
{
    if (!o.zoom_button) {
        numbers_ = {0};
        limits_ = {0};
        return;
    }
    std::string why;
    if (!make_frame_folder(o.frames, why))
        exit_with(1, why);
    found f;
    f.present = frames_in(o.frames);
    check_folder(first, f);
    const std::size_t strangers = f.foreign.size() + f.past_end.size();
    if (strangers > 0 && !o.overwrite) {
        std::string list;
        for (std::size_t i = 0; i < std::min(f.foreign.size(), named_in_refusal); i++)
            list += "\n  " + f.foreign[i];
        const std::string last = printable(frame_path(o, frame_count(o) - 1));
        for (std::size_t i = 0; i < f.past_end.size() && i + f.foreign.size() < named_in_refusal; i++)
            list += "\n  " + printable(frame_path(o, f.past_end[i])) + " lies past this sequence's last frame, " + last;
        if (strangers > named_in_refusal)
            list += "\n  and " + std::to_string(strangers - named_in_refusal) + " more";
        exit_with(2, "the folder " + printable(o.frames) + " holds " + std::to_string(strangers) +
                         " frames of another sequence; nothing was rendered:" + list +
                         "\ngive --overwrite to replace them and remove those past the end, or another folder");
    }
    for (int n : f.past_end)
        if (unlink(frame_path(o, n).c_str()) != 0 && errno != ENOENT)
            exit_with(1, "cannot remove " + printable(frame_path(o, n)) + ": " + std::strerror(errno));
    const bool doubles = o.precision == PRECISION_DOUBLE;
    too_deep_ = f.too_deep;
    if (f.too_deep >= 0)
        std::fprintf(stderr,
                     "rootzoom-render: warning: %s %s%s, the frames are deeper than %s precision reaches (a "
                     "half-width below %s per 1024 columns): they break into blocks\n",
                     o.zoom_button == 1 ? "from" : "up to", step_text(o, f.too_deep).c_str(),
                     o.zoom_button == 1 ? " on" : "", doubles ? "double" : "double-double", doubles ? "3e-13" : "3.3e-29");
}

void film::aim_frame(int i, picture_record &record)
{
    for (; at_ < numbers_[i]; at_++)
        next_frame(record, o_, first_limit_, at_ + 1);
    restore_views(record);
    do_julia = record.mode;
}

frames_ahead film::ahead() const
{
    frames_ahead a;
    a.sequence = o_.zoom_button != 0;
    a.numbers = numbers_;
    a.limits = limits_;
    a.kept = kept_;
    return a;
}

void film::rendered(int i)
{
    if (watch.seen && !watch.varied && flat_++ == 0)
        first_flat_ = numbers_[i];
}

void film::report(bool stats) const
{
    if (!o_.zoom_button)
        return;
    if (stats) {
        std::fprintf(stderr, "frames %d rendered, %d kept", count(), kept_);
        if (o_.parts > 1)
            std::fprintf(stderr, ", part %d of %d", o_.part, o_.parts);
        std::fputc('\n', stderr);
    }
    if (flat_ == 0)
        return;
    // A frame past the precision's end may be one block of colour for that
    // reason alone, wherever the centre lies.
    const bool too_deep =
        too_deep_ >= 0 && (o_.zoom_button == 1 ? first_flat_ >= too_deep_ : first_flat_ <= too_deep_);
    const char *why = too_deep ? (o_.precision == PRECISION_DOUBLE
                                      ? "it lies deeper than double precision reaches; --precision auto computes it "
                                        "in double-double"
                                      : "it lies deeper than double-double precision reaches")
                      : o_.aim ? "at their depth and limit they show nothing of the boundary aimed at"
                               : "the zoom's centre lies inside a basin; --aim moves it onto a boundary";
    std::fprintf(stderr,
                 "rootzoom-render: warning: %d of the %d frames rendered show one colour apart from the logo, the "
                 "first %s: %s\n",
                 flat_, count(), step_text(o_, first_flat_).c_str(), why);
}
