// pngout.h -- the picture file being written: a temporary file renamed into place, and the signals that remove it
#pragma once

#include <png.h>

#include <pthread.h>
#include <signal.h>

#include <cerrno>
#include <chrono>
#include <cstddef>
#include <cstdio>
#include <string>
#include <system_error>
#include <thread>

#include "engine/workers.h"

// The PNG being written: under a temporary name in the output's folder,
// renamed into place when complete, so that a failure or an interruption
// never leaves a partial file under the output's name. A FIFO, a character
// device or standard output is written straight into instead: its reader
// takes the bytes as they come, and a rename would only replace the node.
struct png_output {
    std::string path, target, temp;  // as named, the file it stands for, the temporary file (none for a stream)
    std::string view;  // the text of its view chunk
    bool stream = false;  // written straight into target
    std::FILE *file = nullptr;
    png_structp png = nullptr;
    png_infop info = nullptr;
    int error = 0;          // the errno of the first write that failed
    std::string complaint;  // what libpng said when it gave up for another reason
};

// How an output's name is taken: -o follows symbolic links to the file they
// point to; a frame in a film's folder is the folder's own entry, which a
// link there is, so the picture replaces the link and never its target.
enum class name_is { followed, the_entry };

// Runs step with SIGINT, SIGTERM and SIGHUP held back, so that the handler never
// finds a temporary file created but not yet recorded, or renamed but still
// recorded.
template <class Step>
void without_signals(Step step)
{
    sigset_t held, before;
    sigemptyset(&held);
    sigaddset(&held, SIGINT);
    sigaddset(&held, SIGTERM);
    sigaddset(&held, SIGHUP);
    pthread_sigmask(SIG_BLOCK, &held, &before);
    step();
    pthread_sigmask(SIG_SETMASK, &before, nullptr);
}

// Ctrl-C and termination requests remove the temporary file being written
// and end the process; call once, before any output is opened.
void catch_signals();

// Creates the temporary file for path, or opens the stream it names ("-"
// for standard output); exits with status 1 and a message when it cannot.
void open_output(png_output &out, const std::string &path, name_is how);

// Whether name, a file in the folder of the file called base, is a
// temporary file of this tool's for base, made by a process of this host
// that has ended: one killed outright, that could not remove it.
bool temp_of_ended_run(const std::string &name, const std::string &base);

// The header with the view chunks, rows, and the end; false when libpng
// could not write, with errno saying why.
bool start_png(png_output &out, int width, int height);
bool write_rows(png_output &out, const png_byte *rows, int count, std::size_t row_bytes);

// Removes the temporary file, says why the output could not be written and
// exits with status 1.
[[noreturn]] void give_up(png_output &out, int error);

// give_up when a step above failed.
void check(png_output &out, bool ok);

// Ends the PNG, closes the file and renames it to its name.
void finish_output(png_output &out);

// Writes the picture's rows on a thread of its own, so that the next row of
// tiles renders meanwhile and compression is not added to the rendering
// time. The thread holds every signal back, so that they go to the main
// thread. It is joined before the output is finished. With one thread asked
// for, or when no thread can be started, the rows are written on the main
// thread, after their tiles.
class band_writer {
public:
    explicit band_writer(png_output &out) : out_(out) {}
    ~band_writer() { wait(); }

    // Waits for the band before, then writes this one, or starts to.
    bool write(const png_byte *rows, int count, std::size_t row_bytes)
    {
        if (!wait())
            return false;
        auto job = [this, rows, count, row_bytes] {
            const auto begun = std::chrono::steady_clock::now();
            if (!write_rows(out_, rows, count, row_bytes))
                error_ = errno ? errno : EIO;
            seconds_ += std::chrono::duration<double>(std::chrono::steady_clock::now() - begun).count();
        };
        if (render_threads > 1) {
            try {
                thread_ = quiet_thread(job);
                return true;
            } catch (const std::system_error &) {
            }
        }
        job();
        return wait();
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
