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
    return b.moves ? lanes_avx512_moves(b) : run_batch<avx512_lanes, 8, 4, 8, 2, avx512_isa, false>(b);
}
#else
long long lanes_avx512_moves(sample_batch &b)
{
    return run_batch<avx512_lanes, 8, 4, 8, 2, avx512_isa, true>(b);
}
#endif
