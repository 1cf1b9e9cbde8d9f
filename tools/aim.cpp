// aim.cpp -- moves a zoom sequence's centre onto a boundary between basins near it, so that its deepest frame shows detail
//
// A zoom about a centre inside a basin ends on one flat colour: a few dozen
// steps in, the basin fills the view. A boundary between basins has detail
// at every scale, so a centre on one keeps every frame busy down to the
// deepest. The colours are no guide: they follow the iteration count,
// whose contours inside a basin are smooth, so a zoom into an edge between
// two colours ends on a straight line between two flat ones. What tells
// basins apart is where a sample's iteration ends: the root it settles on,
// or the limit.
//
// The kernels' own end is not the root: they stop once a step moves less
// than 0.001, and where the iteration settles slowly that is short of the
// root, after a count that jumps along smooth curves. So a settled sample's
// last iterate is stepped on until it really lies on its root. A sample
// that runs away, or is not settled by then, tells nothing: those that run
// away fill a small disc about a point the iteration throws near a pole,
// and the rim of that disc is smooth.
//
// The search goes down the sequence in stages, one every few zoom steps,
// each a grid of probes over that step's view with that step's iteration
// limit, about the centre the stage before chose: the middle of the pair
// of neighbours nearest its centre whose iterations end apart. The limit
// is the frame's own because a limit makes edges of its own: samples that
// settle too slowly for it are black, and the rim of such a black patch is
// a contour of the count, which moves as the limit grows. A boundary
// between basins stays at every depth; a contour drifts out of the next
// stage's grid, which then finds nothing, and the search goes back to the
// next nearest pair of the stage before.
//
// Where a grid cell is too small for doubles to place its probes, some
// 260 zoom steps into the wave, the stage is searched in double-double:
// the centre is kept whole, each probe is a double offset from it, every
// probe is iterated by the kernels' double-double versions and the pairs
// are halved whole. The stages doubles reach are computed as they always
// were, so an aim that stays within them finds the very same centre.
#include "tools/aim.h"

#include <algorithm>
#include <array>
#include <cfloat>
#include <cmath>
#include <cstdio>
#include <vector>

#include "app/screen.h"
#include "engine/kernels.h"
#include "engine/newton.h"
#include "tools/options.h"
#include "tools/viewtag.h"
#include "view/display.h"
#include "view/idle.h"
#include "view/viewstate.h"

namespace {

constexpr int grid_columns = 33, grid_rows = 25;  // square cells in a 4:3 view, 32 pixels of a frame each
// A stage every 10 steps: the next stage's view is 0.35 of this one's, 11
// cells across, so the boundary found lies well inside it.
constexpr int steps_per_stage = 10;
constexpr int tries_per_stage = 3;      // pairs of a stage tried before the search goes back a stage further
constexpr int halvings_per_stage = 12;  // pairs of a stage halved, those that close up included
constexpr int halvings = 7;             // a pair found is halved to 1/128 of a cell
constexpr int probe_limit_cap = 65535;  // the explorer's own cap, so a huge limit keeps the probes short
constexpr int polish_steps = 5000;      // steps a settled sample may take on to its root
constexpr double polished = 1e-9;       // a step this short is on the root
constexpr double same_root = 0.001;     // roots closer than this are one

// The smallest cell a stage may have, in units of its largest coordinate:
// 64 units in the last place, in doubles and in double-doubles. Below it
// the probes of a halving would fall on the same numbers.
constexpr double double_cell = 64 * DBL_EPSILON, double_double_cell = 64 * DBL_EPSILON * DBL_EPSILON;

typedef dd<double> whole;  // a position kept whole: high part and low part

enum class end_kind { root, limit, unknown };

struct point {
    whole x, y;
    end_kind kind;
    double root[2];
};

// Steps on from a settled sample's last iterate until the step is below
// polished; false when it runs away or takes too long.
template <class Correction>
bool polish(double z[2], Correction correction)
{
    double a = z[0], b = z[1];
    for (int i = 0; i < polish_steps; i++) {
        double da, db;
        correction(a, b, a * a, b * b, da, db);
        a -= da, b -= db;
        if (!(a * a + b * b < escape_bound))
            return false;
        if (std::fabs(da) < polished && std::fabs(db) < polished) {
            z[0] = a, z[1] = b;
            return true;
        }
    }
    return false;
}

// The samples of the plane the sequence zooms: c with a fixed z0 in the
// parameter plane, z0 with a fixed c in the dynamic plane. A deep probe
// iterates in double-double, as a deep frame does, with c whole; a shallow
// one in doubles from the high parts, as a double frame does. The polish
// stays in doubles: the roots are 0.001 apart, and a root moves with c by
// no more than c's low part.
struct probe {
    int mode;
    whole fixed[2];

