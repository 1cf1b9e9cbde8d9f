// colouring.cpp -- the smooth and the basin colouring: where a sample's iteration ended, turned into its colour
//
// The kernels report the count, the last iterate and the last two moves;
// everything the colourings need beyond that is worked out here, after
// the kernels, so that the kernels stay the same for every colouring.
#include "engine/colouring.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <complex>
#include <numbers>

#include "app/palette.h"
#include "engine/newton.h"
#include "engine/srgb.h"

int colouring = COLOURING_COUNT;

namespace {

constexpr int mix_steps = 32;     // a palette entry mixed with the next in 32nds of the way: under a level a step
constexpr int period = 16;        // the basin colouring's lightness comes round again every 16 steps
constexpr int phases = 64;        // each step of that cycle in 64ths
constexpr int light_levels = 64;  // lightness from 0 to 1 in 64ths
constexpr int polish_steps = 64;  // steps a settled sample may take on to its root
constexpr double polished = 1e-9; // a move this short is on the root
constexpr double darkest = 0.3;   // the basin colouring's lightness runs from this to 1
const std::uint32_t escape_colour = 0x00a0a0a0;  // a grey of its own for samples that run away

// Entry i mixed with entry i + 1 (the palette is a cycle), k 32nds of the
// way, in linear light; k = 0 and 32 are the entries themselves.
std::uint32_t mixed[256][mix_steps + 1];
// A channel's 8-bit value v at lightness l / 64, in linear light.
std::uint8_t shaded[light_levels + 1][256];
// The lightness level of each 64th of the cycle of 16 steps.
std::uint8_t level_at_phase[period * phases];

const char *const names[3] = {"count", "smooth", "basin"};

std::uint8_t channel(std::uint32_t colour, int c) { return std::uint8_t(colour >> (8 * c)); }

// The linear light of each 8-bit value, and the linear light halfway
// between each value and the next: a linear value is encoded as the
// number of halfway points at or below it, the nearest 8-bit value, with
// no power taken (the tables hold tens of thousands of colours).
double linear[256], halfway[255];

std::uint8_t encoded(double light)
{
    return std::uint8_t(std::upper_bound(halfway, halfway + 255, light) - halfway);
}

std::uint32_t mix(std::uint32_t from, std::uint32_t to, double t)
{
    std::uint32_t out = 0;
    for (int c = 0; c < 3; c++) {
        const double a = linear[channel(from, c)], b = linear[channel(to, c)];
        out |= std::uint32_t(encoded(a + (b - a) * t)) << (8 * c);
    }
    return out;
}

// log2 of 1 + i / 1024, for the logarithms below.
constexpr int log_steps = 1024;
double log2_table[log_steps + 1];

// log2 of a positive finite double, within about 2e-7: the exponent from
// its bits, the mantissa's from the table, between two entries on a
// straight line. Many times as fast as the library's logarithm, and a
// fraction of a palette entry needs no more.
inline double quick_log2(double x)
{
    if (x < 0x1p-1000)  // subnormal numbers have fewer bits of mantissa
        return quick_log2(x * 0x1p100) - 100;
    const std::uint64_t bits = std::bit_cast<std::uint64_t>(x);
    const int exponent = int(bits >> 52 & 0x7ff) - 1023, i = int(bits >> 42 & (log_steps - 1));
    const double fraction = double(bits & ((1ULL << 42) - 1)) * 0x1p-42;
    return exponent + log2_table[i] + (log2_table[i + 1] - log2_table[i]) * fraction;
}

// How far below the tolerance the last move fell, against the move
// before, from 0 (just below) to 1 (no move at all): log(tol / d) over
// log(d_before / d). It is 0 after the first step, which has no move
// before it, so the colour is continuous across every count's edge: there
// the last move is the tolerance itself, or the move before it is.
double settling_fraction(double move, double before)
{
    if (!(before < INFINITY))
        return 0;
    if (!(move > 0))
        return 1;
    if (!(move <= tolerance))
        return 0;
    const double log_tolerance = -9.965784284662087;  // log2 0.001
    const double log_move = quick_log2(move);
    const double s = (log_tolerance - log_move) / (quick_log2(before) - log_move);
    return s > 0 ? (s < 1 ? s : 1) : 0;
}

// How far past the escape bound the last step went: log2 of the ratio of
// the logarithms of |z|^2 and of the bound, held to 0 ... 1; 1 for an
// iterate that is not a number.
double escape_fraction(double x, double y)
{
    const double m = x * x + y * y;
    if (!(m >= escape_bound && m < INFINITY))
        return 1;
    const double log_bound = 19.931568569324174;  // log2 10^6
    const double e = quick_log2(quick_log2(m) / log_bound);
    return e > 0 ? (e < 1 ? e : 1) : 0;
}

int steps_of(double fraction, int steps) { return int(fraction * steps + 0.5); }

// The colour at palette position i + fraction.
std::uint32_t at_position(unsigned i, double fraction)
{
    return mixed[i & 0xff][steps_of(fraction, mix_steps)];
}

bool escaped(const sample_end &e) { return !(e.x * e.x + e.y * e.y < escape_bound); }

// Follows a settled iterate on until a step is below polished, so that it
// lies on the point it settles on; where it runs away or takes too long,
// the iterate as the kernels left it.
template <class Correction>
void polish(double &x, double &y, Correction correction)
{
    double a = x, b = y;
    for (int i = 0; i < polish_steps; i++) {
        double da, db;
        correction(a, b, a * a, b * b, da, db);
        a -= da, b -= db;
        if (!(a * a + b * b < escape_bound))
            return;
        if (std::fabs(da) < polished && std::fabs(db) < polished) {
            x = a, y = b;
            return;
        }
    }
}

// The root of f_c nearest (x, y), when it is more than ten times nearer
// than the next, or else -1.
int clearly_nearest(const colour_setting &s, double x, double y)
{
    double d[3];
    for (int k = 0; k < 3; k++) {
        const double dx = x - s.roots[k][0], dy = y - s.roots[k][1];
        d[k] = dx * dx + dy * dy;
    }
    const int k = d[0] <= d[1] ? (d[0] <= d[2] ? 0 : 2) : (d[1] <= d[2] ? 1 : 2);
    return 100 * d[k] < d[(k + 1) % 3] && 100 * d[k] < d[(k + 2) % 3] ? k : -1;
}

// The hue of a settled sample: in the dynamic plane the entry a third of
// the palette apart for each of the three roots of f_c; in the parameter
// plane, where the points the iteration settles on move with c, the
// palette position of the point's direction from 0, so that each has a hue
// of its own that follows it as it moves.
//
// A sample that settled lies near its root, mostly some 1e-6 from it (the
// last move was below 0.001, and Newton's method squares the distance each
// step), and where it is more than ten times nearer one root than the
// others a Newton step only takes it nearer still. Elsewhere, as where two
// roots nearly meet and the iteration crawls, it is followed on until it
// really lies on a root. The parameter plane's hue is the direction of the
// iterate itself: following it on would turn it by no visible amount.
std::uint32_t root_colour(const colour_setting &s, const sample_end &e)
{
    double x = e.x, y = e.y;
    if (s.julia) {
        int nearest = clearly_nearest(s, x, y);
        if (nearest < 0) {
            const julia_terms<double> c = julia_terms_of(s.cx, s.cy);
            polish(x, y, [&](double a, double b, double a2, double b2, double &da, double &db) {
                julia_correction(c, a, b, a2, b2, da, db);
            });
            double best = INFINITY;
            for (int k = 0; k < 3; k++) {
                const double dx = x - s.roots[k][0], dy = y - s.roots[k][1], d = dx * dx + dy * dy;
                if (d < best)
                    best = d, nearest = k;
            }
        }
        return at_position(unsigned(nearest * 256 / 3), nearest * 256 % 3 / 3.0);  // 0, 256 / 3, 512 / 3
    }
    // The direction as a "diamond angle", from 0 to 4 once round, as even
    // as the angle itself for colours and a division instead of an arc
    // tangent: positions 64 apart per quarter turn.
    const double ax = std::fabs(x), ay = std::fabs(y);
    if (!(ax + ay > 0))
        return mixed[0][0];
    const double d = y >= 0 ? (x >= 0 ? y / (ax + ay) : 2 - y / (ax + ay)) : (x < 0 ? 2 + ay / (ax + ay) : 4 - ay / (ax + ay));
    const double position = d * 64;
    const int whole = int(position);
    return at_position(unsigned(whole), position - whole);
}

}  // namespace

