// reference.cpp -- finds, computes and keeps the reference orbit of a deep view
//
// The orbit is the double-double kernels' own orbit of one point: double-
// double holds the view's centre whole, as the view state keeps it, and is
// what deep samples are computed in when perturbation cannot finish them.
// Quadruple precision would hold no more of the point and costs tens of
// times as much per step, and an orbit may run to the limit on every change
// of the lattice.
#include "engine/reference.h"

#include <algorithm>
#include <array>
#include <cmath>

#include "engine/newton.h"

long long reference_steps;

namespace {

using ddouble = dd<double>;

// The points tried: 4 spacings either side of the snapped centre across, 3
// up and down, within the view, the nearest first (then row, then column).
constexpr int lattice_half_columns = 4, lattice_half_rows = 3;
constexpr int lattice_points = (2 * lattice_half_columns + 1) * (2 * lattice_half_rows + 1);
// The most steps an orbit keeps: 16 MB. Samples of a view whose limit goes
// beyond, and whose reference neither escaped nor settled, outlive it there.
constexpr int longest_orbit = 1 << 20;

struct lattice_point {
    int i, j;
};

const std::array<lattice_point, lattice_points> &lattice_order()
{
    static const std::array<lattice_point, lattice_points> order = [] {
        std::array<lattice_point, lattice_points> p;
        int k = 0;
        for (int j = -lattice_half_rows; j <= lattice_half_rows; j++)
            for (int i = -lattice_half_columns; i <= lattice_half_columns; i++)
                p[k++] = {i, j};
        std::stable_sort(p.begin(), p.end(), [](lattice_point a, lattice_point b) {
            return a.i * a.i + a.j * a.j < b.i * b.i + b.j * b.j;
        });
        return p;
    }();
    return order;
}

// Everything the orbits depend on but the limit: the plane, the lattice's
// spacing (0: the centre alone) and snapped centre, the other value.
struct lattice {
    bool julia;
    double spacing;
    ddouble x, y;
    ddouble other_x, other_y;
};

bool same_bits(ddouble a, ddouble b)
{
    return __builtin_memcmp(&a, &b, sizeof a) == 0;
}

bool same_lattice(const lattice &a, const lattice &b)
{
    return a.julia == b.julia && __builtin_memcmp(&a.spacing, &b.spacing, sizeof a.spacing) == 0 &&
           same_bits(a.x, b.x) && same_bits(a.y, b.y) && same_bits(a.other_x, b.other_x) &&
           same_bits(a.other_y, b.other_y);
}

// The multiple of s nearest v, a power of two: the high part rounded to a
// multiple (exact, and v.hi itself where its last bit is at least s), then
// what is left with the low part. A centre beyond the doubles' range at
// that spacing stays as it is.
ddouble snap(ddouble v, double s)
{
    const double q = v.hi / s;
    if (!std::isfinite(q))
        return v;
    const double high = std::nearbyint(q) * s;
    const double rest = (v.hi - high) + v.lo;
    return two_sum(high, std::nearbyint(rest / s) * s);
}

// The spacing is a power of two between an eighth and a quarter of the
// larger half-extent, so it stays through some six zoom steps, and the
// snapped centre through pans of up to a sixteenth of the view.
lattice lattice_of(const reference_view &v)
{
    lattice l = {v.julia, 0.0, v.centre_x, v.centre_y, v.other_x, v.other_y};
    const double h = std::max(std::fabs(v.half_x), std::fabs(v.half_y));
    if (h > 0 && std::isfinite(h))
        l.spacing = std::ldexp(1.0, std::ilogb(h) - 2);
    if (l.spacing > 0)
        l.x = snap(v.centre_x, l.spacing), l.y = snap(v.centre_y, l.spacing);
    return l;
}

// One lattice point's orbit, as far as it has been computed.
struct candidate {
    int point;                   // its place in lattice_order
    ddouble px, py;              // the point
    mandel_terms<ddouble> terms;  // its terms in c, in the parameter plane
    ddouble a, b;                // the last iterate computed
    int escaped_at;              // the step that escaped, or -1
    reference_orbit orbit;       // the iterates so far
};

candidate start(const lattice &l, int point)
{
    const lattice_point p = lattice_order()[point];
    candidate c;
    c.point = point;
    c.px = dd_add(l.x, p.i * l.spacing), c.py = dd_add(l.y, p.j * l.spacing);
    c.terms = mandel_terms_of(c.px, c.py);
    c.a = l.julia ? c.px : l.other_x, c.b = l.julia ? c.py : l.other_y;
    c.escaped_at = -1;
    c.orbit.julia = l.julia;
    c.orbit.settled = false;
    c.orbit.candidate = point;
    c.orbit.c_x = l.julia ? l.other_x.hi : c.px.hi, c.orbit.c_y = l.julia ? l.other_y.hi : c.py.hi;
    c.orbit.x = {c.a.hi}, c.orbit.y = {c.b.hi};
    c.orbit.length = 0;
    return c;
}

// Steps the orbit on up to the given number of steps, unless it escaped or
// settled: the double-double kernels' step and escape test. It has settled
// where a step moves it by less than 2^-100 of its size: from there on it
// stays, as doubles keep it. An escaping iterate is kept if it is finite,
// for the samples that escape at the same step.
void go_on(candidate &c, const lattice &l, int steps)
{
    const julia_terms<ddouble> jt = julia_terms_of(l.other_x, l.other_y);
    reference_orbit &r = c.orbit;
    r.x.resize(r.length + 1), r.y.resize(r.length + 1);
    for (int n = r.length; n < steps && c.escaped_at < 0 && !r.settled; n++) {
        const ddouble a2 = c.a * c.a, b2 = c.b * c.b;
        ddouble da, db;
        if (l.julia)
            julia_correction(jt, c.a, c.b, a2, b2, da, db);
        else
            mandel_correction(c.terms, c.a, c.b, a2, b2, da, db);
        const ddouble na = c.a - da, nb = c.b - db;
        reference_steps++;
        const bool escaped = !(escape_measure(na, nb, na * na, nb * nb) < escape_bound);
        if (escaped)
            c.escaped_at = n;
        if (!escaped || (std::isfinite(na.hi) && std::isfinite(nb.hi)))
            r.x.push_back(na.hi), r.y.push_back(nb.hi);
        r.settled = !escaped && std::fabs(da.hi) + std::fabs(db.hi) <= 0x1p-100 * (std::fabs(na.hi) + std::fabs(nb.hi));
        c.a = na, c.b = nb;
    }
    r.length = int(r.x.size()) - 1;
    r.x.resize(r.length + 1 + reference_padding, r.x.back()), r.y.resize(r.length + 1 + reference_padding, r.y.back());
}

// What the lattice's points have shown so far, and the last orbit computed.
struct reference_cache {
    bool valid = false;
    lattice l;
    int escaped_at[lattice_points];  // -2 not tried, -1 lasted as far as computed, else the step that escaped
    bool have_orbit = false;
    candidate last;
} cache;

// Whether point k serves a limit of the given steps, computing as much of
// its orbit as that takes: one that escaped at or after the last step the
// samples take serves, as does one that lasted that far or settled.
bool serves(int k, int steps)
{
    if (cache.escaped_at[k] >= 0)
        return cache.escaped_at[k] >= steps;
    candidate &c = cache.last;
    const bool known = cache.have_orbit && c.point == k;
    if (known && (c.orbit.settled || c.orbit.length >= steps))
        return true;
    if (!known)
        c = start(cache.l, k), cache.have_orbit = true;
    go_on(c, cache.l, steps);
    cache.escaped_at[k] = c.escaped_at;
    return c.escaped_at < 0 || c.escaped_at >= steps;
}

}  // namespace