    orbit iterate(whole x, whole y, int limit, bool deep) const
    {
        if (deep)
            return mode == 0 ? mandel_orbit_dd(x, y, fixed[0].hi, fixed[1].hi, limit)
                             : julia_orbit_dd(x, y, fixed[0], fixed[1], limit);
        return mode == 0 ? mandel_orbit(x.hi, y.hi, fixed[0].hi, fixed[1].hi, limit)
                         : julia_orbit(x.hi, y.hi, fixed[0].hi, fixed[1].hi, limit);
    }

    point at(whole x, whole y, int limit, bool deep) const
    {
        const orbit o = iterate(x, y, limit, deep);
        point p = {x, y, end_kind::unknown, {o.x, o.y}};
        if (!(o.x * o.x + o.y * o.y < escape_bound))
            return p;
        if (o.n >= limit) {
            p.kind = end_kind::limit;
            return p;
        }
        const mandel_terms<double> t = mandel_terms_of(x.hi, y.hi);
        const julia_terms<double> c = julia_terms_of(fixed[0].hi, fixed[1].hi);
        const bool settled = mode == 0 ? polish(p.root, [&](double a, double b, double a2, double b2, double &da,
                                                            double &db) { mandel_correction(t, a, b, a2, b2, da, db); })
                                       : polish(p.root, [&](double a, double b, double a2, double b2, double &da,
                                                            double &db) { julia_correction(c, a, b, a2, b2, da, db); });
        p.kind = settled ? end_kind::root : end_kind::unknown;
        return p;
    }
};

// Whether two samples end in different basins; never for one that tells
// nothing.
bool apart(const point &a, const point &b)
{
    if (a.kind == end_kind::unknown || b.kind == end_kind::unknown)
        return false;
    if (a.kind != b.kind)
        return true;
    return a.kind == end_kind::root && std::hypot(a.root[0] - b.root[0], a.root[1] - b.root[1]) > same_root;
}

double jump(const point &a, const point &b)
{
    return std::hypot(a.root[0] - b.root[0], a.root[1] - b.root[1]);
}

// One stage: the step, the half-extents of the view, the frame's limit
// and whether its cells are too small for doubles.
struct stage {
    int step;
    double half[2];
    int limit;
    bool deep;
};

// A probe's position: the centre moved by a double. In a shallow stage the
// sum of doubles it always was, the centre's low part left out as a double
// frame leaves it; in a deep one, whole.
whole moved(whole centre, double by, bool deep)
{
    return deep ? dd_add(centre, by) : whole{centre.hi + by, 0.0};
}

// The middle of two positions, likewise.
whole halfway(whole a, whole b, bool deep)
{
    return deep ? a + (b - a) * 0.5 : whole{a.hi + (b.hi - a.hi) * 0.5, 0.0};
}

// The neighbours that end apart in the grid over a stage's view about
// (x, y), nearest the centre first; ties go by the grid's order, so the
// same view always gives the same list.
std::vector<std::array<point, 2>> boundary_pairs(const probe &p, const stage &s, whole x, whole y)
{
    std::vector<point> grid;
    for (int j = 0; j < grid_rows; j++)
        for (int i = 0; i < grid_columns; i++) {
            const double dx = s.half[0] * double(2 * i - (grid_columns - 1)) / (grid_columns - 1),
                         dy = s.half[1] * double(2 * j - (grid_rows - 1)) / (grid_rows - 1);
            grid.push_back(p.at(moved(x, dx, s.deep), moved(y, dy, s.deep), s.limit, s.deep));
        }
    struct found {
        long long distance;  // squared, in half cells
        int a, b;            // indices into the grid, in the grid's order
    };
    std::vector<found> pairs;
    for (int j = 0; j < grid_rows; j++)
        for (int i = 0; i < grid_columns; i++) {
            const int at = j * grid_columns + i;
            const long long dx = 2 * i - (grid_columns - 1), dy = 2 * j - (grid_rows - 1);
            if (i + 1 < grid_columns && apart(grid[at], grid[at + 1]))
                pairs.push_back({(dx + 1) * (dx + 1) + dy * dy, at, at + 1});
            if (j + 1 < grid_rows && apart(grid[at], grid[at + grid_columns]))
                pairs.push_back({dx * dx + (dy + 1) * (dy + 1), at, at + grid_columns});
        }
    std::stable_sort(pairs.begin(), pairs.end(),
                     [](const found &f, const found &g) { return f.distance < g.distance; });
    std::vector<std::array<point, 2>> ends;
    for (const found &f : pairs)
        ends.push_back({grid[f.a], grid[f.b]});
    return ends;
}

// Halves a pair that ends apart, keeping its ends apart, and sets middle
// to the last pair's middle. False when the ends close up or a middle
// tells nothing: in the parameter plane the roots move with c, and where
// they move fast, neighbours that settle on one root end some way apart;
// halving brings those together, while the two sides of a boundary stay
// apart.
bool halve(const probe &p, const stage &s, std::array<point, 2> pair, whole middle[2])
{
    point &a = pair[0], &b = pair[1];
    for (int i = 0; i < halvings; i++) {
        const point m = p.at(halfway(a.x, b.x, s.deep), halfway(a.y, b.y, s.deep), s.limit, s.deep);
        if (m.kind == end_kind::unknown)
            return false;
        const bool left = apart(a, m), right = apart(m, b);
        if (left != right)
            (left ? b : a) = m;
        else  // both halves cross a boundary, or neither does yet: follow the larger jump
            (jump(a, m) >= jump(m, b) ? b : a) = m;
    }
    middle[0] = halfway(a.x, b.x, s.deep), middle[1] = halfway(a.y, b.y, s.deep);
    return apart(a, b);
}

// The view a sequence zooms, as references into the view state.
struct zoomed_view {
    double &mid_x, &mid_y, &half_x, &half_y, &low_x, &low_y;
};

zoomed_view view_of(int mode)
{
    if (mode == 2)
        return {jxmit, jymit, jxstep, jystep, jxmit_lo, jymit_lo};
    return {xmit, ymit, xstep, ystep, xmit_lo, ymit_lo};
}

// The stages, taken by the explorer's own zoom steps. Zooming in: every
// steps_per_stage steps and the deepest frame, the last, widest view
// first, each held by the one before. Zooming out, every frame holds the
// first, the deepest, and the stages are the same steps' views, narrowest
// first, each a search of its own, so that the centre moves no further
// than to the nearest boundary the narrowest frame with one shows. A frame
// in every mode iterates to the parameter-plane view's limit, so that is
// each stage's. A view too small for doubles to tell a grid cell's corners
// apart is searched in double-double; views too small for that, or too
// wide for doubles, are left out. The view state is left as it was.
std::vector<stage> stages_of(const options &o)
{
    picture_record now;
    capture_views(now);
    const int was_calc = calc;
    do_julia = o.mode;
    const zoomed_view v = view_of(o.mode);
    const double scale = std::max({1.0, std::fabs(v.mid_x), std::fabs(v.mid_y)});
    std::vector<stage> stages;
    for (int step = 0; step <= o.zoom_steps; step++) {
        if (step % steps_per_stage == 0 || step == o.zoom_steps)
            stages.push_back(
                {step, {v.half_x, v.half_y}, std::min(iteration_limit(maxit), probe_limit_cap), false});
        zoom_step(o.zoom_button);
    }
    restore_views(now);
    calc = was_calc;
    for (stage &s : stages)
        s.deep = !(std::fabs(s.half[0]) / grid_columns > double_cell * scale);
    const auto unusable = [&](const stage &s) {
        const double cell = std::fabs(s.half[0]) / grid_columns;
        return !(cell > double_double_cell * scale && cell < DBL_MAX / 4);
    };
    stages.erase(std::find_if(stages.begin(), stages.end(), unusable), stages.end());
    return stages;
}

// Goes down the stages from stage s about (x, y), depth first, nearest
// pair first, within a budget of grids. Pairs inside the next stage's view
// about a pair already tried are passed over, as that view was searched.
// The first pair of the deepest stage reached is kept, so that a search
// that finds no boundary lasting to the deepest frame still aims as deep
// as any lasts.
struct search {
    const probe &p;
    const std::vector<stage> &stages;
    int grids_left;
    int deepest = -1;  // the deepest stage that found a pair
    whole centre[2] = {};

