// lanes.h -- the lane kernel: many samples iterated side by side, each lane refilled when done
//
// Included by one file per instruction set, each compiling it with its own
// vector width. Internal linkage keeps those copies apart.
#pragma once

#include "engine/batch.h"
#include "engine/newton.h"

namespace {

// What K groups of N lanes iterate on, one vector per group.
template <class V, class M, int K>
struct lane_groups {
    V a[K], b[K], a2[K], b2[K], n[K];  // the iterate, its squares, the count
    M alive[K];                        // lanes still iterating
};

// The iterates of a block of S steps of K groups, kept so that a group in
// which some lane stopped can be settled afterwards without stepping again,
// and what the block's steps tell of the stop tests: the largest squared
// modulus and the smallest convergence measure of each lane.
template <class V, int K, int S>
struct block_record {
    V a[S][K], b[S][K];
    V top[K], least[K];
};

// S steps of every group with no tests and no masks: every lane steps, as a
// lane still iterating does in the one-sample loop. Beside the step each
// lane keeps a summary of the stop tests, with the tests' own expressions:
// the largest na^2 + nb^2 and the smallest max(|na - a|, |nb - b|). A lane
// that escaped, converged or became not a number shows in them: the maximum
// of a not-a-number is one, a not-a-number iterate stays one, and an
// infinite one gives infinite or not-a-number moduli from then on. The
// groups' state stays in registers; only the iterates are stored.
template <class V, int K, int S, bool Julia, class Isa>
inline void step_block(const lane_groups<V, typename Isa::M, K> &s, const mandel_terms<V> *t,
                       const julia_terms &c, block_record<V, K, S> &r)
{
    V a[K], b[K], a2[K], b2[K], top[K], least[K];
#pragma GCC unroll 8
    for (int g = 0; g < K; g++) {
        a[g] = s.a[g], b[g] = s.b[g], a2[g] = s.a2[g], b2[g] = s.b2[g];
        top[g] = V{};
        least[g] = V{} + __builtin_inf();
    }
    for (int k = 0; k < S; k++)
#pragma GCC unroll 8
        for (int g = 0; g < K; g++) {
            V da, db;
            if constexpr (Julia)
                julia_correction(c, a[g], b[g], a2[g], b2[g], da, db);
            else
                mandel_correction(t[g], a[g], b[g], a2[g], b2[g], da, db);
            const V na = a[g] - da, nb = b[g] - db;
            const V na2 = na * na, nb2 = nb * nb;
            top[g] = Isa::max(top[g], na2 + nb2);
            least[g] = Isa::min(least[g], Isa::max(magnitude(na - a[g]), magnitude(nb - b[g])));
            r.a[k][g] = na, r.b[k][g] = nb;
            a[g] = na, b[g] = nb, a2[g] = na2, b2[g] = nb2;
        }
#pragma GCC unroll 8
    for (int g = 0; g < K; g++)
        r.top[g] = top[g], r.least[g] = least[g];
}

// Settles group g after a block in which some lane may have stopped: each
// lane iterating takes the iterate and the count of its first step that
// fails a test of the one-sample loop (the escaping step is not counted,
// and the limit is tested before convergence), or the block's last ones.
// Each step's tests depend only on the recorded iterates, not on the
// step before's outcome, so the processor runs them side by side.
template <class V, int K, int S, class Isa>
inline void settle(lane_groups<V, typename Isa::M, K> &s, int g, const block_record<V, K, S> &r, V limit)
{
    using M = typename Isa::M;
    M left = s.alive[g];
    V a = s.a[g], b = s.b[g], n = s.n[g];
    const V n0 = n;
    for (int k = 0; k < S; k++) {
        const V pa = k ? r.a[k - 1][g] : s.a[g], pb = k ? r.b[k - 1][g] : s.b[g];
        const V na = r.a[k][g], nb = r.b[k][g], counted = n0 + double(k + 1);
        const M counts = Isa::less(na * na + nb * nb, V{} + escape_bound);
        const M converged = Isa::at_most(magnitude(na - pa), V{} + tolerance) &
                            Isa::at_most(magnitude(nb - pb), V{} + tolerance);
        const M ends = left & ~(counts & Isa::less(counted, limit) & ~converged);
        a = Isa::select(ends, na, a), b = Isa::select(ends, nb, b);
        n = Isa::select(ends, Isa::select(counts, counted, n0 + double(k)), n);
        left = left & ~ends;
    }
    a = Isa::select(left, r.a[S - 1][g], a), b = Isa::select(left, r.b[S - 1][g], b);
    s.n[g] = Isa::select(left, n0 + double(S), n);
    s.a[g] = a, s.b[g] = b, s.a2[g] = a * a, s.b2[g] = b * b;
    s.alive[g] = left;
}

// Ends a block for group g. If its summary shows that no lane iterating
// can have escaped, converged or reached the limit in the block (a
// not-a-number summary counts as a stop), the block stands: the lanes take
// its last iterate and count its S steps. Otherwise each lane is settled at
// its first stop, found with the one-sample loop's tests on the block's
// iterates: those are exact up to each lane's stop. Lanes not iterating
// never hold up a block. Returns whether the group had to be settled.
template <class V, int K, int S, class Isa>
inline bool end_block(lane_groups<V, typename Isa::M, K> &s, int g, const block_record<V, K, S> &r, V limit)
{
    const V n0 = s.n[g];
    const auto through = Isa::less(r.top[g], V{} + escape_bound) & Isa::less(n0 + double(S), limit) &
                         Isa::less(V{} + tolerance, r.least[g]);
    if (!(Isa::bits(s.alive[g]) & ~Isa::bits(through))) {
        const V a = r.a[S - 1][g], b = r.b[S - 1][g];
        s.a[g] = a, s.b[g] = b, s.a2[g] = a * a, s.b2[g] = b * b;
        s.n[g] = n0 + double(S);
        return false;
    }
    settle<V, K, S, Isa>(s, g, r, limit);
    return true;
}

// K groups of N lanes are in flight. They step in blocks of S steps with
// no look at which lanes have finished: the tests and masks of every step
// cost about a sixth of the step again, and most blocks see no lane stop.
// Those that do are settled from the block's iterates, so a finished lane
// waits up to S - 1 steps, frozen, as it would between two looks. At a
// look a group reports its finished lanes and fills them with the next
// queued samples, all at once, as vectors: as cheap as filling one, and no
// lane stays idle while samples are queued. Only the steps computed are
// not counted as they go: every step but an escaping one is counted, so
// they are the count plus one if the last iterate escaped.
//
// Isa supplies what the vector extensions leave to the instruction set:
// its lane mask type M (with & | ~), comparisons giving one, selection by
// one, the larger and the smaller of two vectors as the processor's max
// and min give them (the second operand where either is not a number), a
// mask as an integer with one bit per lane and back, and a load of
// consecutive doubles into the lanes a mask selects.
template <class V, int N, int K, int S, bool Julia, class Isa>
long long run_lanes(sample_batch &b)
{
    using M = typename Isa::M;
    constexpr unsigned all_lanes = (1u << N) - 1;
    lane_groups<V, M, K> s;
    block_record<V, K, S> record;
    unsigned held[K];  // lanes holding a sample not yet reported
    mandel_terms<V> t[K];
    int owner[K][N];
    const julia_terms c = julia_terms_of(b.other_x, b.other_y);
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
        auto fill = [fresh](V &lanes, V with) { lanes = Isa::select(fresh, with, lanes); };
        held[g] |= take;
        s.alive[g] = s.alive[g] | fresh;
        fill(s.n[g], V{});
        if constexpr (Julia) {
            fill(s.a[g], x), fill(s.b[g], y);
        } else {
            fill(s.a[g], V{} + b.other_x), fill(s.b[g], V{} + b.other_y);
            const mandel_terms<V> f = mandel_terms_of(x, y);
            mandel_terms<V> &o = t[g];
            fill(o.kn, f.kn), fill(o.kd, f.kd), fill(o.kdi, f.kdi), fill(o.x2m2, f.x2m2), fill(o.x4m8, f.x4m8);
            fill(o.y4, f.y4), fill(o.xm1, f.xm1), fill(o.y2, f.y2), fill(o.xy2, f.xy2);
        }
        s.a2[g] = s.a[g] * s.a[g], s.b2[g] = s.b[g] * s.b[g];
    };
    auto report = [&](int g, unsigned finished) {
        for (; finished; finished &= finished - 1) {
            const int l = __builtin_ctz(finished), k = owner[g][l];
            const double x = s.a[g][l], y = s.b[g][l];
            b.n[k] = int(s.n[g][l]);
            b.steps[k] = b.n[k] + !(x * x + y * y < escape_bound);
            b.last_x[k] = x, b.last_y[k] = y;
        }
    };
    for (int g = 0; g < K; g++) {
        s.a[g] = s.b[g] = s.a2[g] = s.b2[g] = s.n[g] = V{};
        s.alive[g] = M{};
        if (!Julia)
            t[g] = mandel_terms_of(V{}, V{});
        held[g] = 0;
        refill(g);
    }
    for (;;) {
        step_block<V, K, S, Julia, Isa>(s, t, c, record);
        group_steps += S * K;
        unsigned any_held = 0;
        for (int g = 0; g < K; g++) {
            if (!end_block<V, K, S, Isa>(s, g, record, limit)) {
                any_held |= held[g];
                continue;  // every lane held still iterates, and the queue is empty or none was idle
            }
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

template <class V, int N, int K, int S, class Isa>
long long run_batch(sample_batch &b)
{
    return b.julia ? run_lanes<V, N, K, S, true, Isa>(b) : run_lanes<V, N, K, S, false, Isa>(b);
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
    static V max(V x, V y) { return x > y ? x : y; }
    static V min(V x, V y) { return x < y ? x : y; }
};

}  // namespace