// A limit below 1 still takes one step. Where every point escapes within
// the limit, the one that escaped last serves, the first of equals.
const reference_orbit &reference_for(const reference_view &v)
{
    const lattice l = lattice_of(v);
    if (!cache.valid || !same_lattice(l, cache.l)) {
        cache.valid = true, cache.l = l, cache.have_orbit = false;
        std::fill(std::begin(cache.escaped_at), std::end(cache.escaped_at), -2);
    }
    const int steps = std::clamp(v.maxiter, 1, longest_orbit);
    const int points = l.spacing > 0 ? lattice_points : 1;
    int chosen = -1, latest = 0;
    for (int k = 0; k < points && chosen < 0; k++) {
        if (serves(k, steps))
            chosen = k;
        else if (cache.escaped_at[k] > cache.escaped_at[latest])
            latest = k;
    }
    if (chosen < 0)
        chosen = latest;
    // An orbit computed further for a larger limit is computed again, so
    // that the table is the very one a fresh start makes.
    candidate &c = cache.last;
    if (!cache.have_orbit || c.point != chosen || c.orbit.length > steps)
        c = start(l, chosen), cache.have_orbit = true;
    go_on(c, l, steps);
    c.orbit.offset_x = (c.px - v.centre_x).hi, c.orbit.offset_y = (c.py - v.centre_y).hi;
    return c.orbit;
}
