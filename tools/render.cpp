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
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "app/cmdline.h"
#include "app/logo.h"
#include "app/palette.h"
#include "app/screen.h"
#include "engine/colouring.h"
#include "engine/strip.h"
#include "engine/workers.h"
#include "tools/aim.h"
#include "tools/argsof.h"
#include "tools/fromwindow.h"
#include "tools/grid.h"
#include "tools/film.h"
#include "tools/options.h"
#include "tools/palettes.h"
#include "tools/pngout.h"
#include "tools/printable.h"
#include "tools/progress.h"
#include "tools/sequence.h"
#include "tools/supersample.h"
#include "tools/tiles.h"
#include "tools/viewtag.h"
#include "view/viewstate.h"

namespace {

// Every refusal of the command line goes out here: the reason on a line
// of its own, escaped, as it quotes the command line, which may hold
// anything; then one line pointing at --help, not the whole usage, which
// would scroll the reason away. Status 2.
[[noreturn]] void refuse(const std::string &why)
{
    std::fprintf(stderr, "rootzoom-render: %s\n%s\n", printable(why, 1000).c_str(), help_hint);
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
    if (!o.palette.empty())
        use_palette(o.palette);
    colouring = o.colouring;
    if (colouring != COLOURING_COUNT)
        prepare_colouring();
    if (o.numbers.size() == 5)
        setkoords(o.numbers[1], o.numbers[0], o.numbers[3], o.numbers[2], o.numbers[4], 1);
    else if (from)
        restore_views(*from);
    else
        resetkoords(1);
    if (o.has_centre) {
        xmit = o.centre[0], ymit = o.centre[1];
        xmit_lo = o.centre_lo[0], ymit_lo = o.centre_lo[1];
    }
    if (o.has_limit)
        maxit = jmaxit = o.limit;
    if (o.has_half_width) {  // the view's orientation, or the default one for a view without extent
        xstep = xstep > 0 ? o.half_width : -o.half_width;
        ystep = ystep > 0 ? 0.75 * o.half_width : -0.75 * o.half_width;
    }
    precision = o.precision;
    ZX = o.z0[0], ZY = o.z0[1];
    do_julia = o.mode;
    setsize(o.width);
    highq = 1;
    create_logo();
    buttons = o.coarse ? 1 : 0;
    if (o.threads > 0)
        render_threads = o.threads;
}

// A write that failed: the message goes on a line of its own.
[[noreturn]] void fail_picture(png_output &out, progress_line &line)
{
    const int error = errno;
    line.stop();
    give_up(out, error);
}

// What one picture of the run costs: the pixels rendered (in each of the
// two renders) and the memory write_picture (or write_grid_picture) holds for it, from the options
// alone. Kept beside write_picture, whose buffers it counts: the bands of
// rendered rows (two when rows are written beside the rendering of plain
// tiles), the rows averaged from them, the supersampler's sums, and the
// frame buffer.
struct picture_cost {
    double width, height;  // of the picture rendered, K times the output's with --supersample K
    double bytes;
};

picture_cost grid_cost(const options &o)
{
    const double s = o.supersample, columns = o.size[0] * s, rows = o.size[1] * s, band = grid_band_rows(o);
    const double row_bytes = o.size[0] * 3.0, averaged = s > 1 ? columns * 3 + row_bytes * 8 : 0;
    return {columns, rows, band * columns * 4 + 2 * row_bytes * (s > 1 ? band / s + 1 : band) + averaged +
                               4.0 * SCREEN_W * SCREEN_H};
}

picture_cost cost_of(const options &o)
{
    if (!explorer_frames(o))  // a band's colours, two bands of rows, and a rendered row and the sums to average
        return grid_cost(o);
    const double k = o.tiles, s = o.supersample, n = k * s;
    const double band = n * SCREEN_W * 3 * SCREEN_H;
    const double averaged = s > 1 ? 2 * k * SCREEN_W * 3 * std::ceil(SCREEN_H / s) + k * SCREEN_W * 3 * 8 : 0;
    return {n * SCREEN_W, n * SCREEN_H, band * (s == 1 && n > 1 ? 2 : 1) + averaged + 4.0 * SCREEN_W * SCREEN_H};
}

// Far beyond the usual: more pixels rendered than 2^30 (a picture of
// 16384 x 12288, the largest without supersampling, has 2^27.6), or more
// than 256 MB held. Said once before rendering; the run goes on.
void warn_of_cost(const options &o, int pictures)
{
    const picture_cost c = cost_of(o);
    const double pixels = c.width * c.height;
    if (pixels <= 1073741824.0 && c.bytes <= 268435456.0)
        return;
    std::fprintf(stderr,
                 "rootzoom-render: warning: %s is rendered at %.0f x %.0f = %.0f pixels and holds %.0f MB of "
                 "memory, far beyond the usual; Ctrl-C stops it\n",
                 pictures > 1 ? ("each of the " + std::to_string(pictures) + " pictures").c_str() : "the picture",
                 c.width, c.height, pixels, std::ceil(c.bytes / 1e6));
}

// With more than one thread the PNG is written beside the rendering, so its
// time is part of the whole only where the rendering had to wait for it.
void print_stats(const render_counts &c, int k, double seconds, double writing)
{
    std::fprintf(stderr,
                 "samples %lld\nsteps %lld\nfirst render: %lld samples, %lld steps\n"
                 "second render: %lld samples, %lld steps\nin double-double, where perturbation lost them: %lld "
                 "samples\ntiles %d (%d x %d), %.2f s\nthreads %d\nPNG writing %.2f s%s\n",
                 c.samples[0] + c.samples[1], c.steps[0] + c.steps[1], c.samples[0], c.steps[0], c.samples[1],
                 c.steps[1], c.fallbacks, k * k, k, k, seconds, render_threads, writing,
                 render_threads > 1 ? ", beside the rendering" : "");
}

// A picture computed pixel by pixel renders once, in bands.
void print_grid_stats(const render_counts &c, const options &o, double seconds, double writing)
{
    std::fprintf(stderr,
                 "samples %lld\nsteps %lld\nin double-double, where perturbation lost them: %lld samples\n"
                 "one render of %d x %d pixels, in bands of %d rows, %.2f s\nthreads %d\nPNG writing %.2f s%s\n",
                 c.samples[0], c.steps[0], c.fallbacks, o.size[0] * o.supersample, o.size[1] * o.supersample, grid_band_rows(o),
                 seconds, render_threads, writing, render_threads > 1 ? ", beside the rendering" : "");
}
}  // namespace

