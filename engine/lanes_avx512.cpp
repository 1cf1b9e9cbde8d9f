// lanes_avx512.cpp -- the lane kernel with 8 doubles per vector, compiled for AVX-512
#include <immintrin.h>

#include "engine/lanes.h"

typedef double avx512_lanes __attribute__((vector_size(64)));

// Lane masks live in the mask registers, one bit per lane.
struct avx512_isa {
    using V = avx512_lanes;
    using M = __mmask8;
    static M less(V x, V y) { return _mm512_cmp_pd_mask(__m512d(x), __m512d(y), _CMP_LT_OQ); }
    static M at_most(V x, V y) { return _mm512_cmp_pd_mask(__m512d(x), __m512d(y), _CMP_LE_OQ); }
    static V select(M m, V x, V y) { return V(_mm512_mask_blend_pd(m, __m512d(y), __m512d(x))); }
    static V subtract_where(M m, V x, V y) { return V(_mm512_mask_sub_pd(__m512d(x), m, __m512d(x), __m512d(y))); }
    // Masked forms with every lane set: the unmasked ones trip GCC 12's
    // warning about their undefined pass-through operand.
    static V max(V x, V y) { return V(_mm512_mask_max_pd(__m512d(x), M(0xff), __m512d(x), __m512d(y))); }
    static V min(V x, V y) { return V(_mm512_mask_min_pd(__m512d(x), M(0xff), __m512d(x), __m512d(y))); }
    static unsigned bits(M m) { return m; }
    static M mask(unsigned bits) { return M(bits); }
    // Eight consecutive doubles from each lane's row, as eight vectors:
    // vector k holds row l's double k in lane l (a transposition). Masked
    // forms with every lane set, as max and min are.
    static void columns(const double *const rows[8], V out[8])
    {
        __m512d r[8], t[8], u[8];
#pragma GCC unroll 8
        for (int l = 0; l < 8; l++)
            r[l] = _mm512_loadu_pd(rows[l]);
#pragma GCC unroll 4
        for (int l = 0; l < 8; l += 2) {
            t[l] = _mm512_mask_unpacklo_pd(r[l], M(0xff), r[l], r[l + 1]);
            t[l + 1] = _mm512_mask_unpackhi_pd(r[l], M(0xff), r[l], r[l + 1]);
        }
#pragma GCC unroll 2
        for (int h = 0; h < 8; h += 4)
#pragma GCC unroll 2
            for (int k = 0; k < 2; k++) {
                u[h + k] = _mm512_mask_shuffle_f64x2(t[h + k], M(0xff), t[h + k], t[h + k + 2], 0x88);
                u[h + k + 2] = _mm512_mask_shuffle_f64x2(t[h + k], M(0xff), t[h + k], t[h + k + 2], 0xdd);
            }
#pragma GCC unroll 4
        for (int k = 0; k < 4; k++) {
            out[k] = V(_mm512_mask_shuffle_f64x2(u[k], M(0xff), u[k], u[k + 4], 0x88));
            out[k + 4] = V(_mm512_mask_shuffle_f64x2(u[k], M(0xff), u[k], u[k + 4], 0xdd));
        }
    }
    static V expand(V old, unsigned bits, const double *src)
    {
        return V(_mm512_mask_expandloadu_pd(__m512d(old), M(bits), src));
    }
};

// Compiled twice (see CMakeLists.txt): as it is for the count pictures, and
// with LANE_MOVES for the kernel that also reports the moves.
#ifndef LANE_MOVES
long long lanes_avx512(sample_batch &b)
{
    return b.moves ? lanes_avx512_moves(b) : run_batch<avx512_lanes, 8, 4, 8, 2, 4, avx512_isa, false>(b);
}
#else
long long lanes_avx512_moves(sample_batch &b)
{
    return run_batch<avx512_lanes, 8, 4, 8, 2, 4, avx512_isa, true>(b);
}
#endif
