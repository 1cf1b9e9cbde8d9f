// aim.cpp -- moves a zoom sequence's centre onto a boundary between ends whose detail lasts, so that its deepest frame shows detail
//
// A zoom about a centre inside a basin ends on one flat colour: a few dozen
// steps in, the basin fills the view. A boundary between samples that end
// apart has detail at every scale, so a centre on one keeps every frame busy
// down to the deepest. The colours are no guide: they follow the iteration
// count, whose contours inside a basin are smooth, so a zoom into an edge
// between two colours ends on a straight line between two flat ones. What
// tells basins apart is where a sample's iteration ends, and every end is a
// class of its own: each point it settles on, escaping, and the limit.
// Escapes count: the samples that escape are those the iteration throws
// near a pole, and where their regions crowd, about the boundaries between
// roots, they are as fractal as any boundary.
//
// The kernels' own end is not the point settled on: they stop once a step
// moves less than 0.001, and where the iteration settles slowly that is
// short of it. So a settled sample's last iterate is stepped on until it
// lies within 0.001 of its point, or as far as a few thousand steps take
// it; ends closer than 0.1 are one. In the parameter plane the point settled on
// moves with c, fast in places, but by far less than that between
// neighbouring probes.
//
// The search goes down the zoom in stages, one every 10 steps, each a grid
// of probes over that step's view with that step's iteration limit, about
// the centre the stage before chose. A stage takes the pairs of neighbours
// that end apart, nearest the centre first, halves a few of them to their
// boundary, and probes the next stage's grid about each: the boundary whose
// next grid shows the most detail (different ends and counts) is kept, and
// that grid is the next stage's. A single smooth rim lasts, but deep down it
// is a straight line between two flat colours; where ends crowd, the next
// grid shows many, and so do the grids after it. The limit is each frame's
// own, because a limit makes edges of its own: samples that settle too
// slowly for it are black, and the rim of such a black patch is a contour
// of the count, which moves as the limit grows and so shows little in the
// next grid.
//
// The stages go as deep as double-double precision reaches, whatever the
// sequence's length, and each stage's choice depends only on the stages
// before it and the next: so a longer sequence from the same view aims at
// the very same centre, and keeps the frames a shorter one made.
//
// Where a grid cell is too small for doubles to place its probes, the
// stage is searched in double-double: the centre is kept whole, each probe
// is a double offset from it, every probe is iterated by the kernels'
// double-double versions and the pairs are halved whole.
#include "tools/aim.h"

#include <algorithm>
#include <array>
#include <cfloat>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <utility>
#include <vector>

#include "app/screen.h"
#include "engine/batch.h"
#include "engine/kernels.h"
#include "engine/newton.h"
#include "tools/options.h"
#include "tools/sequence.h"
#include "tools/viewtag.h"
#include "view/display.h"
#include "view/idle.h"
#include "view/viewstate.h"

namespace {

constexpr int grid_columns = 33, grid_rows = 25;  // square cells in a 4:3 view, 32 pixels of a frame each
// A stage every 10 steps: the next stage's view is 0.35 of this one's, 11
// cells across, so the boundary found lies well inside it.
constexpr int steps_per_stage = 10;
constexpr int looks_per_stage = 4;      // boundaries of a stage whose next grid is probed
constexpr int halvings_per_stage = 12;  // pairs of a stage halved, those passed over included
constexpr int halvings = 7;             // a pair found is halved to 1/128 of a cell
constexpr int probe_limit_cap = 65535;  // the explorer's own cap, so a huge limit keeps the probes short
constexpr int polish_steps = 5000;      // steps a settled sample may take on towards its point
constexpr double same_point = 0.1;      // points settled on closer than this are one end
constexpr double close_enough = 0.001;  // how near its point a settled sample's polish takes it

// The smallest cell a stage may have, in units of its largest coordinate:
// 64 units in the last place, in doubles and in double-doubles. Below it
// the probes of a halving would fall on the same numbers.
constexpr double double_cell = 64 * DBL_EPSILON, double_double_cell = 64 * DBL_EPSILON * DBL_EPSILON;

typedef dd<double> whole;  // a position kept whole: high part and low part

// How a probe's iteration ended. A sample the kernels call settled whose
// further steps run away tells nothing.
enum class end_kind { settled, escaped, limit, unknown };

struct point {
    whole x, y;
    end_kind kind;
    int count;       // the kernels' count, which the colour follows
    double at[2];    // where a settled sample settles
};

// Steps on from a settled sample's last iterate until the point it settles
// on is known to within close_enough: where the steps shrink by a ratio r
// each, what is left is about the last step times r / (1 - r). Gives up
// after polish_steps; false when it runs away.
template <class Correction>
bool polish(double z[2], Correction correction)
{
    double a = z[0], b = z[1], before = INFINITY;
    for (int i = 0; i < polish_steps; i++) {
        double da, db;
        correction(a, b, a * a, b * b, da, db);
        a -= da, b -= db;
        if (!(a * a + b * b < escape_bound))
            return false;
        const double step = std::fabs(da) + std::fabs(db), r = step / before;
        before = step;
        if (r < 1 && step * r < close_enough * (1 - r))
            break;
    }
    z[0] = a, z[1] = b;
    return true;
}

// The samples of the plane the sequence zooms: c with a fixed z0 in the
// parameter plane, z0 with a fixed c in the dynamic plane. A deep probe
// iterates in double-double, as a deep frame does, with c whole; a shallow
// one in doubles from the high parts, as a double frame does. The polish
// stays in doubles: points settled on 0.1 apart need no more.
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

