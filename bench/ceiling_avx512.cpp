// ceiling_avx512.cpp -- the throughput limits measured with AVX-512's 32 vector registers
#include "bench/ceiling_impl.h"

typedef double avx512_vector __attribute__((vector_size(64)));
typedef double avx2_vector __attribute__((vector_size(32)));

core_limits measure_limits_avx512()
{
    return measure_limits<avx512_vector, 24>();
}

// 4-double vectors in 24 chains: with only AVX2's 16 registers the chains
// are too few to hide the latency of the step's mix, and the limit would
// be the register file's, not the core's.
core_limits measure_limits_avx2_wide()
{
    return measure_limits<avx2_vector, 24>();
}
