// ceiling_impl.h -- the throughput measurements, compiled once per vector width
#pragma once

#include <chrono>
#include <utility>

#include "bench/ceiling.h"
#include "engine/newton.h"

namespace {

// Up to 24 independent chains, each a named variable so that it stays in
// a register (AVX2 has 16 vector registers, AVX-512 32); the empty asm
// keeps the compiler from folding or hoisting. Unused chains vanish.
#define ROOTZOOM_CHAINS(M) \
    M(0) M(1) M(2) M(3) M(4) M(5) M(6) M(7) M(8) M(9) M(10) M(11) M(12) M(13) M(14) M(15) M(16) M(17) M(18) M(19) \
        M(20) M(21) M(22) M(23)

enum op_kind { OP_NONE, OP_DIV, OP_MUL, OP_ADD };

// The op of chain c in round r of a loop body that covers two steps: the
// multiplications and additions, spread evenly among each other, go round
// the chains; each division goes to a chain of its own, in rounds spread
// over the body, and its chain rests for the next few rounds, as long as a
// division takes to finish. Chains then wait on no op for long.
template <int Chains, int D, int M, int A>
struct step_mix {
    static constexpr int chains = Chains, rest = 4;
    static constexpr int rounds = (2 * (D + M + A) + 2 * D * rest + Chains - 1) / Chains;
    static constexpr int div_round(int c) { return c * rounds / (2 * D); }
    static constexpr op_kind slot(int r, int c)  // OP_NONE: no multiplication or addition here
    {
        if (c >= 2 * D || r < div_round(c) || r > div_round(c) + rest)
            return OP_ADD;
        return r == div_round(c) ? OP_DIV : OP_NONE;
    }
    static constexpr op_kind of(int r, int c)
    {
        if (slot(r, c) != OP_ADD)
            return slot(r, c);
        int k = 0;  // the multiplications and additions before this one
        for (int before = 0; before < r * Chains + c; before++)
            k += slot(before / Chains, before % Chains) == OP_ADD;
        if (k >= 2 * (M + A))
            return OP_NONE;
        return (k + 1) * M / (M + A) > k * M / (M + A) ? OP_MUL : OP_ADD;
    }
};

template <op_kind K, class V>
inline V apply(V x, V k)
{
    if constexpr (K == OP_DIV)
        return x / k;
    else if constexpr (K == OP_MUL)
        return x * k;
    else if constexpr (K == OP_ADD)
        return x + (k - 1.0);
    else
        return x;
}

// Best of five timed runs, in nanoseconds per loop body.
template <class Body>
double best_time(Body body, long iters)
{
    double best = 1e300;
    for (int rep = 0; rep < 5; rep++) {
        const auto t0 = std::chrono::steady_clock::now();
        body(iters);
        const double ns = std::chrono::duration<double, std::nano>(std::chrono::steady_clock::now() - t0).count();
        best = ns < best ? ns : best;
    }
    return best / double(iters);
}

// One loop body applies Kind::of(r, chain) for the rounds r = 0..Rounds-1
// to every chain. Multiplying and dividing by a number just above 1, and
// adding a small one, keeps every value normal.
template <class V, class Kind, int... Rounds>
double chain_time(long iters, std::integer_sequence<int, Rounds...>)
{
    return best_time(
        [](long n) {
#define ROOTZOOM_DECL(i) V x##i = V{} + (1.0 + i * 1e-3);
            ROOTZOOM_CHAINS(ROOTZOOM_DECL)
            const V k = V{} + 1.0000001;
            for (long it = 0; it < n; it++) {
                auto round = [&]<int R>(std::integral_constant<int, R>) {
#define ROOTZOOM_STEP(i) x##i = apply<Kind::of(R, i)>(x##i, k);
                    ROOTZOOM_CHAINS(ROOTZOOM_STEP)
                };
                (round(std::integral_constant<int, Rounds>{}), ...);
#define ROOTZOOM_KEEP(i)            \
    if constexpr (i < Kind::chains) \
        asm volatile("" : "+v"(x##i));
                ROOTZOOM_CHAINS(ROOTZOOM_KEEP)
            }
        },
        iters);
}

template <int Chains, op_kind K>
struct only {
    static constexpr int chains = Chains;
    static constexpr op_kind of(int, int c) { return c < Chains ? K : OP_NONE; }
};

template <class V, int Chains, op_kind K>
double alone(long iters)
{
    return chain_time<V, only<Chains, K>>(iters, std::make_integer_sequence<int, 1>{}) / Chains;
}

template <class V, int Chains, step_ops S>
double step_time(long iters)
{
    using mix = step_mix<Chains, S.div, S.mul, S.add>;
    return chain_time<V, mix>(iters, std::make_integer_sequence<int, mix::rounds>{}) / 2;
}

// The parameter-plane step itself, with its own dependencies, on four
// groups of lanes taken in turn as the lane kernels take them, and
// nothing else: no tests, no masks, no looks. Every lane converges to a
// root and stays there, so no value turns special.
template <class V>
double chained_step_time(long iters)
{
    constexpr int K = 4, N = sizeof(V) / sizeof(double);
    V a[K], b[K], a2[K], b2[K];
    mandel_terms<V> t[K];
    for (int g = 0; g < K; g++) {
        V x, y;
        for (int l = 0; l < N; l++)
            x[l] = 0.3 + 0.01 * l + 0.1 * g, y[l] = -0.7 + 0.013 * l;
        t[g] = mandel_terms_of(x, y);
        a[g] = V{} + 0.1, b[g] = V{} + 0.2, a2[g] = a[g] * a[g], b2[g] = b[g] * b[g];
    }
    const double ns = best_time(
        [&](long n) {
            for (long it = 0; it < n; it++)
#pragma GCC unroll 4
                for (int g = 0; g < K; g++) {
                    V da, db;
                    mandel_correction(t[g], a[g], b[g], a2[g], b2[g], da, db);
                    a[g] = a[g] - da, b[g] = b[g] - db;
                    a2[g] = a[g] * a[g], b2[g] = b[g] * b[g];
                }
        },
        iters);
    for (int g = 0; g < K; g++)
        asm volatile("" : : "m"(a[g]), "m"(b[g]));
    return ns / K;
}

// Chains: as many as the vector registers allow, two kept for the constants.
template <class V, int Chains>
core_limits measure_limits()
{
    return {alone<V, Chains, OP_DIV>(20000),
            alone<V, Chains, OP_MUL>(100000),
            alone<V, Chains, OP_ADD>(100000),
            step_time<V, Chains, parameter_step_ops>(20000),
            step_time<V, Chains, dynamic_step_ops>(20000),
            chained_step_time<V>(20000)};
}

}  // namespace
