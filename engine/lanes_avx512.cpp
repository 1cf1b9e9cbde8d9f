// lanes_avx512.cpp -- the lane kernel with 8 doubles per vector, compiled for AVX-512
#include "engine/lanes.h"

typedef double avx512_lanes __attribute__((vector_size(64)));

void lanes_avx512(sample_batch &b)
{
    run_batch<avx512_lanes, 8, 4>(b);
}