    // The end of the sample at (x, y) whose iteration ended in o.
    point ended(whole x, whole y, const orbit &o, int limit) const
    {
        point p = {x, y, end_kind::escaped, o.n, {o.x, o.y}};
        if (!(o.x * o.x + o.y * o.y < escape_bound))
            return p;
        p.kind = end_kind::limit;
        if (o.n >= limit)
            return p;
        const mandel_terms<double> t = mandel_terms_of(x.hi, y.hi);
        const julia_terms<double> c = julia_terms_of(fixed[0].hi, fixed[1].hi);
        const bool settled = mode == 0 ? polish(p.at, [&](double a, double b, double a2, double b2, double &da,
                                                          double &db) { mandel_correction(t, a, b, a2, b2, da, db); })
                                       : polish(p.at, [&](double a, double b, double a2, double b2, double &da,
                                                          double &db) { julia_correction(c, a, b, a2, b2, da, db); });
        p.kind = settled ? end_kind::settled : end_kind::unknown;
        return p;
    }

    point at(whole x, whole y, int limit, bool deep) const { return ended(x, y, iterate(x, y, limit, deep), limit); }
};

// Whether two samples end alike; never for one that tells nothing.
bool alike(const point &a, const point &b)
{
    if (a.kind == end_kind::unknown || a.kind != b.kind)
        return false;
    return a.kind != end_kind::settled || std::hypot(a.at[0] - b.at[0], a.at[1] - b.at[1]) < same_point;
}

