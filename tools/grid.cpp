// grid.cpp -- pictures of any size and colouring: every pixel computed once, at its place on the picture's own grid
//
// The explorer's frames are 1024 x 768, computed in passes that copy a
// sample to its neighbours where they agree, and compare colours to decide
// where they do. A picture of another shape has no such frames, and with a
// continuous colouring nearly every pixel differs from its neighbours, so
// here every pixel is a sample of its own, at its place on one grid over
// the whole picture (one multiplication and one addition from the edge,
// no running sums), queued for the lane kernels a band of rows at a time.
#include "tools/grid.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <memory>
#include <vector>

#include "app/screen.h"
#include "engine/batch.h"
#include "engine/frame.h"
#include "engine/kernels.h"
#include "engine/reference.h"
#include "engine/strip.h"
#include "engine/workers.h"
#include "tools/film.h"
#include "tools/options.h"
#include "tools/pngout.h"
#include "tools/progress.h"
#include "tools/supersample.h"
#include "tools/tiles.h"
#include "view/display.h"
#include "view/viewstate.h"

namespace {

constexpr int band_pixels = 1 << 16;  // samples per band: a megabyte of colours

std::vector<std::unique_ptr<sample_queue>> queues;  // one per worker

// The dynamic plane's c as the explorer's frame of the view computes it, in
// the grid's precision: from the frame description and its first strip.
strip_c frame_c(bool deep)
{
    const int chosen = precision;
    precision = deep ? PRECISION_DOUBLE_DOUBLE : PRECISION_DOUBLE;
    const frame_desc f = describe_frame();
    precision = chosen;
    return dynamic_c(strip_record(0, 1, f, 0));
}

// A band of rows, counted from the top of the picture, computed into its
// colours by every worker at once, each taking the next row not yet taken.
void render_band(const picture_grid &g, int first, int count, std::uint32_t *colours, render_counts &counts)
{
    const int threads = render_threads < 1 ? 1 : render_threads;
    while (int(queues.size()) < threads)
        queues.push_back(std::make_unique<sample_queue>());
    std::atomic<int> next{0};
    auto work = [&](int worker) {
        sample_queue &q = *queues[worker];
        begin_samples(q, g.julia, g.maxiter, g.other_x, g.other_y);
        if (g.deep)
            deepen_samples(q, g.origin_x, g.origin_y, g.deep_other_x, g.deep_other_y);
        if (g.reference)
            perturb_samples(q, g.reference);
        for (int r; (r = next.fetch_add(1, std::memory_order_relaxed)) < count;) {
            const double y = g.y0 - double(g.rows - 1 - (first + r)) * g.dy;
            std::uint32_t *row = colours + std::size_t(r) * g.columns;
            for (int i = 0; i < g.columns; i++)
                want_sample(q, g.x0 + i * g.dx, y, row + i, SHAPE_ONE);
        }
        flush_samples(q);
    };
    run_shared(threads, work);
    for (int w = 0; w < threads; w++)
        counts.samples[0] += queues[w]->samples, counts.steps[0] += queues[w]->steps,
            counts.fallbacks += queues[w]->fallbacks;
}

// The colours as RGB rows.
void to_rgb(const std::uint32_t *colours, std::size_t pixels, std::uint8_t *rgb)
{
    for (std::size_t p = 0; p < pixels; p++)
        for (int c = 0; c < 3; c++)
            rgb[p * 3 + c] = std::uint8_t(colours[p] >> (8 * c));
}

}  // namespace

