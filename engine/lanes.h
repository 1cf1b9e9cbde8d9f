// lanes.h -- the lane kernel: many samples iterated side by side, each lane refilled when done
//
// Included by one file per instruction set, each compiling it with its own
// vector width. Internal linkage keeps those copies apart.
#pragma once

#include "engine/batch.h"
#include "engine/newton.h"

namespace {

// What K groups of N lanes iterate on, one vector per group (two in
// double-double, where Num is a pair of vectors).
template <class V, class Num, class M, int K>
struct lane_groups {
    Num a[K], b[K], a2[K], b2[K];  // the iterate and its squares
    V n[K];                        // the count
    M alive[K];                    // lanes still iterating
};

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

// Stride steps of every group. The K groups' steps are independent, and
// the processor overlaps their long dependency chains (two divisions among
// them). A lane that finishes is frozen by its mask: the correction is not
// subtracted there, so it keeps its last iterate, and its count stays.
// Each lane follows the one-sample loop exactly: the escaping step is not
// counted, and the limit is tested before convergence.
template <class V, class Num, int K, int Stride, bool Julia, class Isa, class Terms>
inline void advance(lane_groups<V, Num, typename Isa::M, K> &s, const mandel_terms<Num> *t, const Terms &c, V limit)
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
            s.n[g] = Isa::select(counts, s.n[g] + 1.0, s.n[g]);
            s.alive[g] = counts & Isa::less(s.n[g], limit) & ~converged;
            s.a[g] = na, s.b[g] = nb, s.a2[g] = na2, s.b2[g] = nb2;
        }
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
// Isa supplies what the vector extensions leave to the instruction set:
// its lane mask type M (with & | ~), comparisons giving one, selection by
// one, a mask as an integer with one bit per lane and back, and a load of
// consecutive doubles into the lanes a mask selects.
//
// Num is V, or dd<V> in a deep batch, whose positions are offsets that
// each lane adds to the origin as the one-sample path does.
template <class V, class Num, int N, int K, int Stride, bool Julia, class Isa>
long long run_lanes(sample_batch &b)
{
    using M = typename Isa::M;
    using L = lane_choice<Isa>;
    constexpr unsigned all_lanes = (1u << N) - 1;
    lane_groups<V, Num, M, K> s;
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
        advance<V, Num, K, Stride, Julia, Isa>(s, t, c, limit);
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

// A deep batch runs its own K groups: double-double keeps twice the state.
template <class V, int N, int K, int Stride, int DeepK, class Isa>
long long run_batch(sample_batch &b)
{
    if (b.deep)
        return b.julia ? run_lanes<V, dd<V>, N, DeepK, Stride, true, Isa>(b)
                       : run_lanes<V, dd<V>, N, DeepK, Stride, false, Isa>(b);
    return b.julia ? run_lanes<V, V, N, K, Stride, true, Isa>(b) : run_lanes<V, V, N, K, Stride, false, Isa>(b);
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
};

}  // namespace
