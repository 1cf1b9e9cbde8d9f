// lanes_avx512.cpp -- the lane kernel with 8 doubles per vector, compiled for AVX-512
#include <immintrin.h>

#include "engine/lanes.h"

typedef double avx512_lanes __attribute__((vector_size(64)));

void lanes_avx512(sample_batch &b)
{
    run_batch<avx512_lanes, 8, 4, 4>(b, [](auto mask) {
        const __m512i m = __m512i(mask);
        return unsigned(_mm512_test_epi64_mask(m, m));
    });
}