picture_grid grid_of_view(int columns, int rows)
{
    picture_grid g = {};
    g.columns = columns, g.rows = rows;
    g.julia = do_julia != 0;
    const double mid[2] = {g.julia ? jxmit : xmit, g.julia ? jymit : ymit};
    const double low[2] = {g.julia ? jxmit_lo : xmit_lo, g.julia ? jymit_lo : ymit_lo};
    const double half_x = g.julia ? jxstep : xstep, view_half_y = g.julia ? jystep : ystep;
    const double half_y = grid_half_height(half_x, view_half_y, columns, rows);
    const int used = precision_used(precision, grid_is_deep(mid[0], mid[1], half_x, half_y, columns, rows));
    g.deep = used != PRECISION_DOUBLE;
    g.maxiter = iteration_limit(maxit);
    g.dx = 2 * half_x / columns, g.dy = 2 * half_y / rows;
    g.x0 = g.deep ? -half_x : mid[0] - half_x;
    g.y0 = g.deep ? half_y : mid[1] + half_y;
    g.origin_x = {mid[0], low[0]}, g.origin_y = {mid[1], low[1]};
    const strip_c c = frame_c(g.deep);
    g.other_x = g.julia ? c.x : ZX, g.other_y = g.julia ? c.y : ZY;
    g.deep_other_x = g.julia ? c.whole_x : dd<double>{ZX, 0.0};
    g.deep_other_y = g.julia ? c.whole_y : dd<double>{ZY, 0.0};
    g.reference = used == PRECISION_PERTURBATION ? &reference_for({g.julia, g.origin_x, g.origin_y, half_x, half_y,
                                                                   g.deep_other_x, g.deep_other_y, g.maxiter})
                                                 : nullptr;
    return g;
}

int grid_band_rows(const options &o)
{
    const long long columns = (long long)o.size[0] * o.supersample;
    return int(std::clamp(band_pixels / columns, 1LL, (long long)o.size[1] * o.supersample));
}

int grid_bands(const options &o)
{
    const int rows = o.size[1] * o.supersample, band = grid_band_rows(o);
    return (rows + band - 1) / band;
}

// Two bands of RGB rows take turns: one is written out while the next is
// rendered into the other. Supersampled, the rendered rows go through the
// averaging, and the rows it gives take the turns.
double write_grid_picture(const options &o, png_output &out, progress_line &line, render_counts &counts,
                          int bands_before)
{
    const int s = o.supersample, width = o.size[0], height = o.size[1];
    const picture_grid g = grid_of_view(width * s, height * s);
    const int band = grid_band_rows(o), bands = grid_bands(o);
    const std::size_t row_bytes = std::size_t(width) * 3, rendered_bytes = row_bytes * s;
    std::vector<std::uint32_t> colours(std::size_t(band) * g.columns);
    std::vector<std::uint8_t> rendered(s > 1 ? rendered_bytes : 0);
    std::vector<std::uint8_t> rgb[2];
    for (auto &b : rgb)
        b.resize(row_bytes * (s > 1 ? band / s + 1 : band));
    supersampler sampler(s, width);
    check(out, start_png(out, width, height));
    band_writer writer(out);
    int written = 0;  // rows of the picture made so far
    for (int b = 0; b < bands; b++) {
        const int first = b * band, count = std::min(band, g.rows - first);
        render_band(g, first, count, colours.data(), counts);
        note_colours(colours.data(), std::size_t(count) * g.columns, b == 0);
        std::uint8_t *rows = rgb[b % 2].data();
        int made = 0;
        for (int r = 0; r < count; r++) {
            std::uint8_t *to = s > 1 ? rendered.data() : rows + made * row_bytes;
            to_rgb(colours.data() + std::size_t(r) * g.columns, g.columns, to);
            if (s > 1 && !sampler.add_row(to, rows + made * row_bytes))
                continue;
            if (o.logo)
                blend_logo_row(rows + made * row_bytes, height - 1 - written, width);
            made++, written++;
        }
        line.tile_done(bands_before + b + 1);
        if (!writer.write(rows, made, row_bytes)) {
            const int error = errno;
            line.stop();
            give_up(out, error);
        }
    }
    if (!writer.wait()) {
        const int error = errno;
        line.stop();
        give_up(out, error);
    }
    return writer.seconds();
}
