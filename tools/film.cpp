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

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "app/screen.h"
#include "tools/aim.h"
#include "tools/options.h"
#include "tools/pngout.h"
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

// What the picture being rendered shows in the viewport: whether one colour
// alone, and how many of its pixels are black, where samples reach the
// iteration limit (the explorer's palette has no black; where a palette
// read from a file has, a grid of samples tells the limit's black apart).
struct colour_watch {
    bool seen = false, varied = false;
    std::uint32_t colour = 0;
    long long pixels = 0, black = 0;
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

// Whether the record's view is deeper than the precision it is computed in
// reaches, for a picture as wide as the options say (rendered K times wider
// with --supersample K). A view without extent, every pixel the same point,
// is no deep view.
bool past_precision(const options &o, const picture_record &r)
{
    const double end = o.precision == PRECISION_DOUBLE ? double_end : double_double_end;
    const double half = shown_half_width(r) * SCREEN_W / (double(o.size[0]) * o.supersample);
    return half > 0 && half < end;
}

// Says that pictures are deeper than the precision reaches: what names
// them, "the picture is" or "from frame 3 (step 30) on, the frames are".
void warn_too_deep(const options &o, const std::string &which)
{
    const bool doubles = o.precision == PRECISION_DOUBLE;
    std::fprintf(stderr,
                 "rootzoom-render: warning: %s deeper than %s precision reaches (a half-width below %s per 1024 "
                 "columns): %s into blocks\n",
                 which.c_str(), doubles ? "double" : "double-double", doubles ? "3e-13" : "3.3e-29",
                 o.zoom_button ? "they break" : "it breaks");
}

}  // namespace

void note_tile_colours(bool first)
{
    if (first)
        watch = colour_watch{};
    for (int row = LOY; row < LOY + YPTS; row++)
        note_colours(screen + row * SCREEN_W + LOX, std::size_t(XPTS), false);
}

void note_colours(const std::uint32_t *pixels, std::size_t count, bool first)
{
    if (first)
        watch = colour_watch{};
    for (std::size_t i = 0; i < count; i++) {
        if (!watch.seen)
            watch.seen = true, watch.colour = pixels[i];
        watch.varied |= pixels[i] != watch.colour;
        watch.black += pixels[i] == 0;
    }
    watch.pixels += std::int64_t(count);
}

// What the folder holds besides this run's frames: frames of another
// sequence, and how deep the sequence goes.
struct film::found {
    std::vector<int> present;          // frame numbers in the folder, ascending
    std::vector<std::string> foreign;  // why each frame is another sequence's
    std::vector<int> past_end;         // frames past this sequence's last
    int too_deep = -1;                 // the first frame past the precision zooming in, the last zooming out
};

