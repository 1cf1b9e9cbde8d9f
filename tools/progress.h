// progress.h -- the progress line rootzoom-render draws on a terminal
#pragma once

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include "engine/strip.h"
#include "tools/pngout.h"
#include "tools/tiles.h"

// Minutes and seconds, held to 9999 minutes.
std::string clock_text(double seconds);

// A piece of a line, and how much it is needed: the higher, the later it
// is dropped from a line too long for its terminal.
struct line_part {
    std::string text;
    int need;
    bool label = false;  // followed by a space; the other parts by a comma and a space
};

// The parts, in their order, without the least needed ones that would
// make the line as wide as the terminal or wider (it would wrap, and each
// redraw leave a line behind); the last one left is cut if need be. No
// limit for a terminal of unknown width (0 columns).
std::string fit_line(std::vector<line_part> parts, int columns);

// The width of the terminal on fd, or 0 when it does not say.
int terminal_columns(int fd);

// The pictures a run renders, as the progress line counts them: their
// frame numbers in the order they are rendered, the iteration limit of
// each, and how many frames of the run were already there and are kept. A
// single picture is frame 0.
struct frames_ahead {
    bool sequence = false;
    std::vector<int> numbers = {0};
    std::vector<double> limits = {0};
    int kept = 0;
};

// What the frames of a sequence cost as they are rendered. A sample that
// settles takes about as many steps in a deep frame as in a shallow one,
// but a black one takes the limit, which grows by 2 % a zoom step; how
// much of a frame is black depends on the view. So a frame's time is
// fitted as a + b * limit, a and b not negative, by least squares over the
// frames done, and deeper frames are expected to cost as much more as the
// frames so far say, and no more than they grew across their limits.
class frame_costs {
public:
    void add(double limit, double seconds);
    int count() const { return n; }
    // The time a frame of this limit is expected to take; 0 before the first.
    double expected(double limit) const;

private:
    int n = 0;
    double sum_l = 0, sum_ll = 0, sum_t = 0, sum_tl = 0;
    double lowest = 0, highest = 0;  // the limits seen
};

// How far the pictures have come, as a line on standard error rewritten in
// place, on a terminal only: in a sequence the frames done (and kept) of
// all the run's frames and the frame under way; the tile under way, when
// there are several; which of the tile's two renders runs, its pass and the
// block rows of the pass done, and the time so far; and an estimate of the
// time left, when there are several tiles or frames. A small thread redraws
// it about four times a second, so that a frame that takes minutes shows it
// is under way; stop() ends it with a last, full line.
class progress_line {
public:
    // A picture of k x k frames counts its frames as tiles; one computed
    // pixel by pixel counts its bands of band_rows of its picture_rows.
    progress_line(int tiles, int viewport_rows, frames_ahead pictures, int band_rows = 0, int picture_rows = 0)
        : total(tiles * int(pictures.numbers.size())), tiles(tiles), ahead(std::move(pictures)),
          pass_rows{(viewport_rows + 3) / 4, (viewport_rows + 3) / 4, (viewport_rows + 1) / 2},
          band_rows(band_rows), picture_rows(picture_rows)
    {
        // The poller holds every signal back, so they go to the main thread.
        // A poller that cannot start leaves the picture without its line.
        if (shown) {
            try {
                poller = quiet_thread([this] { poll(); });
            } catch (const std::system_error &) {
            }
        }
    }
    ~progress_line() { stop(); }

    double seconds() const
    {
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }

    // A frame's last tile done ends the frame: its time goes to the costs.
    void tile_done(int done)
    {
        const double now = seconds();
        if (done % tiles == 0) {
            std::lock_guard<std::mutex> hold(lock);
            costs.add(ahead.limits[done / tiles - 1], now - frame_started);
            frame_started = now;
        }
        done_at = now;
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
        std::fputs(line("\n").c_str(), stderr);
    }

private:
    const int total, tiles;  // tiles to render in all, and in each picture
    const frames_ahead ahead;
    const int pass_rows[3];  // block rows of the coarse, the 2x2 and the 1x1 pass
    const int band_rows, picture_rows;  // a picture in bands: the rows of each and of the picture
    const bool shown = isatty(STDERR_FILENO);
    const std::chrono::steady_clock::time_point start = std::chrono::steady_clock::now();
    std::atomic<int> tiles_done{0};
    std::atomic<double> done_at{0};  // seconds when the latest tile was done
    std::mutex lock;
    std::condition_variable woken;
    bool stopping = false;
    frame_costs costs;          // the frames done; under the lock
    double frame_started = 0;   // seconds when the frame under way began; under the lock
    std::thread poller;

