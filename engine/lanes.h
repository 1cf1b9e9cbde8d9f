// lanes.h -- the lane kernel: many samples iterated side by side, each lane refilled when done
//
// Included by one file per instruction set, each compiling it with its own
// vector width. Internal linkage keeps those copies apart.
#pragma once

#include "engine/batch.h"
#include "engine/newton.h"

namespace {

// K groups of N lanes are in flight, so that the long dependency chain of
// one step (two divisions among it) overlaps with the other groups'. A lane
// whose sample has finished takes the next queued one at once, which keeps
// the lanes busy in deep views where neighbours end far apart. Lanes with
// nothing left to do are masked off. Each lane follows the one-sample
// loop exactly: the escaping step is not counted, the limit is tested
// before convergence, and the new iterate is the last iterate.
template <class V, int N, int K, bool Julia>
void run_lanes(sample_batch &b)
{
    using M = decltype(V{} < V{});
    V a[K], bb[K], a2[K], b2[K], n[K];
    M live[K];
    mandel_terms<V> t[K];
    int owner[K][N];
    const julia_terms c = julia_terms_of(b.other_x, b.other_y);
    const V limit = V{} + double(b.maxiter);
    int next = 0, active = 0;

    auto load = [&](int g, int l) {
        const int s = next < b.count ? next++ : -1;
        owner[g][l] = s;
        live[g][l] = s >= 0 ? -1 : 0;
        if (s < 0)
            return;
        active++;
        const double za = Julia ? b.x[s] : b.other_x, zb = Julia ? b.y[s] : b.other_y;
        a[g][l] = za, bb[g][l] = zb, a2[g][l] = za * za, b2[g][l] = zb * zb, n[g][l] = 0;
        if (!Julia) {
            const mandel_terms<double> s_t = mandel_terms_of(b.x[s], b.y[s]);
            t[g].kn[l] = s_t.kn, t[g].kd[l] = s_t.kd, t[g].kdi[l] = s_t.kdi;
            t[g].x2m2[l] = s_t.x2m2, t[g].x4m8[l] = s_t.x4m8, t[g].y4[l] = s_t.y4;
            t[g].xm1[l] = s_t.xm1, t[g].y2[l] = s_t.y2, t[g].xy2[l] = s_t.xy2;
        }
    };
    for (int g = 0; g < K; g++) {
        a[g] = bb[g] = a2[g] = b2[g] = n[g] = V{};
        if (!Julia)
            t[g] = mandel_terms_of(V{}, V{});
        for (int l = 0; l < N; l++)
            load(g, l);
    }
    while (active > 0) {
        for (int g = 0; g < K; g++) {
            V na, nb;
            if constexpr (Julia)
                julia_step(c, a[g], bb[g], a2[g], b2[g], na, nb);
            else
                mandel_step(t[g], a[g], bb[g], a2[g], b2[g], na, nb);
            const V na2 = na * na, nb2 = nb * nb;
            const M inside = na2 + nb2 < escape_bound;
            n[g] = inside ? n[g] + 1.0 : n[g];
            const M converged = (magnitude(na - a[g]) <= tolerance) & (magnitude(nb - bb[g]) <= tolerance);
            const M done = (~inside | (n[g] >= limit) | converged) & live[g];
            a[g] = na, bb[g] = nb, a2[g] = na2, b2[g] = nb2;
            long any = 0;
            for (int l = 0; l < N; l++)
                any |= done[l];
            if (!any)
                continue;
            for (int l = 0; l < N; l++) {
                if (!done[l])
                    continue;
                const int s = owner[g][l];
                b.n[s] = int(n[g][l]);
                b.steps[s] = b.n[s] + (inside[l] ? 0 : 1);
                b.last_x[s] = na[l], b.last_y[s] = nb[l];
                active--;
                load(g, l);
            }
        }
    }
}

template <class V, int N, int K>
void run_batch(sample_batch &b)
{
    if (b.julia)
        run_lanes<V, N, K, true>(b);
    else
        run_lanes<V, N, K, false>(b);
}

}  // namespace
