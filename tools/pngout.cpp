// pngout.cpp -- writes the picture under a temporary name, renames it into place, and removes it on Ctrl-C
#include "tools/pngout.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>

#include "engine/workers.h"
#include "tools/printable.h"
#include "tools/tiles.h"
#include "tools/viewtag.h"

namespace {

// The temporary file being written, for the signal handler; null when there
// is none. It changes only while the signals are held back.
const char *volatile pending_temp = nullptr;

// Whether standard error is a terminal, where the progress line may be
// left unended.
volatile sig_atomic_t stderr_on_terminal = 0;

// Ctrl-C, a termination request or a hang-up: the partial file goes, the
// progress line is ended, and the process dies by the signal itself, so
// that the shell sees it interrupted and a script's loop stops too. The
// signal, raised again with its default action, is held back while the
// handler runs and delivered the moment it returns. unlink, write, signal
// and raise are safe in a signal handler.
extern "C" void drop_temp_and_exit(int sig)
{
    if (pending_temp)
        unlink(pending_temp);
    if (stderr_on_terminal)
        (void)!write(STDERR_FILENO, "\n", 1);
    signal(sig, SIG_DFL);
    raise(sig);
}

// The process's file-creation mask; umask can only be read by setting it.
mode_t current_umask()
{
    const mode_t mask = umask(0);
    umask(mask);
    return mask;
}

bool end_png(png_output &out)
{
    if (setjmp(png_jmpbuf(out.png)))
        return false;
    png_write_end(out.png, nullptr);
    return true;
}

// The file a name stands for: the target of a symbolic link, followed
// link by link as the kernel would, so that -o onto a link replaces the
// picture it points to and keeps the link. A name that is no link, or a
// link to a file not yet there, stands for itself. Empty, with errno set,
// for a loop of links.
std::string link_target(std::string path)
{
    for (int links = 0; links < 40; links++) {
        struct stat s;
        if (lstat(path.c_str(), &s) != 0 || !S_ISLNK(s.st_mode))
            return path;
        std::string to(s.st_size > 0 ? std::size_t(s.st_size) + 1 : PATH_MAX, '\0');
        const ssize_t n = readlink(path.c_str(), to.data(), to.size());
        if (n < 0 || std::size_t(n) >= to.size())
            return path;  // changed under us: take it as it is now
        to.resize(std::size_t(n));
        const std::size_t slash = path.rfind('/');
        path = to[0] == '/' || slash == std::string::npos ? to : path.substr(0, slash + 1) + to;
    }
    errno = ELOOP;
    return "";
}

// This host's name as a temporary file's name carries it: letters, digits,
// '-' and '_' kept, anything else (a '.' among them) as '_', at most 64.
std::string host_word()
{
    char host[256] = "";
    if (gethostname(host, sizeof host - 1) != 0 || !host[0])
        std::strcpy(host, "unknown");
    std::string word;
    for (const char *c = host; *c && word.size() < 64; c++)
        word += std::isalnum(static_cast<unsigned char>(*c)) || *c == '-' || *c == '_' ? *c : '_';
    return word;
}

// What follows a file's name in the name of its temporary file, before
// mkstemp's six characters: the host and the process, so that a later run
// can tell a file left by a process that has ended from one being written.
std::string temp_marker() { return ".tmp." + host_word() + "." + std::to_string(getpid()) + "."; }

// The temporary file's name: beside the target, where the rename stays on
// one file system, and named after it; a name near the folder's longest is
// cut, so that the suffix still fits.
std::string temp_name(const std::string &target)
{
    const std::size_t slash = target.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : target.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? target : target.substr(slash + 1);
    const long longest = pathconf(folder.c_str(), _PC_NAME_MAX);
    const std::string suffix = temp_marker() + "XXXXXX";
    const std::size_t room = std::size_t(longest > 128 ? longest : 255);
    const std::size_t keep = std::min(name.size(), room > suffix.size() ? room - suffix.size() : 0);
    return (slash == std::string::npos ? "" : folder) + name.substr(0, keep) + suffix;
}

[[noreturn]] void refuse_output(const std::string &path, int error, const std::string &why = "")
{
    std::fprintf(stderr, "rootzoom-render: cannot write %s: %s\n", printable(path).c_str(),
                 why.empty() ? std::strerror(error) : why.c_str());
    std::exit(1);
}

// libpng writes through these, so that a failed write keeps its errno and
// libpng's own messages never reach standard error: the tool says why.
extern "C" void write_png_data(png_structp png, png_bytep data, png_size_t length)
{
    png_output *out = static_cast<png_output *>(png_get_io_ptr(png));
    if (std::fwrite(data, 1, length, out->file) != length) {
        out->error = errno ? errno : EIO;
        png_error(png, "write failed");
    }
}

extern "C" void flush_png_data(png_structp png)
{
    png_output *out = static_cast<png_output *>(png_get_io_ptr(png));
    if (std::fflush(out->file) != 0) {
        out->error = errno ? errno : EIO;
        png_error(png, "write failed");
    }
}

extern "C" void on_write_error(png_structp png, png_const_charp message)
{
    png_output *out = static_cast<png_output *>(png_get_error_ptr(png));
    if (!out->error && out->complaint.empty())
        out->complaint = std::string("libpng: ") + message;
    png_longjmp(png, 1);
}

extern "C" void on_write_warning(png_structp png, png_const_charp message)
{
    const png_output *out = static_cast<const png_output *>(png_get_error_ptr(png));
    std::fprintf(stderr, "rootzoom-render: warning: writing %s: libpng: %s\n", printable(out->path).c_str(),
                 printable(message).c_str());
}

// What kind of file the target is, when it can be neither replaced by a
// rename nor written into: anything but a regular file, a folder (refused
// apart), a FIFO or a character device.
const char *special_kind(mode_t mode)
{
    return S_ISBLK(mode) ? "a block device" : S_ISSOCK(mode) ? "a socket" : nullptr;
}

// The stream the output names: standard output for "-", else the FIFO or
// device, opened for writing as it is (no O_CREAT, no O_TRUNC).
void open_stream(png_output &out)
{
    out.stream = true;
    int fd = -1;
    if (out.path == "-") {
        if (isatty(STDOUT_FILENO))
            refuse_output("standard output", 0, "it is a terminal; send the picture to a file or a pipe");
        fd = fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, 3);
    } else {
        fd = open(out.target.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC);
    }
    if (fd < 0 || !(out.file = fdopen(fd, "wb"))) {
        const int error = errno;
        if (fd >= 0)
            close(fd);
        refuse_output(out.path == "-" ? "standard output" : out.path, error);
    }
}

}  // namespace