// One row of tiles at a time: the band holds its 768 rendered rows, which
// go out to the PNG while the next row of tiles renders into the other
// band. Tile rows are taken from the top, as the PNG's rows run; the logo
// goes over the tile in the picture's lower-left corner. With
// --supersample K the picture rendered is K times larger, without the
// logo, and each band's rows are averaged into rows of the picture, over
// whose bottom rows the logo is then blended. tiles_before counts the
// tiles of the pictures before this one in a sequence. The output is
// opened; it is finished by the caller. Returns the time spent writing.
double write_picture(const options &o, png_output &out, progress_line &line, render_counts &counts, int tiles_before)
{
    const picture_view whole = current_view();
    const int k = o.tiles, s = o.supersample, n = k * s, width = k * SCREEN_W, height = k * SCREEN_H;
    const std::size_t row_bytes = std::size_t(width) * 3, rendered_bytes = row_bytes * s;
    const int small_rows = (SCREEN_H + s - 1) / s;  // the most rows one band averages to
    std::vector<png_byte> bands[2] = {std::vector<png_byte>(rendered_bytes * SCREEN_H),
                                      std::vector<png_byte>(s == 1 && n > 1 ? rendered_bytes * SCREEN_H : 0)};
    std::vector<png_byte> small[2];
    for (int b = 0; s > 1 && b < 2; b++)
        small[b].resize(row_bytes * small_rows);
    supersampler sampler(s, width);
    const int chosen = precision;
    precision = picture_precision(whole, n);
    check(out, start_png(out, width, height));
    band_writer writer(out);
    int written = 0;  // rows of the picture made so far
    for (int ty = 0; ty < n; ty++) {
        png_byte *band = bands[s == 1 ? ty % 2 : 0].data();
        for (int tx = 0; tx < n; tx++) {
            aim_tile(whole, n, tx, ty);
            render_tile(o.width, &counts);
            note_tile_colours(tx == 0 && ty == 0);
            copy_tile(band, n * SCREEN_W, tx, s == 1 && o.logo && tx == 0 && ty == n - 1);
            line.tile_done(tiles_before + ty * n + tx + 1);
        }
        png_byte *rows = s == 1 ? band : small[ty % 2].data();
        int count = s == 1 ? SCREEN_H : 0;
        for (int r = 0; s > 1 && r < SCREEN_H; r++)
            if (sampler.add_row(band + r * rendered_bytes, rows + count * row_bytes)) {
                if (o.logo)
                    blend_logo_row(rows + count * row_bytes, height - 1 - written);
                count++, written++;
            }
        if (!writer.write(rows, count, row_bytes))
            fail_picture(out, line);
    }
    if (!writer.wait())
        fail_picture(out, line);
    precision = chosen;
    return writer.seconds();
}

