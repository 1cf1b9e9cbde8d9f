// render.cpp -- rootzoom-render: renders frames without a window and writes them as one PNG
//
// The frame is made by the explorer's own code (view state, frame
// description, frame renderer), linked with the null GL platform, and
// rendered twice as the explorer's first display renders it, so the PNG is
// what the window shows after start-up. A larger picture is k x k such
// frames (tools/tiles.cpp), rendered one row of frames at a time and
// written out row by row, so memory holds one row of frames and the buffer.
// Every PNG carries its view (tools/viewtag.cpp), so that it can be made
// again; a zoom sequence (tools/sequence.cpp) is one such PNG per step.
#include <png.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "app/cmdline.h"
#include "app/logo.h"
#include "app/palette.h"
#include "app/screen.h"
#include "engine/strip.h"
#include "engine/workers.h"
#include "tools/argsof.h"
#include "tools/options.h"
#include "tools/sequence.h"
#include "tools/tiles.h"
#include "tools/viewtag.h"
#include "view/viewstate.h"

namespace {

[[noreturn]] void refuse(const std::string &why)
{
    std::fprintf(stderr, "rootzoom-render: %s\n%s", why.c_str(), usage_text);
    std::exit(2);
}


// A file given to take a view from cannot be used: status 2, as for any
// other bad input, but no usage, which would only hide the reason.
[[noreturn]] void refuse_file(const std::string &why)
{
    std::fprintf(stderr, "rootzoom-render: %s\n", why.c_str());
    std::exit(2);
}

// The explorer's start-up, with the options in place of the mouse: both
// views (from the numbers, else from the picture named by --from), the
// start value, the mode, the viewport and a held button for a coarse
// picture.
void set_up(const options &o, const picture_record *from)
{
    anz = 1;
    alloc_screen();
    make_palette();
    if (o.numbers.size() == 5)
        setkoords(o.numbers[1], o.numbers[0], o.numbers[3], o.numbers[2], o.numbers[4], 1);
    else if (from)
        restore_views(*from);
    else
        resetkoords(1);
    if (o.has_centre)
        xmit = o.centre[0], ymit = o.centre[1];
    ZX = o.z0[0], ZY = o.z0[1];
    do_julia = o.mode;
    setsize(o.width);
    highq = 1;
    create_logo();
    buttons = o.coarse ? 1 : 0;
    if (o.threads > 0)
        render_threads = o.threads;
}

// The temporary file being written, for the signal handler; null when there
// is none. It changes only while the signals are held back.
const char *volatile pending_temp = nullptr;

// Ctrl-C or a termination request: the partial file goes and the process
// ends at once, with the shell's status for death by that signal. unlink
// and _exit are safe in a signal handler.
extern "C" void drop_temp_and_exit(int sig)
{
    if (pending_temp)
        unlink(pending_temp);
    _exit(128 + sig);
}

// A signal that was ignored when the tool started (a background job of a
// script) stays ignored.
void catch_signals()
{
    for (int sig : {SIGINT, SIGTERM}) {
        struct sigaction now = {}, before = {};
        sigaction(sig, nullptr, &before);
        if (before.sa_handler == SIG_IGN)
            continue;
        now.sa_handler = drop_temp_and_exit;
        sigemptyset(&now.sa_mask);
        sigaction(sig, &now, nullptr);
    }
}

// Runs step with SIGINT and SIGTERM held back, so that the handler never
// finds a temporary file created but not yet recorded, or renamed but still
// recorded.
template <class Step>
void without_signals(Step step)
{
    sigset_t held, before;
    sigemptyset(&held);
    sigaddset(&held, SIGINT);
    sigaddset(&held, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &held, &before);
    step();
    pthread_sigmask(SIG_SETMASK, &before, nullptr);
}

// The PNG being written: under a temporary name in the output's folder,
// renamed into place when complete, so that a failure or an interruption
// never leaves a partial file under the output's name.
struct png_output {
    std::string path, temp;
    std::string view;  // the text of its view chunk
    std::FILE *file = nullptr;
    png_structp png = nullptr;
    png_infop info = nullptr;
};

[[noreturn]] void give_up(png_output &out, int error)
{
    png_destroy_write_struct(&out.png, &out.info);
    if (out.file)
        std::fclose(out.file);
    without_signals([&] {
        unlink(out.temp.c_str());
        pending_temp = nullptr;
    });
    std::fprintf(stderr, "rootzoom-render: cannot write %s: %s\n", out.path.c_str(), std::strerror(error));
    std::exit(1);
}

// The process's file-creation mask; umask can only be read by setting it.
mode_t current_umask()
{
    const mode_t mask = umask(0);
    umask(mask);
    return mask;
}

// mkstemp makes the file readable by its owner alone; the picture gets the
// permissions of any file the user creates. The temporary file is opened
// before anything is rendered, so an output that cannot be written is
// refused at once.
void open_output(png_output &out, const std::string &path)
{
    out.path = path;
    out.temp = path + ".tmpXXXXXX";
    int fd = -1, error = 0;
    without_signals([&] {
        fd = mkstemp(out.temp.data());
        if (fd >= 0)
            pending_temp = out.temp.c_str();
        else
            error = errno;
    });
    if (fd < 0) {
        std::fprintf(stderr, "rootzoom-render: cannot write %s: %s\n", path.c_str(), std::strerror(error));
        std::exit(1);
    }
    out.file = fchmod(fd, 0666 & ~current_umask()) == 0 ? fdopen(fd, "wb") : nullptr;
    if (!out.file) {
        error = errno;
        close(fd);
        give_up(out, error);
    }
    out.png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    out.info = out.png ? png_create_info_struct(out.png) : nullptr;
    if (!out.info)
        give_up(out, ENOMEM);
    png_init_io(out.png, out.file);
}

// libpng reports a failed write by a long jump to the latest setjmp; each of
// the three steps below sets its own, in a frame with nothing to destroy.
bool start_png(png_output &out, int width, int height)
{
    if (setjmp(png_jmpbuf(out.png)))
        return false;
    png_set_IHDR(out.png, out.info, width, height, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    // The pictures are bands and speckles of a few hundred colours: rows
    // left unfiltered compress smaller than with libpng's adaptive filters,
    // and zlib's level 3 compresses them several times faster than its
    // default, still smaller than the defaults together would.
    png_set_filter(out.png, PNG_FILTER_TYPE_BASE, PNG_FILTER_NONE);
    png_set_compression_level(out.png, 3);
    add_view_chunks(out.png, out.info, out.view);
    png_write_info(out.png, out.info);
    return true;
}

bool write_rows(png_output &out, const png_byte *rows, int count, std::size_t row_bytes)
{
    if (setjmp(png_jmpbuf(out.png)))
        return false;
    for (int row = 0; row < count; row++)
        png_write_row(out.png, rows + row * row_bytes);
    return true;
}

bool end_png(png_output &out)
{
    if (setjmp(png_jmpbuf(out.png)))
        return false;
    png_write_end(out.png, nullptr);
    return true;
}

void check(png_output &out, bool ok)
{
    if (!ok)
        give_up(out, errno);
}

void finish_output(png_output &out)
{
    check(out, end_png(out));
    png_destroy_write_struct(&out.png, &out.info);
    std::FILE *f = out.file;
    out.file = nullptr;
    if (std::fclose(f) != 0)
        give_up(out, errno);
    int error = 0;
    without_signals([&] {
        if (std::rename(out.temp.c_str(), out.path.c_str()) != 0)
            error = errno;
        else
            pending_temp = nullptr;
    });
    if (error)
        give_up(out, error);
}

// Minutes and seconds, held to 9999 minutes, so an early estimate that is
// still wild never reaches an int conversion out of range.
std::string clock_text(double seconds)
{
    const double held = seconds > 0 ? (seconds < 599999 ? seconds : 599999) : 0;
    const int whole = static_cast<int>(held);
    char text[32];
    std::snprintf(text, sizeof text, "%d:%02d", whole / 60, whole % 60);
    return text;
}

// How far the picture has come, as a line on standard error rewritten in
// place, on a terminal only: the picture of a sequence and the tile under
// way, and an estimate of the time left, when there are several; which of
// the tile's two renders runs, its pass and the block rows of the pass
// done, and the time so far. A small thread redraws it about four times a
// second, so that a frame that takes minutes shows it is under way; stop()
// ends it with a last, full line.
class progress_line {
public:
    progress_line(int tiles, int viewport_rows, int frames)
        : total(tiles * frames), tiles(tiles), frames(frames),
          pass_rows{(viewport_rows + 3) / 4, (viewport_rows + 3) / 4, (viewport_rows + 1) / 2}
    {
        // The poller starts with SIGINT and SIGTERM held back and keeps them
        // so: they go to the main thread, whose without_signals then holds
        // them back for the whole process.
        if (shown)
            without_signals([this] { poller = std::thread([this] { poll(); }); });
    }
    ~progress_line() { stop(); }

    double seconds() const
    {
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }

    void tile_done(int done)
    {
        done_at = seconds();
        tiles_done = done;
    }

    // Joins the poller and draws the line once more, with a newline.
    void stop()
    {
        if (!poller.joinable())
            return;
        {
            std::lock_guard<std::mutex> hold(lock);
            stopping = true;
        }
        woken.notify_one();
        poller.join();
        draw("\n");
    }

private:
    const int total, tiles, frames;  // tiles in all, in each picture, and pictures
    const int pass_rows[3];  // block rows of the coarse, the 2x2 and the 1x1 pass
    const bool shown = isatty(STDERR_FILENO);
    const std::chrono::steady_clock::time_point start = std::chrono::steady_clock::now();
    std::atomic<int> tiles_done{0};
    std::atomic<double> done_at{0};  // seconds when the latest tile was done
    std::mutex lock;
    std::condition_variable woken;
    bool stopping = false;
    std::thread poller;

    void poll()
    {
        std::unique_lock<std::mutex> hold(lock);
        do
            draw("");
        while (!woken.wait_for(hold, std::chrono::milliseconds(250), [this] { return stopping; }));
    }

    // The estimate assumes the tiles still to come cost what the finished
    // ones cost on average.
    void draw(const char *end) const
    {
        const int done = tiles_done, pass = std::clamp(progress_pass.load(std::memory_order_relaxed), 0, 2);
        const double spent = seconds();
        static const char *const pass_name[3] = {"coarse pass", "2x2 pass", "1x1 pass"};
        const int frame = std::min(done / tiles, frames - 1), tile = std::min(done - frame * tiles + 1, tiles);
        std::string text = "\rrootzoom-render: ";
        if (frames > 1)
            text += "frame " + std::to_string(frame + 1) + " of " + std::to_string(frames) + ", ";
        if (tiles > 1)
            text += "tile " + std::to_string(tile) + " of " + std::to_string(tiles) + ", ";
        text += tile_render.load(std::memory_order_relaxed) ? "second render, " : "first render, ";
        text += std::string(pass_name[pass]) + ", " + std::to_string(progress_rows.load(std::memory_order_relaxed)) +
                " of " + std::to_string(pass_rows[pass]) + " block rows, " + clock_text(spent) + " elapsed";
        if (total > 1 && done > 0 && done < total)
            text += ", about " + clock_text(done_at / done * total - spent) + " left";
        text += "\033[K";  // the rest of a longer line erased
        text += end;
        std::fputs(text.c_str(), stderr);
    }
};

// With more than one thread the PNG is written beside the rendering, so its
// time is part of the whole only where the rendering had to wait for it.
void print_stats(const render_counts &c, int k, double seconds, double writing)
{
    std::fprintf(stderr,
                 "samples %lld\nsteps %lld\nfirst render: %lld samples, %lld steps\n"
                 "second render: %lld samples, %lld steps\ntiles %d (%d x %d), %.2f s\n"
                 "threads %d\nPNG writing %.2f s%s\n",
                 c.samples[0] + c.samples[1], c.steps[0] + c.steps[1], c.samples[0], c.steps[0], c.samples[1],
                 c.steps[1], k * k, k, k, seconds, render_threads, writing,
                 render_threads > 1 ? ", beside the rendering" : "");
}
}  // namespace

// Writes the picture's rows on a thread of its own, so that the next row of
// tiles renders meanwhile and compression is not added to the rendering
// time. The thread starts with SIGINT and SIGTERM held back, so that they
// go to the main thread. It is joined before the output is finished. With
// one thread asked for, the rows are written on the main thread, after
// their tiles: the whole program then runs on one processor.
class band_writer {
public:
    explicit band_writer(png_output &out) : out_(out) {}
    ~band_writer() { wait(); }

