// ceiling_avx2.cpp -- the throughput limits of 4-double vectors, compiled for AVX2
#include "bench/ceiling_impl.h"

typedef double avx2_vector __attribute__((vector_size(32)));

core_limits measure_limits_avx2()
{
    return measure_limits<avx2_vector, 14>();
}
