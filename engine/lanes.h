// lanes.h -- the lane kernel: many samples iterated side by side, each lane refilled when done
//
// Included by one file per instruction set, each compiling it with its own
// vector width. Internal linkage keeps those copies apart.
#pragma once

#include <type_traits>

#include "engine/batch.h"
#include "engine/newton.h"
#include "engine/reference.h"

namespace {

// What K groups of N lanes iterate on, one vector per group (two in
// double-double, where Num is a pair of vectors).
template <class V, class Num, class M, int K>
struct lane_groups {
    Num a[K], b[K], a2[K], b2[K];  // the iterate and its squares
    V n[K];                        // the count
    M alive[K];                    // lanes still iterating
};

// The same with each lane's moves of its last step and of the step before,
// as the stop test measures them, for the smooth colourings. The count
// pictures' kernels keep the groups above, and compile as they did.
template <class V, class Num, class M, int K>
struct lane_groups_moving : lane_groups<V, Num, M, K> {
    V move[K], before[K];
};

template <class V, class Num, class Isa, int K, bool Moves>
using groups_of = std::conditional_t<Moves, lane_groups_moving<V, Num, typename Isa::M, K>,
                                     lane_groups<V, Num, typename Isa::M, K>>;

// Selection by a lane mask, of vectors or of double-doubles part by part.
template <class Isa>
struct lane_choice {
    using V = typename Isa::V;
    using M = typename Isa::M;
    static V choose(M m, V x, V y) { return Isa::select(m, x, y); }
    static dd<V> choose(M m, dd<V> x, dd<V> y) { return {Isa::select(m, x.hi, y.hi), Isa::select(m, x.lo, y.lo)}; }
    static V step_where(M m, V a, V d) { return Isa::subtract_where(m, a, d); }
    static dd<V> step_where(M m, dd<V> a, dd<V> d) { return choose(m, a - d, a); }
};

// Stride steps of every group, each followed by the stop tests. The K
// groups' steps are independent, and the processor overlaps their long
// dependency chains (two divisions among them). A lane that finishes is
// frozen by its mask: the correction is not subtracted there, so it keeps
// its last iterate, and its count stays. Each lane follows the one-sample
// loop exactly: the escaping step is not counted, and the limit is tested
// before convergence.
template <class V, class Num, int K, int Stride, bool Julia, bool Moves, class Isa, class Terms>
inline void advance_tested(groups_of<V, Num, Isa, K, Moves> &s, const mandel_terms<Num> *t, const Terms &c,
                           V limit)
{
    using M = typename Isa::M;
    using L = lane_choice<Isa>;
    for (int r = 0; r < Stride; r++)
        for (int g = 0; g < K; g++) {
            Num da, db;
            if constexpr (Julia)
                julia_correction(c, s.a[g], s.b[g], s.a2[g], s.b2[g], da, db);
            else
                mandel_correction(t[g], s.a[g], s.b[g], s.a2[g], s.b2[g], da, db);
            const M go = s.alive[g];
            const Num na = L::step_where(go, s.a[g], da), nb = L::step_where(go, s.b[g], db);
            const Num na2 = na * na, nb2 = nb * nb;
            const M counts = go & Isa::less(escape_measure(na, nb, na2, nb2), V{} + escape_bound);
            const M converged = Isa::at_most(magnitude(high_part(na) - high_part(s.a[g])), V{} + tolerance) &
                                Isa::at_most(magnitude(high_part(nb) - high_part(s.b[g])), V{} + tolerance);
            if constexpr (Moves) {
                const V move = Isa::max(magnitude(high_part(na) - high_part(s.a[g])),
                                        magnitude(high_part(nb) - high_part(s.b[g])));
                s.before[g] = Isa::select(go, s.move[g], s.before[g]);
                s.move[g] = Isa::select(go, move, s.move[g]);
            }
            s.n[g] = Isa::select(counts, s.n[g] + 1.0, s.n[g]);
            s.alive[g] = counts & Isa::less(s.n[g], limit) & ~converged;
            s.a[g] = na, s.b[g] = nb, s.a2[g] = na2, s.b2[g] = nb2;
        }
}

// What the steps of a block leave behind, group by group: the iterate
// before and after each step, the largest escape measure, formed as the
// escape test forms it, and the smallest magnitude of the correction's
// real part.
template <class V, int K, int Stride>
struct block_trace {
    V a[Stride + 1][K], b[Stride + 1][K];
    V escape[K], moved[K];
};

// A step converges where it moves the iterate by at most the tolerance in
// both parts. The correction subtracted differs from that move by the
// rounding of the subtraction alone, half a unit in the last place of the
// new iterate: under 1.2e-13 where it has not escaped (|z| < 1000). So
// where no correction's real part goes past this bound, no step of the
// block converged. The real part alone is enough to tell, and costs half
// as much: where it is that small and the imaginary part is not, the
// false alarm only costs a replay, as the generous margin does.
constexpr double correction_bound = tolerance + 1e-9;

// Stride steps of every group, with no stop tests in between: a block, in
// doubles. Every lane steps, finished or not; the trace tells afterwards
// whether any lane would have stopped, and where.
template <class V, class Num, int K, int Stride, bool Julia, class Isa, class Terms>
inline void advance_block(lane_groups<V, Num, typename Isa::M, K> &s, const mandel_terms<Num> *t, const Terms &c,
                          block_trace<V, K, Stride> &h)
{
    static_assert(!is_dd<Num>, "the correction's bound holds for steps in doubles");
    // The groups' state in locals, and every loop over the groups unrolled,
    // so that it stays in registers across the block.
    Num a[K], b[K], a2[K], b2[K];
    V escape[K], moved[K];
#pragma GCC unroll 4
    for (int g = 0; g < K; g++) {
        a[g] = s.a[g], b[g] = s.b[g], a2[g] = s.a2[g], b2[g] = s.b2[g];
        h.a[0][g] = a[g], h.b[0][g] = b[g];
        escape[g] = V{}, moved[g] = V{} + __builtin_inf();
    }
    for (int r = 1; r <= Stride; r++)
#pragma GCC unroll 4
        for (int g = 0; g < K; g++) {
            Num da, db;
            if constexpr (Julia)
                julia_correction(c, a[g], b[g], a2[g], b2[g], da, db);
            else
                mandel_correction(t[g], a[g], b[g], a2[g], b2[g], da, db);
            const Num na = a[g] - da, nb = b[g] - db;
            const Num na2 = na * na, nb2 = nb * nb;
            escape[g] = Isa::max(escape[g], escape_measure(na, nb, na2, nb2));
            moved[g] = Isa::min(moved[g], magnitude(da));
            h.a[r][g] = na, h.b[r][g] = nb;
            a[g] = na, b[g] = nb, a2[g] = na2, b2[g] = nb2;
        }
#pragma GCC unroll 4
    for (int g = 0; g < K; g++) {
        s.a[g] = a[g], s.b[g] = b[g], s.a2[g] = a2[g], s.b2[g] = b2[g];
        h.escape[g] = escape[g], h.moved[g] = moved[g];
    }
}

// The lanes of group g that may have escaped or converged inside the block
// just stepped, or whose count is not below the limit. Maximum and minimum
// may drop a not-a-number, but one never leaves the iterate again, and a
// step measure is one only between two infinite iterates, which escape.
// So where the last iterate is a number, the summaries are exact.
template <class V, class Num, int K, int Stride, class Isa>
inline unsigned may_have_stopped(const lane_groups<V, Num, typename Isa::M, K> &s, int g,
                                 const block_trace<V, K, Stride> &h, V limit)
{
    const V a = h.a[Stride][g], b = h.b[Stride][g];
    const auto clear = Isa::less(h.escape[g], V{} + escape_bound) & Isa::less(V{} + correction_bound, h.moved[g]) &
                       Isa::at_most(a, a) & Isa::at_most(b, b) & Isa::less(s.n[g], limit);
    return Isa::bits(s.alive[g] & ~clear);
}

// The move of step r of group g's block, from its trace, as the tested
// steps measure it: the larger of the two parts' moves.
template <class V, int K, int Stride, class Isa>
inline V step_move(const block_trace<V, K, Stride> &h, int g, int r)
{
    return Isa::max(magnitude(h.a[r][g] - h.a[r - 1][g]), magnitude(h.b[r][g] - h.b[r - 1][g]));
}

// Group g's lanes after a block in which none escaped or converged, their
// counts already the block's end: those whose count reached the limit
// inside it stop at the step that made it the limit, with that step's
// iterate, as the tested loop stops them. No replay is needed for them: in
// the deep view, where many samples run to the limit, three in ten of the
// replays were for such lanes alone.
template <class V, class Num, int K, int Stride, bool Moves, class Isa>
inline void stop_at_limit(groups_of<V, Num, Isa, K, Moves> &s, int g, const block_trace<V, K, Stride> &h, V limit)
{
    const unsigned lanes = Isa::bits(s.alive[g] & ~Isa::less(s.n[g], limit));
    for (unsigned rest = lanes; rest; rest &= rest - 1) {
        const int l = __builtin_ctz(rest);
        const int r = Stride - int(s.n[g][l] - limit[l]);  // from 1 to Stride: the count was below the limit
        s.a[g][l] = h.a[r][g][l], s.b[g][l] = h.b[r][g][l];
        s.n[g][l] = limit[l];
        if constexpr (Moves) {  // a lane that stops at the block's first step keeps its move before it
            s.before[g][l] = r > 1 ? step_move<V, K, Stride, Isa>(h, g, r - 1)[l] : s.move[g][l];
            s.move[g][l] = step_move<V, K, Stride, Isa>(h, g, r)[l];
        }
    }
    s.alive[g] = s.alive[g] & ~Isa::mask(lanes);
}

// Group g's block once more from its trace, with the one-sample loop's
// tests after every step: each lane stops where that loop stops, keeping
// that step's iterate and count. The escaping step is not counted, and the
// limit is tested before convergence. Until a lane stops its count is the
// block's start plus the steps, so each step's tests stand alone and only
// the lanes still going carry over from one to the next. Lanes that did
// not stop keep the block's end.
template <class V, class Num, int K, int Stride, bool Moves, class Isa>
inline void replay(groups_of<V, Num, Isa, K, Moves> &s, int g, const block_trace<V, K, Stride> &h, V limit)
{
    using M = typename Isa::M;
    M go = s.alive[g];
    const V start = s.n[g];
    V n = start + double(Stride), x = h.a[Stride][g], y = h.b[Stride][g];
    // With Moves: lanes that go on through the block end with its last move
    // (the move before it is never reported: the next step replaces it).
    [[maybe_unused]] V move, before;
    if constexpr (Moves)
        move = step_move<V, K, Stride, Isa>(h, g, Stride), before = s.before[g];
#pragma GCC unroll 16
    for (int r = 1; r <= Stride; r++) {
        const V na = h.a[r][g], nb = h.b[r][g], counted = start + double(r);
        const M counts = Isa::less(escape_measure(na, nb, na * na, nb * nb), V{} + escape_bound);
        const M converged = Isa::at_most(magnitude(na - h.a[r - 1][g]), V{} + tolerance) &
                            Isa::at_most(magnitude(nb - h.b[r - 1][g]), V{} + tolerance);
        const M stops = go & ~(counts & Isa::less(counted, limit) & ~converged);
        n = Isa::select(stops, Isa::select(counts, counted, counted - 1.0), n);
        x = Isa::select(stops, na, x), y = Isa::select(stops, nb, y);
        if constexpr (Moves)  // a lane that stops at the block's first step keeps its move before it
            before = Isa::select(stops, r > 1 ? step_move<V, K, Stride, Isa>(h, g, r - 1) : s.move[g], before),
            move = Isa::select(stops, step_move<V, K, Stride, Isa>(h, g, r), move);
        go = go & ~stops;
    }
    if constexpr (Moves)
        s.move[g] = move, s.before[g] = before;
    s.a[g] = x, s.b[g] = y;
    s.n[g] = n;
    s.alive[g] = go;
}

// Stride steps of every group in one block, then the replay of the groups
// where a lane may have escaped or converged inside it; in the others, the
// stops of lanes that reach the limit. Kept out of line, so that the loop
// around it compiles as it does without blocks.
template <class V, class Num, int K, int Stride, bool Julia, bool Moves, class Isa, class Terms>
__attribute__((noinline)) void advance_in_block(groups_of<V, Num, Isa, K, Moves> &s, const mandel_terms<Num> *t,
                                                const Terms &c, V limit)
{
    block_trace<V, K, Stride> trace;
    advance_block<V, Num, K, Stride, Julia, Isa>(s, t, c, trace);
    for (int g = 0; g < K; g++)
        if (may_have_stopped<V, Num, K, Stride, Isa>(s, g, trace, limit))
            replay<V, Num, K, Stride, Moves, Isa>(s, g, trace, limit);
        else {
            s.n[g] = s.n[g] + double(Stride);
            stop_at_limit<V, Num, K, Stride, Moves, Isa>(s, g, trace, limit);
            if constexpr (Moves)  // the lanes that go on end the block with its last move
                s.move[g] = Isa::select(s.alive[g], step_move<V, K, Stride, Isa>(trace, g, Stride), s.move[g]);
        }
}

// One round of every group, and how many steps it took: a block of
// 2 x Stride steps in doubles while fewer than half a lane stops per group
// and block (stops, in 256ths, says how many lately), else Stride steps
// tested one by one.
template <class V, class Num, int K, int Stride, bool Julia, bool Moves, class Isa, class Terms>
inline int advance_round(groups_of<V, Num, Isa, K, Moves> &s, const mandel_terms<Num> *t, const Terms &c, V limit,
                         int stops)
{
    if constexpr (!is_dd<Num>) {
        if (lane_blocks == LANE_BLOCKS_ALWAYS || (lane_blocks == LANE_BLOCKS_AUTO && stops < 128)) {
            advance_in_block<V, Num, K, 2 * Stride, Julia, Moves, Isa>(s, t, c, limit);
            return 2 * Stride;
        }
    }
    advance_tested<V, Num, K, Stride, Julia, Moves, Isa>(s, t, c, limit);
    return Stride;
}

// K groups of N lanes are in flight. They step Stride times between two
// looks at which lanes have finished, so that no branch waits on every
// step's result: a finished lane waits up to Stride - 1 steps, frozen, but
// the looks cost less often. On the processor measured, 8 steps were best
// for shallow and deep views alike. At a look a group reports its
// finished lanes and fills them with the next queued samples, all at
// once, as vectors: as cheap as filling one, and no lane stays idle while
// samples are queued. Only the steps computed are not counted as they go:
// every step but an escaping one is counted, so they are the count plus
// one if the last iterate escaped.
//
// Where lanes run long, the tests and masks of every step cost more than
// the few lanes that stop: while under half a lane stops per group and
// block, the groups step 2 x Stride times in a block without them, and a
// group where a lane may have escaped or converged inside the block
// replays the tests from the block's trace; a lane that only reached the
// limit needs none. Where lanes stop often nearly every block would
// be replayed, and the groups test every step. In double-double, where
// the step costs many times its tests, blocks measured slower, and the
// groups always test every step.
//
// Isa supplies what the vector extensions leave to the instruction set:
// its lane mask type M (with & | ~), comparisons giving one, selection by
// one, subtraction where one is set, the larger and the smaller of two
// vectors lane by lane, a mask as an integer with one bit per lane and
// back, and a load of consecutive doubles into the lanes a mask selects.
//
// Num is V, or dd<V> in a deep batch, whose positions are offsets that
// each lane adds to the origin as the one-sample path does.
template <class V, class Num, int N, int K, int Stride, bool Julia, bool Moves, class Isa>
long long run_lanes(sample_batch &b)
{
    using M = typename Isa::M;
    using L = lane_choice<Isa>;
    constexpr unsigned all_lanes = (1u << N) - 1;
    groups_of<V, Num, Isa, K, Moves> s;
    unsigned held[K];  // lanes holding a sample not yet reported
    mandel_terms<Num> t[K];
    int owner[K][N];
    auto whole = [](dd<double> v) { return dd<V>{splat<V>(v.hi), splat<V>(v.lo)}; };
    auto position = [&](V offset, dd<double> origin) {
        if constexpr (is_dd<Num>)
            return dd_add(whole(origin), offset);
        else
            return offset;
    };
    auto fixed = [&](double value, dd<double> deep_value) {
        if constexpr (is_dd<Num>)
            return whole(deep_value);
        else
            return splat<V>(value);
    };
    const auto c = [&] {
        if constexpr (is_dd<Num>)
            return julia_terms_of(whole(b.deep_other_x), whole(b.deep_other_y));
        else
            return julia_terms_of(b.other_x, b.other_y);
    }();
    const V limit = V{} + double(b.maxiter);
    int next = 0;
    long long group_steps = 0;
    // The lanes that stopped per group and block lately, in 256ths, each
    // round weighing an eighth: while fewer than half a lane stops in a
    // block, most blocks stand, and the groups step in blocks. A batch
    // goes on from where the one before it left off: the batches of a
    // pass, and of the passes after it, mostly lie side by side in the
    // picture, and run alike. The first batch of a queue starts out
    // testing every step, as if a lane stopped in every block.
    int stops = b.stops_lately;

    // The lowest idle lanes of group g take the next samples of the queue.
    auto refill = [&](int g) {
        unsigned take = all_lanes & ~held[g];
        for (int surplus = __builtin_popcount(take) - (b.count - next); surplus > 0; surplus--)
            take &= ~(1u << (31 - __builtin_clz(take)));
        if (!take)
            return;
        const V x = Isa::expand(V{}, take, &b.x[next]), y = Isa::expand(V{}, take, &b.y[next]);
        for (unsigned rest = take; rest; rest &= rest - 1)
            owner[g][__builtin_ctz(rest)] = next++;
        const M fresh = Isa::mask(take);
        auto fill = [fresh](auto &lanes, auto with) { lanes = L::choose(fresh, with, lanes); };
        held[g] |= take;
        s.alive[g] = s.alive[g] | fresh;
        fill(s.n[g], V{});
        if constexpr (Moves)
            fill(s.move[g], V{} + __builtin_inf()), fill(s.before[g], V{} + __builtin_inf());
        const Num px = position(x, b.origin_x), py = position(y, b.origin_y);
        if constexpr (Julia) {
            fill(s.a[g], px), fill(s.b[g], py);
        } else {
            fill(s.a[g], fixed(b.other_x, b.deep_other_x)), fill(s.b[g], fixed(b.other_y, b.deep_other_y));
            const mandel_terms<Num> f = mandel_terms_of(px, py);
            mandel_terms<Num> &o = t[g];
            fill(o.kn, f.kn), fill(o.kd, f.kd), fill(o.kdi, f.kdi), fill(o.x2m2, f.x2m2), fill(o.x4m8, f.x4m8);
            fill(o.y4, f.y4), fill(o.xm1, f.xm1), fill(o.y2, f.y2), fill(o.xy2, f.xy2);
        }
        s.a2[g] = s.a[g] * s.a[g], s.b2[g] = s.b[g] * s.b[g];
    };
    auto report = [&](int g, unsigned finished) {
        for (; finished; finished &= finished - 1) {
            const int l = __builtin_ctz(finished), k = owner[g][l];
            double x = high_part(s.a[g])[l], y = high_part(s.b[g])[l];
            if constexpr (is_dd<Num>)  // as the deep point kernels report them
                x = x == x ? x : __builtin_nan(""), y = y == y ? y : __builtin_nan("");
            b.n[k] = int(s.n[g][l]);
            b.steps[k] = b.n[k] + !(x * x + y * y < escape_bound);
            b.last_x[k] = x, b.last_y[k] = y;
            if constexpr (Moves)
                b.move[k] = s.move[g][l], b.move_before[k] = s.before[g][l];
        }
    };
    for (int g = 0; g < K; g++) {
        s.a[g] = s.b[g] = Num{};
        s.n[g] = V{};
        s.alive[g] = M{};
        if (!Julia)
            t[g] = mandel_terms_of(Num{}, Num{});
        held[g] = 0;
        refill(g);
    }
    for (;;) {
        const int steps = advance_round<V, Num, K, Stride, Julia, Moves, Isa>(s, t, c, limit, stops);
        group_steps += steps * K;
        unsigned any_held = 0;
        int stopped = 0;
        for (int g = 0; g < K; g++) {
            const unsigned finished = held[g] & ~Isa::bits(s.alive[g]);
            stopped += __builtin_popcount(finished);
            held[g] &= ~finished;
            report(g, finished);
            if (held[g] != all_lanes)
                refill(g);
            any_held |= held[g];
        }
        if (!any_held)
            break;
        // Per group and block of 2 x Stride steps: no division by the
        // steps, which costs as much as several of a round's steps.
        stops += (stopped * 256 * (steps == Stride ? 2 : 1) / K - stops) / 8;
    }
    if constexpr (!is_dd<Num>)
        b.stops_lately = stops;
    return group_steps * N;
}

// What K groups of N lanes carry in perturbation: the difference delta
// from the reference orbit, the reference's iterate Z_n at each lane's own
// step n (lanes start at different times), the count, the steps each lane
// has taken since it was filled (its count while it iterates, and on after
// it stops), the lanes still iterating, the lanes lost to perturbation,
// and in the parameter plane each lane's own terms in its difference of c.
template <class V, class M, int K>
struct perturbed_groups {
    V dx[K], dy[K];
    V zx[K], zy[K];
    V n[K], taken[K];
    M alive[K], lost[K];
    offset_terms<V> o[K];
};

// The same with each lane's moves of its last step and of the step
// before, for the smooth colourings, as lane_groups_moving keeps them.
template <class V, class M, int K>
struct perturbed_groups_moving : perturbed_groups<V, M, K> {
    V move[K], before[K];
};

template <class V, class Isa, int K, bool Moves>
using perturbed_of = std::conditional_t<Moves, perturbed_groups_moving<V, typename Isa::M, K>,
                                        perturbed_groups<V, typename Isa::M, K>>;

// The reference's iterates for a round of Stride steps of group g: for
// each lane the Stride iterates after the one at its step, each lane's
// read at once as consecutive doubles and turned into one vector per
// step. The table's padding past its end stands for the clamping of the
// one-sample path: a lane that would read past the end reads the last
// iterate, and a lane past it starts there.
template <class V, int N, int K, int Stride, class Isa>
inline void read_ahead(const perturbed_groups<V, typename Isa::M, K> &s, int g, const reference_orbit &r,
                       V (&x)[Stride], V (&y)[Stride])
{
    static_assert(Stride <= reference_padding, "a round reads at most the padding past the table's end");
    const double *rows_x[N], *rows_y[N];
#pragma GCC unroll 8
    for (int l = 0; l < N; l++) {
        const double next = s.taken[g][l] + 1.0;
        const int at = next < r.length ? int(next) : r.length;
        rows_x[l] = r.x.data() + at, rows_y[l] = r.y.data() + at;
    }
    Isa::columns(rows_x, x), Isa::columns(rows_y, y);
}

// Stride perturbed steps of every group, each followed by the tests, lane
// by lane as perturbed_orbit makes them. Each lane reads the reference's
// next iterate at its own step, read ahead for the round. A lane that
// needs an iterate past the end, unless the reference settled there, is
// lost before its step counts, as is one whose iterate falls far below
// the reference's.
template <class V, int N, int K, int Stride, bool Julia, bool Moves, class Isa>
inline void advance_perturbed(perturbed_of<V, Isa, K, Moves> &s, const reference_orbit &r, const perturb_terms &p,
                              V limit)
{
    using M = typename Isa::M;
    const V last = V{} + double(r.length);
    const bool settled = r.settled;
    V ahead_x[K][Stride], ahead_y[K][Stride];
    for (int g = 0; g < K; g++)
        read_ahead<V, N, K, Stride, Isa>(s, g, r, ahead_x[g], ahead_y[g]);
    for (int step = 0; step < Stride; step++)
        for (int g = 0; g < K; g++) {
            const M go = s.alive[g];
            const V a1 = ahead_x[g][step], b1 = ahead_y[g][step], taken = s.taken[g] + 1.0;
            s.taken[g] = taken;
            const V q0x = s.zx[g] - a1, q0y = s.zy[g] - b1;
            V cx, cy;
            perturbed_difference<Julia>(p, s.o[g], s.zx[g], s.zy[g], q0x, q0y, s.dx[g], s.dy[g], cx, cy);
            const V ndx = Isa::subtract_where(go, s.dx[g], cx), ndy = Isa::subtract_where(go, s.dy[g], cy);
            const V ex = a1 + ndx, ey = b1 + ndy, m = ex * ex + ey * ey;
            const M counts = go & Isa::less(m, V{} + escape_bound);
            M lost = counts & Isa::less(m, glitch_ratio * (a1 * a1 + b1 * b1));
            if (!settled)
                lost = lost | (go & Isa::less(last, taken));
            const V move_a = perturbed_move(q0x, ndx - s.dx[g]), move_b = perturbed_move(q0y, ndy - s.dy[g]);
            const M converged = Isa::at_most(move_a, V{} + tolerance) & Isa::at_most(move_b, V{} + tolerance);
            if constexpr (Moves) {
                s.before[g] = Isa::select(go, s.move[g], s.before[g]);
                s.move[g] = Isa::select(go, Isa::max(move_a, move_b), s.move[g]);
            }
            s.n[g] = Isa::select(counts, taken, s.n[g]);
            s.alive[g] = counts & ~lost & Isa::less(taken, limit) & ~converged;
            s.lost[g] = s.lost[g] | lost;
            s.zx[g] = Isa::select(go, a1, s.zx[g]), s.zy[g] = Isa::select(go, b1, s.zy[g]);
            s.dx[g] = ndx, s.dy[g] = ndy;
        }
}

// The lane kernel of a perturbed batch: as run_lanes, with the groups'
// looks, reports and refills every Stride steps, each step tested. A lane
// lost to perturbation reports an n of -1, and its sample goes on in
// double-double after the batch. The last iterate is Z_n + delta, as the
// one-sample path forms it, every not-a-number the same one.
template <class V, int N, int K, int Stride, bool Julia, bool Moves, class Isa>
long long run_perturbed(sample_batch &b)
{
    using M = typename Isa::M;
    constexpr unsigned all_lanes = (1u << N) - 1;
    const reference_orbit &r = *b.reference;
    const perturb_terms p = perturb_terms_of(r.c_x, r.c_y);
    perturbed_of<V, Isa, K, Moves> s;
    unsigned held[K];
    int owner[K][N];
    const V limit = V{} + double(b.maxiter);
    int next = 0;
    long long group_steps = 0;
    auto refill = [&](int g) {
        unsigned take = all_lanes & ~held[g];
        for (int surplus = __builtin_popcount(take) - (b.count - next); surplus > 0; surplus--)
            take &= ~(1u << (31 - __builtin_clz(take)));
        if (!take)
            return;
        const V gx = Isa::expand(V{}, take, &b.x[next]) - r.offset_x, gy = Isa::expand(V{}, take, &b.y[next]) - r.offset_y;
        for (unsigned rest = take; rest; rest &= rest - 1)
            owner[g][__builtin_ctz(rest)] = next++;
        const M fresh = Isa::mask(take);
        auto fill = [fresh](V &lanes, V with) { lanes = Isa::select(fresh, with, lanes); };
        held[g] |= take;
        s.alive[g] = s.alive[g] | fresh;
        fill(s.n[g], V{}), fill(s.taken[g], V{});
        if constexpr (Moves)
            fill(s.move[g], V{} + __builtin_inf()), fill(s.before[g], V{} + __builtin_inf());
        fill(s.zx[g], V{} + r.x[0]), fill(s.zy[g], V{} + r.y[0]);
        fill(s.dx[g], Julia ? gx : V{}), fill(s.dy[g], Julia ? gy : V{});
        if constexpr (!Julia) {
            const offset_terms<V> f = offset_terms_of(p, gx, gy);
            offset_terms<V> &o = s.o[g];
            fill(o.gx, f.gx), fill(o.gy, f.gy), fill(o.e, f.e), fill(o.k1, f.k1), fill(o.k2, f.k2);
        }
    };
    auto report = [&](int g, unsigned finished) {
        const unsigned lost = Isa::bits(s.lost[g]) & finished;
        s.lost[g] = s.lost[g] & ~Isa::mask(finished);
        for (; finished; finished &= finished - 1) {
            const int l = __builtin_ctz(finished), k = owner[g][l];
            if (lost >> l & 1) {
                b.n[k] = -1, b.steps[k] = 0, b.last_x[k] = b.last_y[k] = 0;
                continue;
            }
            double x = s.zx[g][l] + s.dx[g][l], y = s.zy[g][l] + s.dy[g][l];
            x = x == x ? x : __builtin_nan(""), y = y == y ? y : __builtin_nan("");
            b.n[k] = int(s.n[g][l]);
            b.steps[k] = b.n[k] + !(x * x + y * y < escape_bound);
            b.last_x[k] = x, b.last_y[k] = y;
            if constexpr (Moves)
                b.move[k] = s.move[g][l], b.move_before[k] = s.before[g][l];
        }
    };
    for (int g = 0; g < K; g++) {
        s.dx[g] = s.dy[g] = s.zx[g] = s.zy[g] = s.n[g] = s.taken[g] = V{};
        if constexpr (Moves)
            s.move[g] = s.before[g] = V{};
        s.o[g] = offset_terms_of(p, V{}, V{});
        s.alive[g] = s.lost[g] = M{};
        held[g] = 0;
        refill(g);
    }
    for (;;) {
        advance_perturbed<V, N, K, Stride, Julia, Moves, Isa>(s, r, p, limit);
        group_steps += Stride * K;
        unsigned any_held = 0;
        for (int g = 0; g < K; g++) {
            const unsigned finished = held[g] & ~Isa::bits(s.alive[g]);
            held[g] &= ~finished;
            report(g, finished);
            if (held[g] != all_lanes)
                refill(g);
            any_held |= held[g];
        }
        if (!any_held)
            break;
    }
    return group_steps * N;
}

// A deep batch runs its own K groups: double-double keeps twice the state,
// and perturbation PK. The moves are kept only where the colouring needs
// them, by a kernel compiled apart (with LANE_MOVES).
template <class V, int N, int K, int Stride, int DeepK, int PK, class Isa, bool Moves>
long long run_batch(sample_batch &b)
{
    if (b.reference)
        return b.julia ? run_perturbed<V, N, PK, Stride, true, Moves, Isa>(b)
                       : run_perturbed<V, N, PK, Stride, false, Moves, Isa>(b);
    if (b.deep)
        return b.julia ? run_lanes<V, dd<V>, N, DeepK, Stride, true, Moves, Isa>(b)
                       : run_lanes<V, dd<V>, N, DeepK, Stride, false, Moves, Isa>(b);
    return b.julia ? run_lanes<V, V, N, K, Stride, true, Moves, Isa>(b)
                   : run_lanes<V, V, N, K, Stride, false, Moves, Isa>(b);
}

// The comparisons and selections written with vector extensions only, for
// instruction sets whose lane masks are vectors; the rest (bits, masks,
// expanding loads) each instruction set supplies itself.
template <class V>
struct vector_mask_isa {
    using M = decltype(V{} < V{});
    static M less(V x, V y) { return x < y; }
    static M at_most(V x, V y) { return x <= y; }
    static V select(M m, V x, V y) { return m ? x : y; }
    static V subtract_where(M m, V x, V y) { return m ? x - y : x; }
    static V max(V x, V y) { return x > y ? x : y; }
    static V min(V x, V y) { return x < y ? x : y; }
};

}  // namespace