// A signal that was ignored when the tool started (a background job of a
// script) stays ignored.
void catch_signals()
{
    stderr_on_terminal = isatty(STDERR_FILENO);
    for (int sig : {SIGINT, SIGTERM, SIGHUP}) {
        struct sigaction now = {}, before = {};
        sigaction(sig, nullptr, &before);
        if (before.sa_handler == SIG_IGN)
            continue;
        now.sa_handler = drop_temp_and_exit;
        sigemptyset(&now.sa_mask);
        sigaction(sig, &now, nullptr);
    }
}

[[noreturn]] void give_up(png_output &out, int error)
{
    png_destroy_write_struct(&out.png, &out.info);
    if (out.file)
        std::fclose(out.file);
    if (!out.temp.empty())
        without_signals([&] {
            unlink(out.temp.c_str());
            pending_temp = nullptr;
        });
    refuse_output(out.path == "-" ? "standard output" : out.path, out.error ? out.error : error,
                  out.error ? "" : out.complaint);
}

// The temporary file beside the target. mkstemp makes it readable by its
// owner alone; the picture gets the permissions of any file the user
// creates.
void open_temp(png_output &out)
{
    out.temp = temp_name(out.target);
    int fd = -1, error = 0;
    without_signals([&] {
        fd = mkstemp(out.temp.data());
        if (fd >= 0)
            pending_temp = out.temp.c_str();
        else
            error = errno;
    });
    if (fd < 0) {
        out.temp.clear();
        refuse_output(out.path, error);
    }
    out.file = fchmod(fd, 0666 & ~current_umask()) == 0 ? fdopen(fd, "wb") : nullptr;
    if (!out.file) {
        error = errno;
        close(fd);
        give_up(out, error);
    }
}

// The output is opened before anything is rendered, so an output that
// cannot be written, a folder in its place among them, is refused at once.
void open_output(png_output &out, const std::string &path, name_is how)
{
    out.path = path;
    out.target = how == name_is::followed ? link_target(path) : path;
    if (out.target.empty())
        refuse_output(path, errno);
    struct stat s;
    const bool there = path != "-" && how == name_is::followed && stat(out.target.c_str(), &s) == 0;
    if (there && S_ISDIR(s.st_mode))
        refuse_output(path, EISDIR);
    if (there && special_kind(s.st_mode))
        refuse_output(path, 0, std::string("it is ") + special_kind(s.st_mode) +
                                   "; a picture goes to a file, a FIFO or a character device");
    if (path == "-" || (there && (S_ISFIFO(s.st_mode) || S_ISCHR(s.st_mode))))
        open_stream(out);
    else
        open_temp(out);
    out.png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &out, on_write_error, on_write_warning);
    out.info = out.png ? png_create_info_struct(out.png) : nullptr;
    if (!out.info)
        give_up(out, ENOMEM);
    png_set_write_fn(out.png, &out, write_png_data, flush_png_data);
}

bool temp_of_ended_run(const std::string &name, const std::string &base)
{
    const std::string start = base + ".tmp." + host_word() + ".";
    if (name.size() <= start.size() + 7 || name.compare(0, start.size(), start) != 0 || name[name.size() - 7] != '.')
        return false;
    int id = 0;
    if (!read_count(name.substr(start.size(), name.size() - 7 - start.size()).c_str(), &id) || id <= 0)
        return false;
    return kill(id, 0) != 0 && errno == ESRCH;
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

void check(png_output &out, bool ok)
{
    if (!ok)
        give_up(out, errno);
}

// The file reaches the disk before it takes the picture's name, and the
// rename reaches it after, so that a power cut leaves the old picture or
// the new one under the name, never an empty file. The folder's sync is as
// much as its file system offers: some cannot sync a folder at all.
void finish_output(png_output &out)
{
    check(out, end_png(out));
    png_destroy_write_struct(&out.png, &out.info);
    std::FILE *f = out.file;
    out.file = nullptr;
    if (std::fflush(f) != 0 || (!out.stream && fsync(fileno(f)) != 0)) {
        const int error = errno;
        std::fclose(f);
        give_up(out, error);
    }
    if (std::fclose(f) != 0)
        give_up(out, errno);
    if (out.stream)
        return;
    int error = 0;
    without_signals([&] {
        if (std::rename(out.temp.c_str(), out.target.c_str()) != 0)
            error = errno;
        else
            pending_temp = nullptr;
    });
    if (error)
        give_up(out, error);
    out.temp.clear();
    const std::size_t slash = out.target.rfind('/');
    const int folder = open(slash == std::string::npos ? "." : out.target.substr(0, slash + 1).c_str(),
                            O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder >= 0) {
        fsync(folder);
        close(folder);
    }
}