    // Waits for the band before, then writes this one, or starts to.
    bool write(const png_byte *rows, std::size_t row_bytes)
    {
        if (!wait())
            return false;
        auto job = [this, rows, row_bytes] {
            const auto begun = std::chrono::steady_clock::now();
            if (!write_rows(out_, rows, SCREEN_H, row_bytes))
                error_ = errno ? errno : EIO;
            seconds_ += std::chrono::duration<double>(std::chrono::steady_clock::now() - begun).count();
        };
        if (render_threads <= 1) {
            job();
            return wait();
        }
        without_signals([&] { thread_ = std::thread(job); });
        return true;
    }

    // False once a band could not be written; errno then says why.
    bool wait()
    {
        if (thread_.joinable())
            thread_.join();
        errno = error_;
        return error_ == 0;
    }

    double seconds() const { return seconds_; }  // spent writing, once waited for

private:
    png_output &out_;
    std::thread thread_;
    int error_ = 0;
    double seconds_ = 0;
};

// One row of tiles at a time: the band holds its 768 picture rows, which go
// out to the PNG while the next row of tiles renders into the other band.
// Tile rows are taken from the top, as the PNG's rows run; the logo goes
// over the tile in the picture's lower-left corner. tiles_before counts the
// tiles of the pictures before this one in a sequence. The output is
// opened; it is finished by the caller. Returns the time spent writing.
double write_picture(const options &o, png_output &out, progress_line &line, render_counts &counts, int tiles_before)
{
    const picture_view whole = current_view();
    const int k = o.tiles, width = k * SCREEN_W;
    const std::size_t row_bytes = std::size_t(width) * 3;
    std::vector<png_byte> bands[2] = {std::vector<png_byte>(row_bytes * SCREEN_H),
                                      std::vector<png_byte>(k > 1 ? row_bytes * SCREEN_H : 0)};
    check(out, start_png(out, width, k * SCREEN_H));
    band_writer writer(out);
    auto fail = [&] {
        const int error = errno;
        line.stop();  // the message goes on a line of its own
        give_up(out, error);
    };
    for (int ty = 0; ty < k; ty++) {
        png_byte *band = bands[ty % 2].data();
        for (int tx = 0; tx < k; tx++) {
            aim_tile(whole, k, tx, ty);
            render_tile(o.width, &counts);
            copy_tile(band, width, tx, o.logo && tx == 0 && ty == k - 1);
            line.tile_done(tiles_before + ty * k + tx + 1);
        }
        if (!writer.write(band, row_bytes))
            fail();
    }
    if (!writer.wait())
        fail();
    return writer.seconds();
}

// Picture n of the command line, opened under its name with its view.
void open_picture(png_output &out, const options &o, int n, const picture_record &record)
{
    out = png_output{};
    out.view = view_text(record);
    open_output(out, frame_path(o, n));
}

// The view is the file's, when --from names one, with the options given
// over what the file says; the picture, or each of a zoom sequence, then
// carries the view it was made from.
int main(int argc, char **argv)
{
    options o;
    std::string why;
    if (!parse_options(argc, argv, o, why))
        refuse(why);
    if (o.help) {
        std::fputs(usage_text, stdout);
        return 0;
    }
    if (!o.args_of.empty())
        return print_args_of(o.args_of);
    picture_record file;
    const picture_record *from = o.from.empty() ? nullptr : &file;
    if (from && !read_view_file(o.from, file, why))
        refuse_file(why);
    if (from)
        take_from(o, file);
    set_up(o, from);
    picture_record record = describe_picture(o, from);
    const int k = o.tiles, frames = frame_count(o);
    catch_signals();
    if (frames > 1 && !make_frame_folder(o.frames, why)) {
        std::fprintf(stderr, "rootzoom-render: %s\n", why.c_str());
        return 1;
    }
    png_output out;
    open_picture(out, o, 0, record);
    render_counts counts;
    double writing = 0;
    progress_line line(k * k, YPTS, frames);
    for (int n = 0; n < frames; n++) {
        if (n > 0) {
            next_frame(record, o);
            open_picture(out, o, n, record);
        }
        writing += write_picture(o, out, line, counts, n * k * k);
        if (n == frames - 1)
            line.stop();
        finish_output(out);
    }
    if (o.stats)
        print_stats(counts, k, line.seconds(), writing);
    return 0;
}
