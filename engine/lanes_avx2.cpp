// lanes_avx2.cpp -- the lane kernel with 4 doubles per vector, compiled for AVX2
#include <immintrin.h>

#include "engine/lanes.h"

typedef double avx2_lanes __attribute__((vector_size(32)));

// Lane masks are vectors with every bit of a lane set or clear.
struct avx2_isa : vector_mask_isa<avx2_lanes> {
    using V = avx2_lanes;
    static unsigned bits(M m) { return unsigned(_mm256_movemask_pd(__m256d(m))); }
    // The lanes of each 4-bit mask, and where each lane's double comes
    // from among the consecutive ones loaded: its rank among the set bits.
    static M mask(unsigned bits)
    {
        const __m256i lane_bits = _mm256_setr_epi64x(1, 2, 4, 8), m = _mm256_set1_epi64x(bits);
        return M(_mm256_cmpeq_epi64(_mm256_and_si256(m, lane_bits), lane_bits));
    }
    // Eight consecutive doubles from each lane's row, as eight vectors:
    // vector k holds row l's double k in lane l (two transpositions).
    static void columns(const double *const rows[4], V out[8])
    {
#pragma GCC unroll 2
        for (int half = 0; half < 8; half += 4) {
            __m256d r[4], t[4];
#pragma GCC unroll 4
            for (int l = 0; l < 4; l++)
                r[l] = _mm256_loadu_pd(rows[l] + half);
#pragma GCC unroll 2
            for (int l = 0; l < 4; l += 2)
                t[l] = _mm256_unpacklo_pd(r[l], r[l + 1]), t[l + 1] = _mm256_unpackhi_pd(r[l], r[l + 1]);
#pragma GCC unroll 2
            for (int k = 0; k < 2; k++) {
                out[half + k] = V(_mm256_permute2f128_pd(t[k], t[k + 2], 0x20));
                out[half + k + 2] = V(_mm256_permute2f128_pd(t[k], t[k + 2], 0x31));
            }
        }
    }
    static V expand(V old, unsigned bits, const double *src)
    {
        static const int rank[16][8] = {
            {0, 0, 0, 0, 0, 0, 0, 0}, {0, 1, 0, 0, 0, 0, 0, 0}, {0, 0, 0, 1, 0, 0, 0, 0}, {0, 1, 2, 3, 0, 0, 0, 0},
            {0, 0, 0, 0, 0, 1, 0, 0}, {0, 1, 0, 0, 2, 3, 0, 0}, {0, 0, 0, 1, 2, 3, 0, 0}, {0, 1, 2, 3, 4, 5, 0, 0},
            {0, 0, 0, 0, 0, 0, 0, 1}, {0, 1, 0, 0, 0, 0, 2, 3}, {0, 0, 0, 1, 0, 0, 2, 3}, {0, 1, 2, 3, 0, 0, 4, 5},
            {0, 0, 0, 0, 0, 1, 2, 3}, {0, 1, 0, 0, 2, 3, 4, 5}, {0, 0, 0, 1, 2, 3, 4, 5}, {0, 1, 2, 3, 4, 5, 6, 7},
        };
        // Only the doubles the mask takes are read: no read past the queue.
        const int count = __builtin_popcount(bits);
        const __m256i first = _mm256_cmpgt_epi64(_mm256_set1_epi64x(count), _mm256_setr_epi64x(0, 1, 2, 3));
        const __m256d loaded = _mm256_maskload_pd(src, first);
        const __m256i index = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(rank[bits & 15]));
        const __m256d spread = _mm256_castps_pd(_mm256_permutevar8x32_ps(_mm256_castpd_ps(loaded), index));
        return V(_mm256_blendv_pd(__m256d(old), spread, __m256d(mask(bits))));
    }
};

// Compiled twice (see CMakeLists.txt): as it is for the count pictures, and
// with LANE_MOVES for the kernel that also reports the moves.
#ifndef LANE_MOVES
long long lanes_avx2(sample_batch &b)
{
    return b.moves ? lanes_avx2_moves(b) : run_batch<avx2_lanes, 4, 4, 8, 2, 4, avx2_isa, false>(b);
}
#else
long long lanes_avx2_moves(sample_batch &b)
{
    return run_batch<avx2_lanes, 4, 4, 8, 2, 4, avx2_isa, true>(b);
}
#endif