namespace {

// What sets another sequence's frame apart from this sequence's: its
// centre (which --aim chooses), its limit (which --limit-end sets for
// every frame from the last's and the count of steps), both, or more.
std::string what_differs(const options &o, picture_record there, const picture_record &here)
{
    const int zoomed = here.mode == 2 ? 1 : 0;  // the view whose centre the aim moves
    double *centre[2] = {there.parameter, there.dynamic}, *low = there.low + 2 * zoomed;
    const double *want[2] = {here.parameter, here.dynamic}, *want_low = here.low + 2 * zoomed;
    const std::string centre_was = exact_text(centre[zoomed][0]) + " " + exact_text(centre[zoomed][1]),
                      limit_was = exact_text(there.parameter[4]);
    const bool moved = !(same_double(centre[zoomed][0], want[zoomed][0]) &&
                         same_double(centre[zoomed][1], want[zoomed][1]) && same_double(low[0], want_low[0]) &&
                         same_double(low[1], want_low[1])),
               limited = !same_double(there.parameter[4], here.parameter[4]);
    centre[zoomed][0] = want[zoomed][0], centre[zoomed][1] = want[zoomed][1];
    low[0] = want_low[0], low[1] = want_low[1];
    there.parameter[4] = here.parameter[4];
    if (view_text(there) != view_text(here) || !(moved || limited))
        return "view";
    std::string what = moved ? "centre, " + centre_was : "";
    if (limited)
        what += (moved ? ", and another iteration limit, " : "iteration limit, ") + limit_was +
                " where this sequence has " + exact_text(here.parameter[4]);
    if (moved && o.aim)
        what += ": --aim chose " + std::string(limited ? "them" : "it") + " for another sequence (one aimed from "
                "another view, with another limit or by another version aims elsewhere)";
    else if (limited && o.has_limit_end)
        what += ": --limit-end sets every frame's limit from the last frame's and the count of steps";
    return what;
}

// What a file in a frame's place is to this sequence: missing, its frame
// (kept), its unfinished work (rendered again), another sequence's frame, a
// symbolic link (the folder's entry: refused, or replaced with
// --overwrite), or no file at all: a FIFO, a device, a socket or a folder,
// refused whatever the options, as nothing could replace it safely.
enum class frame_is { missing, kept, unfinished, foreign, link, not_a_file };

struct frame_look {
    frame_is verdict;
    std::string why;  // for a foreign frame, a link, or not a file
};

// The kind of a file that is no regular file, for messages.
const char *kind_of(mode_t mode)
{
    return S_ISLNK(mode) ? "a symbolic link" : S_ISFIFO(mode) ? "a FIFO" : S_ISCHR(mode) ? "a character device"
           : S_ISBLK(mode) ? "a block device" : S_ISSOCK(mode) ? "a socket" : S_ISDIR(mode) ? "a folder"
                                                                              : "no regular file";
}

// The folder's entry itself, never what a link there points to, looked
// at first and opened so that nothing waits on it, and read only when it is
// a regular file (checked again once open, in case it was swapped). A file
// whose view cannot be read is this sequence's, cut short before its view
// or its end, unless it is a whole PNG: then it is another program's.
frame_look look_at(const std::string &path, const picture_record &want, const options &o)
{
    const std::string name = printable(path);
    const std::string link = name + " is a symbolic link, and a film's folder holds its frames itself";
    auto unreadable = [&](int error) {
        return frame_look{error == ENOENT ? frame_is::missing : error == ELOOP ? frame_is::link : frame_is::foreign,
                          error == ELOOP ? link : "cannot read " + name + ": " + std::strerror(error)};
    };
    struct stat s;
    if (lstat(path.c_str(), &s) != 0)
        return unreadable(errno);
    if (S_ISLNK(s.st_mode))
        return unreadable(ELOOP);
    const int fd = S_ISREG(s.st_mode) ? open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC) : -1;
    if (S_ISREG(s.st_mode) && fd < 0)
        return unreadable(errno);
    if (fd < 0 || fstat(fd, &s) != 0 || !S_ISREG(s.st_mode)) {
        if (fd >= 0)
            close(fd);
        return {frame_is::not_a_file, name + " is " + kind_of(s.st_mode) + ", not a picture"};
    }
    std::FILE *f = fdopen(fd, "rb");
    if (!f) {
        close(fd);
        return {frame_is::foreign, "cannot read " + name + ": " + std::strerror(errno)};
    }
    picture_record there;
    picture_size size = {0, 0};
    std::string why;
    const bool read = read_view_stream(f, path, there, why, &size);
    const bool whole = png_is_whole(f);
    std::fclose(f);
    if (!read)
        return {whole ? frame_is::foreign : frame_is::unfinished, why};
    if (view_text(there) != view_text(want))
        return {frame_is::foreign, name + " shows another " + what_differs(o, there, want)};
    const picture_size wanted = record_size(want);
    return {whole && size.width == wanted.width && size.height == wanted.height ? frame_is::kept
                                                                                 : frame_is::unfinished,
            ""};
}

// Temporary files of runs of this host that were killed outright, and so
// could not remove them: a later run of the film removes them. Those of
// runs still going, or of other hosts sharing the folder, stay.
void remove_ended_runs_files(const std::string &dir)
{
    std::error_code error;
    for (std::filesystem::directory_iterator it(dir, error), end; !error && it != end; it.increment(error)) {
        const std::string name = it->path().filename().string();
        if (name.size() > 15 && frame_number(name.substr(0, 15)) >= 0 && temp_of_ended_run(name, name.substr(0, 15)))
            unlink(it->path().c_str());
    }
}

// The option that gives a frame black from the limit more steps: the first
// frame's limit is the view's, every other one's follows --limit-end.
std::string more_steps(const options &o, int frame)
{
    if (frame == 0)
        return "--limit N (or the fifth number) gives the first frame the limit N";
    return o.has_limit_end ? "a larger --limit-end gives the last frame, and those before it, more steps"
                           : "--limit-end N gives the last frame the limit N";
}

}  // namespace

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
        if (past_precision(o_, r) && (f.too_deep < 0 || o_.zoom_button == 4))
            f.too_deep = n;
        const bool here = next < f.present.size() && f.present[next] == n;
        next += here;
        const frame_look look = here ? look_at(frame_path(o_, n), r, o_) : frame_look{frame_is::missing, ""};
        if (look.verdict == frame_is::not_a_file)
            exit_with(2, "the folder " + printable(o_.frames) + " holds what no frame can be; nothing was rendered:\n  " +
                             look.why + "\nremove it, or give another folder");
        if (look.verdict == frame_is::foreign || look.verdict == frame_is::link)
            f.foreign.push_back(look.why);
        if (n % o_.parts != o_.part - 1)
            continue;
        if (look.verdict == frame_is::kept) {
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
        if (past_precision(o, first))
            warn_too_deep(o, "the picture is");
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
                         (strangers == 1 ? " frame" : " frames") + " of another sequence; nothing was rendered:" +
                         list +
                         "\ngive --overwrite to replace them and remove those past the end, or another folder");
    }
    remove_ended_runs_files(o.frames);
    for (int n : f.past_end)
        if (unlink(frame_path(o, n).c_str()) != 0 && errno != ENOENT)
            exit_with(1, "cannot remove " + printable(frame_path(o, n)) + ": " + std::strerror(errno));
    too_deep_ = f.too_deep;
    if (f.too_deep >= 0)
        warn_too_deep(o, std::string(o.zoom_button == 1 ? "from " : "up to ") + step_text(o, f.too_deep) +
                             (o.zoom_button == 1 ? " on" : "") + ", the frames are");
}