    // The line is made under the lock and written outside it, so that a
    // terminal slow to take it never holds up the rendering.
    void poll()
    {
        std::unique_lock<std::mutex> hold(lock);
        do {
            const std::string text = line("");
            hold.unlock();
            std::fputs(text.c_str(), stderr);
            hold.lock();
        } while (!woken.wait_for(hold, std::chrono::milliseconds(250), [this] { return stopping; }));
    }

    // The time left, or a negative number when there is no estimate yet. A
    // single picture's tiles are expected to cost what the finished ones
    // did on average; so are a sequence's frames until the first is done,
    // and after that as frame_costs expects.
    double time_left(int done, double spent) const
    {
        const int count = int(ahead.numbers.size());
        if (done >= total || (costs.count() == 0 && done == 0))
            return -1;
        if (!ahead.sequence || costs.count() == 0)
            return total > 1 ? done_at / done * total - spent : -1;
        const int current = done / tiles;
        double left = std::max(0.0, costs.expected(ahead.limits[current]) - (spent - frame_started));
        for (int j = current + 1; j < count; j++)
            left += costs.expected(ahead.limits[j]);
        return left;
    }

    // The picture under way and its tile, its render, pass and rows.
    void under_way(int done, std::vector<line_part> &parts) const
    {
        static const char *const pass_name[3] = {"coarse pass", "2x2 pass", "1x1 pass"};
        const int count = int(ahead.numbers.size());
        const int pass = std::clamp(progress_pass.load(std::memory_order_relaxed), 0, 2);
        const int picture = std::min(done / tiles, count - 1), tile = std::min(done - picture * tiles + 1, tiles);
        if (ahead.sequence)
            parts.push_back({"frame " + std::to_string(ahead.numbers[picture]), 5});
        if (band_rows > 0) {
            const int first = (tile - 1) * band_rows + 1;
            parts.push_back({"rows " + std::to_string(first) + " to " +
                                 std::to_string(std::min(first + band_rows - 1, picture_rows)) + " of " +
                                 std::to_string(picture_rows),
                             3});
            return;
        }
        if (tiles > 1)
            parts.push_back({"tile " + std::to_string(tile) + " of " + std::to_string(tiles), 5});
        parts.push_back({tile_render.load(std::memory_order_relaxed) ? "second render" : "first render", 1});
        parts.push_back({std::string(pass_name[pass]) + ", " +
                             std::to_string(progress_rows.load(std::memory_order_relaxed)) + " of " +
                             std::to_string(pass_rows[pass]) + " block rows",
                         3});
    }

    // The parts are written in order, and dropped, least needed first,
    // where the terminal is too narrow for them all.
    std::string line(const char *end) const
    {
        const int done = tiles_done, count = int(ahead.numbers.size());
        const double spent = seconds(), left = time_left(done, spent);
        std::vector<line_part> parts = {{"rootzoom-render:", 0, true}};
        if (ahead.sequence)
            parts.push_back({std::to_string(ahead.kept + std::min(done / tiles, count)) + " of " +
                                 std::to_string(ahead.kept + count) + " frames done" +
                                 (ahead.kept ? " (" + std::to_string(ahead.kept) + " kept)" : ""),
                             6});
        if (count > 0)
            under_way(done, parts);
        parts.push_back({clock_text(spent) + " elapsed", 2});
        if (left >= 0)
            parts.push_back({"about " + clock_text(left) + " left", 4});
        // The rest of a longer line erased.
        return "\r" + fit_line(parts, terminal_columns(STDERR_FILENO)) + "\033[K" + end;
    }
};
