// lanes.h -- the lane kernel: many samples iterated side by side, each lane refilled when done
//
// Included by one file per instruction set, each compiling it with its own
// vector width. Internal linkage keeps those copies apart.
#pragma once

#include "engine/batch.h"
#include "engine/newton.h"

namespace {

constexpr int deep_limit = 256;  // from this iteration limit on, refill lanes one by one

// K groups of N lanes are in flight, so that the long dependency chain of
// one step (two divisions among it) overlaps with the other groups'. The
// lanes step Stride times between two looks at which have finished, so
// that no branch waits on every step's result: a lane that finishes
// in between is frozen by its mask and keeps its count, its steps and its
// last iterate. Once refill_at lanes of a group are idle they take the
// next queued samples. Each lane follows the
// one-sample loop exactly: the escaping step is not counted, the limit is
// tested before convergence, and the new iterate is the last iterate.
// Bits turns a lane mask into an integer with one bit per lane.
template <class V, int N, int K, int Stride, bool Julia, class Bits>
void run_lanes(sample_batch &b, Bits bits, int refill_at)
{
    using M = decltype(V{} < V{});
    constexpr unsigned all_lanes = (1u << N) - 1;
    V a[K], bb[K], a2[K], b2[K], n[K], steps[K];
    M alive[K];         // lanes still iterating
    unsigned held[K];   // lanes holding a sample not yet reported
    mandel_terms<V> t[K];
    int owner[K][N];
    const julia_terms c = julia_terms_of(b.other_x, b.other_y);
    const V limit = V{} + double(b.maxiter);
    int next = 0;

    auto load = [&](int g, int l) {
        const int s = next++;
        owner[g][l] = s;
        held[g] |= 1u << l;
        alive[g][l] = -1;
        const double za = Julia ? b.x[s] : b.other_x, zb = Julia ? b.y[s] : b.other_y;
        a[g][l] = za, bb[g][l] = zb, a2[g][l] = za * za, b2[g][l] = zb * zb, n[g][l] = 0, steps[g][l] = 0;
        if (!Julia) {
            const mandel_terms<double> s_t = mandel_terms_of(b.x[s], b.y[s]);
            t[g].kn[l] = s_t.kn, t[g].kd[l] = s_t.kd, t[g].kdi[l] = s_t.kdi;
            t[g].x2m2[l] = s_t.x2m2, t[g].x4m8[l] = s_t.x4m8, t[g].y4[l] = s_t.y4;
            t[g].xm1[l] = s_t.xm1, t[g].y2[l] = s_t.y2, t[g].xy2[l] = s_t.xy2;
        }
    };
    // A group with no sample left takes N neighbours at once, straight
    // from the queue as vectors, which costs no more than one lane's load.
    auto load_group = [&](int g) {
        V x, y;
        __builtin_memcpy(&x, &b.x[next], sizeof x);
        __builtin_memcpy(&y, &b.y[next], sizeof y);
        for (int l = 0; l < N; l++)
            owner[g][l] = next + l;
        next += N;
        held[g] = all_lanes;
        alive[g] = M{} - 1;
        n[g] = steps[g] = V{};
        if constexpr (Julia) {
            a[g] = x, bb[g] = y;
        } else {
            a[g] = V{} + b.other_x, bb[g] = V{} + b.other_y;
            t[g] = mandel_terms_of(x, y);
        }
        a2[g] = a[g] * a[g], b2[g] = bb[g] * bb[g];
    };
    auto refill = [&](int g) {
        if (held[g] == 0 && b.count - next >= N)
            return load_group(g);
        for (int l = 0; l < N && next < b.count; l++)
            if (!(held[g] >> l & 1))
                load(g, l);
    };
    auto step = [&](int g) {
        V na, nb;
        if constexpr (Julia)
            julia_step(c, a[g], bb[g], a2[g], b2[g], na, nb);
        else
            mandel_step(t[g], a[g], bb[g], a2[g], b2[g], na, nb);
        const V na2 = na * na, nb2 = nb * nb;
        const M go = alive[g];
        const M inside = na2 + nb2 < escape_bound;
        const V counted = inside ? n[g] + 1.0 : n[g];
        const M converged = (magnitude(na - a[g]) <= tolerance) & (magnitude(nb - bb[g]) <= tolerance);
        alive[g] = go & inside & (counted < limit) & ~converged;
        n[g] = go ? counted : n[g];
        steps[g] = go ? steps[g] + 1.0 : steps[g];
        a[g] = go ? na : a[g], bb[g] = go ? nb : bb[g];
        a2[g] = go ? na2 : a2[g], b2[g] = go ? nb2 : b2[g];
    };
    for (int g = 0; g < K; g++) {
        a[g] = bb[g] = a2[g] = b2[g] = n[g] = steps[g] = V{};
        alive[g] = M{};
        if (!Julia)
            t[g] = mandel_terms_of(V{}, V{});
        held[g] = 0;
        refill(g);
    }
    for (;;) {
        for (int r = 0; r < Stride; r++)
            for (int g = 0; g < K; g++)
                step(g);
        unsigned any_held = 0;
        for (int g = 0; g < K; g++) {
            unsigned finished = held[g] & ~bits(alive[g]);
            held[g] &= ~finished;
            for (; finished; finished &= finished - 1) {
                const int l = __builtin_ctz(finished), s = owner[g][l];
                b.n[s] = int(n[g][l]);
                b.steps[s] = int(steps[g][l]);
                b.last_x[s] = a[g][l], b.last_y[s] = bb[g][l];
            }
            if (__builtin_popcount(all_lanes & ~held[g]) >= refill_at)
                refill(g);
            any_held |= held[g];
        }
        if (!any_held)
            break;
    }
}

// Neighbouring samples of a shallow view finish at nearly the same step,
// so there whole groups of neighbours are fastest; in deep views, where
// many samples run to the limit, an idle lane is refilled at once.
template <class V, int N, int K, int Stride, class Bits>
void run_batch(sample_batch &b, Bits bits)
{
    const int refill_at = b.maxiter >= deep_limit ? 1 : N;
    if (b.julia)
        run_lanes<V, N, K, Stride, true>(b, bits, refill_at);
    else
        run_lanes<V, N, K, Stride, false>(b, bits, refill_at);
}

}  // namespace