    bool down(std::size_t s, whole x, whole y)
    {
        if (s == stages.size())
            return true;
        if (grids_left-- <= 0)
            return false;
        const std::vector<std::array<point, 2>> pairs = boundary_pairs(p, stages[s], x, y);
        const double *next = s + 1 < stages.size() ? stages[s + 1].half : nullptr;
        std::vector<std::array<whole, 2>> tried;
        int halved = 0;
        const bool deep = stages[s].deep;
        for (std::size_t t = 0;
             t < pairs.size() && int(tried.size()) < tries_per_stage && halved < halvings_per_stage; t++) {
            const whole mx = halfway(pairs[t][0].x, pairs[t][1].x, deep),
                        my = halfway(pairs[t][0].y, pairs[t][1].y, deep);
            const auto searched = [&](const std::array<whole, 2> &m) {
                return std::fabs((mx - m[0]).hi) < std::fabs(next[0]) &&
                       std::fabs((my - m[1]).hi) < std::fabs(next[1]);
            };
            if (next && std::any_of(tried.begin(), tried.end(), searched))
                continue;
            whole middle[2];
            halved++;
            if (!halve(p, stages[s], pairs[t], middle))
                continue;
            tried.push_back({middle[0], middle[1]});
            if (int(s) > deepest)
                deepest = int(s), centre[0] = middle[0], centre[1] = middle[1];
            if (down(s + 1, middle[0], middle[1]))
                return true;
        }
        return false;
    }
};

}  // namespace