void film::aim_frame(int i, picture_record &record)
{
    for (; at_ < numbers_[i]; at_++)
        next_frame(record, o_, first_limit_, at_ + 1);
    restore_views(record);
    do_julia = record.mode;
    shown_ = record;
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
    black_.push_back(watch.pixels > 0 ? double(watch.black) / double(watch.pixels) : 0);
    if (black_.back() > black_[peak_])
        peak_ = int(black_.size()) - 1, peak_record_ = shown_;
    if (watch.seen && !watch.varied && flat_++ == 0)
        first_flat_ = numbers_[i], flat_black_ = watch.colour == 0, flat_limit_ = limits_[i], flat_record_ = shown_;
}

// Whether black samples of the frame end with more steps: a tenth of the
// frame's samples or more, given twice its limit, the first frame's where
// the zoom out lowered it, and 10000 at least, which a frame of the wide
// plane may need.
bool film::black_from_limit(const picture_record &r) const
{
    return black_that_more_steps_end(r, std::max({2 * r.parameter[4], first_limit_, 10000.0})) >= 0.1;
}

// Black is where samples reach the limit: a cycle's basin, which no limit
// changes, or samples that need more steps than the limit gives. A limit
// below 1 stops every sample at its first step, whatever the view.
std::string film::why_flat() const
{
    const bool too_deep =
        too_deep_ >= 0 && (o_.zoom_button == 1 ? first_flat_ >= too_deep_ : first_flat_ <= too_deep_);
    const std::string limit = "the iteration limit, " + exact_text(flat_limit_) + " there";
    if (too_deep)
        return o_.precision == PRECISION_DOUBLE ? "it lies deeper than double precision reaches; --precision auto "
                                                  "computes it by perturbation"
                                                : "it lies deeper than double-double precision reaches";
    const char *lowered =
        first_flat_ > 0 && flat_limit_ < first_limit_ && !o_.has_limit_end ? " (the zoom lowers it a step at a time)"
                                                                            : "";
    if (flat_limit_ < 1)
        return limit + ", stops every sample at its first step" + lowered + "; " + more_steps(o_, first_flat_);
    if (flat_black_ && black_from_limit(flat_record_))
        return "its samples reach " + limit + lowered + ", and with more steps they end; " +
               more_steps(o_, first_flat_);
    if (o_.aim && aim_missed_)
        return "--aim left the centre where it was (see above)";
    return o_.aim ? "at their depth and limit they show nothing of the boundary aimed at"
                  : "the zoom's centre lies inside a basin; --aim moves it onto a boundary";
}

// Black that grows from frame to frame, to half the viewport and more, is
// the limit falling behind what the samples need.
void film::report_black() const
{
    if (black_.size() < 2)
        return;
    const std::size_t peak = peak_;
    if (!(black_[peak] >= 0.5 && black_[peak] >= black_[0] + 0.25 && black_from_limit(peak_record_)))
        return;
    std::fprintf(stderr,
                 "rootzoom-render: warning: black, where samples reach the iteration limit, grows from %.0f %% of "
                 "%s to %.0f %% of %s, whose limit is %s: with more steps they end; %s\n",
                 100 * black_[0], step_text(o_, numbers_[0]).c_str(), 100 * black_[peak],
                 step_text(o_, numbers_[peak]).c_str(), exact_text(limits_[peak]).c_str(),
                 more_steps(o_, numbers_[peak]).c_str());
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
        return report_black();
    std::fprintf(stderr,
                 "rootzoom-render: warning: %d of the %d frames rendered show one colour apart from the logo, the "
                 "first %s: %s\n",
                 flat_, count(), step_text(o_, first_flat_).c_str(), why_flat().c_str());
}