const char *colouring_name(int id)
{
    return id >= 0 && id <= COLOURING_BASIN ? names[id] : "?";
}

void prepare_colouring()
{
    for (int i = 0; i <= log_steps; i++)
        log2_table[i] = std::log2(1 + double(i) / log_steps);
    for (int v = 0; v < 256; v++)
        linear[v] = linear_of(v / 255.0);
    for (int v = 0; v < 255; v++)
        halfway[v] = linear_of((v + 0.5) / 255.0);
    for (int i = 0; i < 256; i++)
        for (int k = 0; k <= mix_steps; k++)
            mixed[i][k] = k == 0          ? mycoltab[i]
                          : k == mix_steps ? mycoltab[(i + 1) & 0xff]
                                           : mix(mycoltab[i], mycoltab[(i + 1) & 0xff], double(k) / mix_steps);
    for (int l = 0; l <= light_levels; l++)
        for (int v = 0; v < 256; v++)
            shaded[l][v] = encoded(linear[v] * l / light_levels);
    for (int p = 0; p < period * phases; p++) {
        const double lightness = darkest + (1 - darkest) * (0.5 + 0.5 * std::cos(2 * std::numbers::pi * p / (period * phases)));
        level_at_phase[p] = std::uint8_t(std::lround(lightness * light_levels));
    }
}