// Whether two samples end apart: both tell something, and not alike.
bool apart(const point &a, const point &b)
{
    return a.kind != end_kind::unknown && b.kind != end_kind::unknown && !alike(a, b);
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
// sum of doubles, the centre's low part left out as a double frame leaves
// it; in a deep one, whole.
whole moved(whole centre, double by, bool deep)
{
    return deep ? dd_add(centre, by) : whole{centre.hi + by, 0.0};
}

// The middle of two positions, likewise.
whole halfway(whole a, whole b, bool deep)
{
    return deep ? a + (b - a) * 0.5 : whole{a.hi + (b.hi - a.hi) * 0.5, 0.0};
}

// A stage's grid of probes about a centre.
struct grid {
    whole centre[2];
    std::vector<point> points;  // row by row

    grid(const probe &p, const stage &s, whole x, whole y);

    // The neighbours that end apart, nearest the centre first; ties go by
    // the grid's order, so the same grid always gives the same list.
    std::vector<std::array<point, 2>> pairs() const;

    // How much the grid shows: its different pairs of end and count.
    int detail() const;
};

// The probes go through the lane kernels, which give the bits the point
// kernels give, as one batch: a deep one's positions are offsets from the
// centre, as a deep frame's are from its origin.
grid::grid(const probe &p, const stage &s, whole x, whole y) : centre{x, y}
{
    static_assert(grid_columns * grid_rows <= BATCH_CAPACITY);
    std::vector<double> dx, dy;
    for (int j = 0; j < grid_rows; j++)
        for (int i = 0; i < grid_columns; i++) {
            dx.push_back(s.half[0] * double(2 * i - (grid_columns - 1)) / (grid_columns - 1));
            dy.push_back(s.half[1] * double(2 * j - (grid_rows - 1)) / (grid_rows - 1));
        }
    if (kernel_path == PATH_ONE_SAMPLE) {
        for (std::size_t k = 0; k < dx.size(); k++)
            points.push_back(p.at(moved(x, dx[k], s.deep), moved(y, dy[k], s.deep), s.limit, s.deep));
        return;
    }
    static sample_queue q;  // 90 KB: kept off the stack
    std::vector<std::uint32_t> colours(dx.size());
    begin_samples(q, p.mode != 0, s.limit, p.fixed[0].hi, p.fixed[1].hi);
    if (s.deep)
        deepen_samples(q, x, y, p.fixed[0], p.fixed[1]);
    for (std::size_t k = 0; k < dx.size(); k++)
        want_sample(q, s.deep ? dx[k] : moved(x, dx[k], false).hi, s.deep ? dy[k] : moved(y, dy[k], false).hi,
                    &colours[k], SHAPE_ONE);
    flush_samples(q);
    const sample_batch &b = q.batch;
    for (std::size_t k = 0; k < dx.size(); k++)
        points.push_back(p.ended(moved(x, dx[k], s.deep), moved(y, dy[k], s.deep),
                                 {b.n[k], b.steps[k], b.last_x[k], b.last_y[k]}, s.limit));
}

std::vector<std::array<point, 2>> grid::pairs() const
{
    struct found {
        long long distance;  // squared, in half cells
        int a, b;            // indices into the grid, in the grid's order
    };
    std::vector<found> near;
    for (int j = 0; j < grid_rows; j++)
        for (int i = 0; i < grid_columns; i++) {
            const int at = j * grid_columns + i;
            const long long dx = 2 * i - (grid_columns - 1), dy = 2 * j - (grid_rows - 1);
            if (i + 1 < grid_columns && apart(points[at], points[at + 1]))
                near.push_back({(dx + 1) * (dx + 1) + dy * dy, at, at + 1});
            if (j + 1 < grid_rows && apart(points[at], points[at + grid_columns]))
                near.push_back({dx * dx + (dy + 1) * (dy + 1), at, at + grid_columns});
        }
    std::stable_sort(near.begin(), near.end(), [](const found &f, const found &g) { return f.distance < g.distance; });
    std::vector<std::array<point, 2>> ends;
    for (const found &f : near)
        ends.push_back({points[f.a], points[f.b]});
    return ends;
}

// Each point's end is numbered by the first point alike to it, so that
// the count is the same whichever order alike points came in.
int grid::detail() const
{
    std::vector<const point *> ends;
    std::vector<std::pair<int, int>> seen;  // end, count
    for (const point &p : points) {
        std::size_t e = 0;
        while (e < ends.size() && !alike(*ends[e], p) && !(p.kind == end_kind::unknown && ends[e]->kind == p.kind))
            e++;
        if (e == ends.size())
            ends.push_back(&p);
        seen.push_back({int(e), p.count});
    }
    std::sort(seen.begin(), seen.end());
    return int(std::unique(seen.begin(), seen.end()) - seen.begin());
}

// Halves a pair that ends apart, keeping its ends apart, and sets middle
// to the last pair's middle. False when a middle tells nothing.
bool halve(const probe &p, const stage &s, std::array<point, 2> &pair, whole middle[2])
{
    point &a = pair[0], &b = pair[1];
    for (int i = 0; i < halvings; i++) {
        const point m = p.at(halfway(a.x, b.x, s.deep), halfway(a.y, b.y, s.deep), s.limit, s.deep);
        if (m.kind == end_kind::unknown)
            return false;
        (alike(a, m) ? a : b) = m;
    }
    middle[0] = halfway(a.x, b.x, s.deep), middle[1] = halfway(a.y, b.y, s.deep);
    return true;
}

// Whether a halved pair with the limit on one side is only a contour of
// the count: the rim of a patch whose samples settle too slowly for the
// limit, and settle alike the other side given twice as many steps. Such
// a rim is smooth at every depth, and where the limit grows it moves.
bool contour(const probe &p, const stage &s, const std::array<point, 2> &pair)
{
    const int slow = pair[0].kind == end_kind::limit ? 0 : 1;
    if (pair[slow].kind != end_kind::limit || pair[1 - slow].kind == end_kind::limit)
        return false;
    const int longer = s.limit > INT_MAX / 2 ? INT_MAX : 2 * s.limit;
    return alike(p.at(pair[slow].x, pair[slow].y, longer, s.deep), pair[1 - slow]);
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

// The stages, taken by the explorer's own zoom steps, each with the limit
// its frame iterates to (the parameter-plane view's in every mode, or the
// one --limit-end gives). Zooming in: every steps_per_stage steps, as deep
// as double-double reaches, whatever the sequence's length. Zooming out,
// every frame holds the first, the deepest, and the stages are the views
// every steps_per_stage steps, narrowest first, each a search of its own,
// so that the centre moves no further than to the nearest boundary the
// narrowest of them with one shows; a longer sequence only adds wider ones. A view too small for doubles to tell a
// grid cell's corners apart is searched in double-double; views too small
// for that, or too wide for doubles, are left out. The view state is left
// as it was.
std::vector<stage> stages_of(const options &o)
{
    picture_record now;
    capture_views(now);
    const int was_calc = calc;
    do_julia = o.mode;
    const zoomed_view v = view_of(o.mode);
    const double scale = std::max({1.0, std::fabs(v.mid_x), std::fabs(v.mid_y)}), first_limit = maxit;
    const auto usable = [&](double half) {
        const double cell = std::fabs(half) / grid_columns;
        return cell > double_double_cell * scale && cell < DBL_MAX / 4;
    };
    std::vector<stage> stages;
    const int last = o.zoom_button == 1 ? MAX_ZOOM_STEPS : o.zoom_steps;
    for (int step = 0; step <= last && (usable(v.half_x) || o.zoom_button == 4); step++) {
        if (step % steps_per_stage == 0) {
            const double limit = o.has_limit_end ? sequence_limit(o, first_limit, step) : maxit;
            const bool deep = !(std::fabs(v.half_x) / grid_columns > double_cell * scale);
            if (usable(v.half_x))
                stages.push_back({step, {v.half_x, v.half_y}, std::min(iteration_limit(limit), probe_limit_cap), deep});
        }
        zoom_step(o.zoom_button);
    }
    restore_views(now);
    calc = was_calc;
    return stages;
}

// Goes down the stages from a grid about the centre given, at each stage
// choosing among a few boundaries the one whose next grid shows the most
// detail, and going on from that grid. Pairs inside the next stage's view
// about a boundary already looked at are passed over, as that view was
// probed. The boundary chosen at the deepest stage that found one sets the
// centre.
struct search {
    const probe &p;
    const std::vector<stage> &stages;
    int deepest = -1;  // the deepest stage that found a boundary
    whole centre[2] = {};
    std::array<point, 2> sides = {};  // the ends either side of that boundary

    void down(whole x, whole y)
    {
        std::optional<grid> g;
        if (!stages.empty())
            g.emplace(p, stages[0], x, y);
        for (std::size_t s = 0; g && s < stages.size(); s++)
            g = choose(s, *g);
    }

    // The boundary of stage s to follow, and the next stage's grid about it:
    // none past the last stage or when the stage shows no boundary.
    std::optional<grid> choose(std::size_t s, const grid &g)
    {
        const std::vector<std::array<point, 2>> pairs = g.pairs();
        const bool last = s + 1 == stages.size();
        const stage &here = stages[s];
        std::vector<std::array<whole, 2>> looked;
        std::optional<grid> next;
        int halved = 0, best = -1;
        for (std::size_t t = 0; t < pairs.size() && int(looked.size()) < looks_per_stage && halved < halvings_per_stage;
             t++) {
            const whole mx = halfway(pairs[t][0].x, pairs[t][1].x, here.deep),
                        my = halfway(pairs[t][0].y, pairs[t][1].y, here.deep);
            const auto probed = [&](const std::array<whole, 2> &m) {
                return std::fabs((mx - m[0]).hi) < std::fabs(stages[s + 1].half[0]) &&
                       std::fabs((my - m[1]).hi) < std::fabs(stages[s + 1].half[1]);
            };
            if (!last && std::any_of(looked.begin(), looked.end(), probed))
                continue;
            std::array<point, 2> pair = pairs[t];
            whole middle[2];
            halved++;
            if (!halve(p, here, pair, middle) || contour(p, here, pair))
                continue;
            looked.push_back({middle[0], middle[1]});
            std::optional<grid> look;
            if (!last)
                look.emplace(p, stages[s + 1], middle[0], middle[1]);
            // A next grid without a boundary ends the search there.
            const int detail = last ? 0 : look->pairs().empty() ? 0 : look->detail();
            if (detail > best) {
                best = detail, next = std::move(look);
                deepest = int(s), centre[0] = middle[0], centre[1] = middle[1], sides = pair;
            }
            if (last)
                break;
        }
        return next;
    }
};

// What the result says of an end: 0 settled, 1 escaped, 2 the limit.
aim_result::side side_of(const point &p)
{
    return {p.kind == end_kind::escaped ? 1 : p.kind == end_kind::limit ? 2 : 0, {p.at[0], p.at[1]}};
}

}  // namespace

// A grid over the view the record shows, as the aim probes a stage.
double black_that_more_steps_end(const picture_record &r, double more)
{
    const bool dynamic = r.mode != 0;
    const double *view = dynamic ? r.dynamic : r.parameter, *low = r.low + (dynamic ? 2 : 0);
    const probe p = dynamic ? probe{2, {{r.parameter[0], r.low[0]}, {r.parameter[1], r.low[1]}}}
                            : probe{0, {{r.z0[0], 0.0}, {r.z0[1], 0.0}}};
    const double scale = std::max({1.0, std::fabs(view[0]), std::fabs(view[1])});
    const int limit = iteration_limit(r.parameter[4]);
    if (limit < 1 || !(std::fabs(view[2]) / grid_columns > double_double_cell * scale))
        return 0;
    stage s = {0, {view[2], view[3]}, limit, !(std::fabs(view[2]) / grid_columns > double_cell * scale)};
    const grid now(p, s, {view[0], low[0]}, {view[1], low[1]});
    s.limit = std::max(limit, iteration_limit(more));
    const grid longer(p, s, {view[0], low[0]}, {view[1], low[1]});
    int ended = 0;
    for (std::size_t k = 0; k < now.points.size(); k++)
        ended += now.points[k].kind == end_kind::limit && longer.points[k].kind != end_kind::limit;
    return double(ended) / double(now.points.size());
}

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
    r.searched = !stages.empty();
    whole centre[2] = {};
    auto take = [&](const search &s, const std::vector<stage> &searched) {
        r.found = s.deepest >= 0;
        if (!r.found)
            return;
        r.deepest_step = searched[s.deepest].step, centre[0] = s.centre[0], centre[1] = s.centre[1];
        r.sides[0] = side_of(s.sides[0]), r.sides[1] = side_of(s.sides[1]);
    };
    if (o.zoom_button == 1) {
        search s{p, stages};
        s.down(given[0], given[1]);
        take(s, stages);
        r.all_the_way = r.found && r.deepest_step + steps_per_stage > o.zoom_steps;
    }
    for (std::size_t i = 0; o.zoom_button == 4 && i < stages.size() && !r.found; i++) {
        const std::vector<stage> one = {stages[i]};
        search s{p, one};
        s.down(given[0], given[1]);
        take(s, one);
        r.all_the_way = r.found;
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

// An end as --stats names it.
std::string end_text(const aim_result::side &s)
{
    if (s.end == 1)
        return "samples that escape";
    if (s.end == 2)
        return "samples that reach the limit";
    char text[96];
    std::snprintf(text, sizeof text, "samples settling near %.4g%+.4gi", s.at[0], s.at[1]);
    return text;
}

void report_aim(const aim_result &r, bool stats)
{
    if (!r.searched)
        std::fputs("rootzoom-render: warning: --aim cannot search the view: it is too small for double-double "
                   "precision to tell a grid of probes over it apart, or it has no finite extent; the centre stays "
                   "where it is\n",
                   stderr);
    else if (!r.found)
        std::fputs("rootzoom-render: warning: --aim found no boundary in the view: all its probes end alike (settling "
                   "on one point, escaping or reaching the limit); the centre stays where it is\n",
                   stderr);
    else if (!r.all_the_way)
        std::fprintf(stderr,
                     "rootzoom-render: warning: --aim found no boundary that lasts past step %d; the frames after it "
                     "may show one colour\n",
                     r.deepest_step);
    if (!r.found || !stats)
        return;
    std::fprintf(stderr, "aimed at %s %s", exact_text(r.centre[0]).c_str(), exact_text(r.centre[1]).c_str());
    if (r.centre_lo[0] != 0 || r.centre_lo[1] != 0)
        std::fprintf(stderr, " (low parts %s %s)", exact_text(r.centre_lo[0]).c_str(),
                     exact_text(r.centre_lo[1]).c_str());
    std::fprintf(stderr, ", %.1f pixels from the centre given, on a boundary between %s and %s, followed to step %d\n",
                 r.pixels, end_text(r.sides[0]).c_str(), end_text(r.sides[1]).c_str(), r.deepest_step);
}
