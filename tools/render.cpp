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
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "app/cmdline.h"
#include "app/logo.h"
#include "app/palette.h"
#include "app/screen.h"
#include "engine/strip.h"
#include "engine/workers.h"
#include "tools/aim.h"
#include "tools/argsof.h"
#include "tools/film.h"
#include "tools/options.h"
#include "tools/pngout.h"
#include "tools/printable.h"
#include "tools/progress.h"
#include "tools/sequence.h"
#include "tools/tiles.h"
#include "tools/viewtag.h"
#include "view/viewstate.h"

namespace {

// The reason quotes the command line, which may hold anything.
[[noreturn]] void refuse(const std::string &why)
{
    std::fprintf(stderr, "rootzoom-render: %s\n%s", printable(why, 1000).c_str(), usage_text);
    std::exit(2);
}

// What went to standard output is only written at its flush and close, so
// a full disk or a closed pipe shows there: the status then says so.
int close_stdout(int status)
{
    bool failed = std::fflush(stdout) != 0 || std::ferror(stdout);
    int error = errno;
    if (std::fclose(stdout) != 0 && !failed)
        failed = true, error = errno;
    if (!failed)
        return status;
    std::fprintf(stderr, "rootzoom-render: cannot write standard output: %s\n", std::strerror(error ? error : EIO));
    return 1;
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
            note_tile_colours(tx == 0 && ty == 0);
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

// Picture i of the run, opened under its name with its view, which the
// record and the view state are set to.
void open_picture(png_output &out, const options &o, film &pictures, int i, picture_record &record)
{
    pictures.aim_frame(i, record);
    out = png_output{};
    out.view = view_text(record);
    open_output(out, frame_path(o, pictures.number(i)));
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
        return close_stdout(0);
    }
    if (!o.args_of.empty())
        return close_stdout(print_args_of(o.args_of));
    picture_record file;
    const picture_record *from = o.from.empty() ? nullptr : &file;
    if (from && !read_view_file(o.from, file, why))
        refuse_file(why);
    if (from)
        take_from(o, file);
    set_up(o, from);
    if (o.aim)
        report_aim(aim_at_boundary(o), o.stats);
    picture_record record = describe_picture(o, from);
    const int k = o.tiles;
    catch_signals();
    film pictures(o, record);
    png_output out;
    render_counts counts;
    double writing = 0;
    if (pictures.count() > 0)
        open_picture(out, o, pictures, 0, record);  // refused at once, before the line starts
    progress_line line(k * k, YPTS, pictures.ahead());
    for (int i = 0; i < pictures.count(); i++) {
        if (i > 0)
            open_picture(out, o, pictures, i, record);
        writing += write_picture(o, out, line, counts, i * k * k);
        if (i == pictures.count() - 1)
            line.stop();
        finish_output(out);
        pictures.rendered(i);
    }
    line.stop();
    if (o.stats)
        print_stats(counts, k, line.seconds(), writing);
    pictures.report(o.stats);
    return 0;
}