// The centre is set whole, high and low parts, so that the sequence zooms
// about it whole; a centre a shallow stage chose has no low part.
aim_result aim_at_boundary(const options &o)
{
    const std::vector<stage> stages = stages_of(o);
    const zoomed_view v = view_of(o.mode);
    const probe p =
        o.mode == 0 ? probe{0, {{ZX, 0.0}, {ZY, 0.0}}} : probe{o.mode, {{xmit, xmit_lo}, {ymit, ymit_lo}}};
    const whole given[2] = {{v.mid_x, v.low_x}, {v.mid_y, v.low_y}};
    aim_result r;
    whole centre[2] = {};
    auto take = [&](const search &s, const std::vector<stage> &searched) {
        r.found = s.deepest >= 0;
        if (r.found)
            r.deepest_step = searched[s.deepest].step, centre[0] = s.centre[0], centre[1] = s.centre[1];
    };
    if (o.zoom_button == 1) {
        search s{p, stages, 4 * int(stages.size()) + 24};
        r.all_the_way = s.down(0, given[0], given[1]);
        take(s, stages);
    }
    for (std::size_t i = 0; o.zoom_button == 4 && i < stages.size() && !r.found; i++) {
        const std::vector<stage> one = {stages[i]};
        search s{p, one, 1};
        r.all_the_way = s.down(0, given[0], given[1]);
        take(s, one);
    }
    if (!r.found)
        return r;
    r.centre[0] = centre[0].hi, r.centre[1] = centre[1].hi;
    r.centre_lo[0] = centre[0].lo, r.centre_lo[1] = centre[1].lo;
    r.pixels = std::hypot((centre[0] - given[0]).hi / v.half_x * (SCREEN_W / 2),
                          (centre[1] - given[1]).hi / v.half_y * (SCREEN_H / 2));
    v.mid_x = centre[0].hi, v.low_x = centre[0].lo, v.mid_y = centre[1].hi, v.low_y = centre[1].lo;
    return r;
}

void report_aim(const aim_result &r, bool stats)
{
    if (!r.found)
        std::fputs("rootzoom-render: warning: --aim found no boundary between basins in the view; the centre stays "
                   "where it is\n",
                   stderr);
    else if (!r.all_the_way)
        std::fprintf(stderr,
                     "rootzoom-render: warning: --aim found no boundary between basins that lasts past step %d; the "
                     "frames after it may show one colour\n",
                     r.deepest_step);
    if (!r.found || !stats)
        return;
    std::fprintf(stderr, "aimed at %s %s", exact_text(r.centre[0]).c_str(), exact_text(r.centre[1]).c_str());
    if (r.centre_lo[0] != 0 || r.centre_lo[1] != 0)
        std::fprintf(stderr, " (low parts %s %s)", exact_text(r.centre_lo[0]).c_str(),
                     exact_text(r.centre_lo[1]).c_str());
    std::fprintf(stderr, ", %.1f pixels from the centre given\n", r.pixels);
}