colour_setting colour_setting_of(bool julia, double cx, double cy)
{
    colour_setting s = {julia, cx, cy, {{1, 0}, {0, 0}, {0, 0}}};
    const std::complex<double> root = std::sqrt(std::complex<double>(1 - 4 * cx, -4 * cy));
    s.roots[1][0] = (-1 + root.real()) / 2, s.roots[1][1] = root.imag() / 2;
    s.roots[2][0] = (-1 - root.real()) / 2, s.roots[2][1] = -root.imag() / 2;
    return s;
}

namespace {

// The palette position is maxiter less the continuous count, so the whole
// part is the count picture's index: maxiter - n for a settled sample, one
// less for an escape, whose continuous count lies above n.
inline std::uint32_t smooth_colour(const sample_end &e)
{
    if (e.n == e.maxiter)
        return 0;
    const unsigned index = static_cast<unsigned>(e.maxiter) - static_cast<unsigned>(e.n);
    return escaped(e) ? at_position(index - 1, escape_fraction(e.x, e.y))
                      : at_position(index, settling_fraction(e.move, e.move_before));
}

inline std::uint32_t basin_colour(const colour_setting &s, const sample_end &e)
{
    if (e.n == e.maxiter)
        return 0;
    if (escaped(e))
        return escape_colour;
    const std::uint32_t hue = root_colour(s, e);
    // The continuous count n - s, taken round the cycle of 16 steps.
    const int phase = int(unsigned(e.n) % period) * phases - steps_of(settling_fraction(e.move, e.move_before), phases);
    const int level = level_at_phase[(phase + period * phases) % (period * phases)];
    return shaded[level][channel(hue, 0)] | shaded[level][channel(hue, 1)] << 8 | shaded[level][channel(hue, 2)] << 16;
}

}  // namespace

std::uint32_t end_colour(const colour_setting &s, const sample_end &e)
{
    return colouring == COLOURING_SMOOTH ? smooth_colour(e) : basin_colour(s, e);
}

// One loop per colouring, where all of it is inlined.
void end_colours(const colour_setting &s, const sample_ends &ends, int count, std::uint32_t *colours)
{
    const auto end = [&](int k) {
        return sample_end{ends.n[k], ends.maxiter, ends.x[k], ends.y[k], ends.move[k], ends.move_before[k]};
    };
    if (colouring == COLOURING_SMOOTH)
        for (int k = 0; k < count; k++)
            colours[k] = smooth_colour(end(k));
    else
        for (int k = 0; k < count; k++)
            colours[k] = basin_colour(s, end(k));
}
