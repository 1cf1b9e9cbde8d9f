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
    // ones cost on average. The parts are written in order, and dropped,
    // least needed first, where the terminal is too narrow for them all.
    void draw(const char *end) const
    {
        const int done = tiles_done, pass = std::clamp(progress_pass.load(std::memory_order_relaxed), 0, 2);
        const double spent = seconds();
        static const char *const pass_name[3] = {"coarse pass", "2x2 pass", "1x1 pass"};
        const int frame = std::min(done / tiles, frames - 1), tile = std::min(done - frame * tiles + 1, tiles);
        std::vector<line_part> parts = {{"rootzoom-render:", 0, true}};
        if (frames > 1)
            parts.push_back({"frame " + std::to_string(frame + 1) + " of " + std::to_string(frames), 6});
        if (tiles > 1)
            parts.push_back({"tile " + std::to_string(tile) + " of " + std::to_string(tiles), 5});
        parts.push_back({tile_render.load(std::memory_order_relaxed) ? "second render" : "first render", 1});
        parts.push_back({std::string(pass_name[pass]) + ", " +
                             std::to_string(progress_rows.load(std::memory_order_relaxed)) + " of " +
                             std::to_string(pass_rows[pass]) + " block rows",
                         3});
        parts.push_back({clock_text(spent) + " elapsed", 2});
        if (total > 1 && done > 0 && done < total)
            parts.push_back({"about " + clock_text(done_at / done * total - spent) + " left", 4});
        // The rest of a longer line erased.
        std::fputs(("\r" + fit_line(parts, terminal_columns(STDERR_FILENO)) + "\033[K" + end).c_str(), stderr);
    }
};