// Picture i of the run, opened under its name with its view, which the
// record and the view state are set to.
void open_picture(png_output &out, const options &o, film &pictures, int i, picture_record &record)
{
    pictures.aim_frame(i, record);
    out = png_output{};
    out.view = view_text(record);
    open_output(out, frame_path(o, pictures.number(i)), o.zoom_button ? name_is::the_entry : name_is::followed);
}

// The view is the file's, when --from names one (the explorer window's with
// --from-window), with the options given
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
    if (o.version) {
        std::puts("rootzoom-render " ROOTZOOM_VERSION);
        return close_stdout(0);
    }
    if (!o.args_of.empty())
        return close_stdout(print_args_of(o.args_of));
    if (o.args_of_window)
        return close_stdout(print_args_of_window(o.window));
    if (!read_palette(o, why))
        refuse_file(why);
    picture_record file;
    const picture_record *from = o.from.empty() && !o.from_window ? nullptr : &file;
    if (!o.from.empty() && !read_view_file(o.from, file, why))
        refuse_file(why);
    std::string window;
    if (o.from_window && !read_window_view(o.window, file, window, why))
        refuse_file(why);
    if (from)
        take_from(o, file);
    set_up(o, from);
    bool aim_missed = false;
    if (o.aim) {
        const aim_result aimed = aim_at_boundary(o);
        report_aim(aimed, o.stats);
        aim_missed = !aimed.found;
    }
    picture_record record = describe_picture(o, from);
    const bool frames = explorer_frames(o);
    const int k = o.tiles * o.supersample;  // k x k tiles rendered per picture
    const int parts = frames ? k * k : grid_bands(o);  // tiles, or bands of rows
    catch_signals();
    film pictures(o, record);
    if (aim_missed)
        pictures.aim_missed();
    png_output out;
    render_counts counts;
    double writing = 0;
    if (pictures.count() > 0) {
        open_picture(out, o, pictures, 0, record);  // refused at once, before the line starts
        warn_of_cost(o, pictures.count());
    }
    progress_line line(parts, YPTS, pictures.ahead(), frames ? 0 : grid_band_rows(o), o.size[1] * o.supersample);
    for (int i = 0; i < pictures.count(); i++) {
        if (i > 0)
            open_picture(out, o, pictures, i, record);
        writing += frames ? write_picture(o, out, line, counts, i * parts)
                          : write_grid_picture(o, out, line, counts, i * parts);
        if (i == pictures.count() - 1)
            line.stop();
        finish_output(out);
        pictures.rendered(i);
    }
    line.stop();
    if (o.stats && frames)
        print_stats(counts, k, line.seconds(), writing);
    else if (o.stats)
        print_grid_stats(counts, o, line.seconds(), writing);
    pictures.report(o.stats);
    return 0;
}
