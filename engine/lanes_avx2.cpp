// lanes_avx2.cpp -- the lane kernel with 4 doubles per vector, compiled for AVX2
#include <immintrin.h>

#include "engine/lanes.h"

typedef double avx2_lanes __attribute__((vector_size(32)));

void lanes_avx2(sample_batch &b)
{
    run_batch<avx2_lanes, 4, 4, 4>(b, [](auto mask) { return unsigned(_mm256_movemask_pd(__m256d(mask))); });
}
