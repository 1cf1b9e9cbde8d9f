// ceiling.h -- what one core of this machine can compute: the throughput limit of a lane step
#pragma once

// The operations of one Newton step as the lane kernels compute them,
// the escape and convergence tests' arithmetic included (their compares,
// masks and blends are not counted: they are the kernel's own cost).
struct step_ops {
    int div, mul, add;
};
constexpr step_ops parameter_step_ops = {2, 23, 22};
constexpr step_ops dynamic_step_ops = {2, 19, 19};

// Nanoseconds per vector operation, each kind alone in long independent
// chains, and per vector step: the step's operations in its own mix, with
// no dependence between them. The step time is the lower bound: no kernel
// can compute a step of N lanes faster on this core. And per vector step of
// the parameter-plane step itself, on four groups of lanes, with nothing
// else: how close its own dependencies let a kernel come.
struct core_limits {
    double div, mul, add;
    double parameter_step, dynamic_step;
    double parameter_chained;
};

core_limits measure_limits_avx2();       // 4 doubles per vector, 16 registers
core_limits measure_limits_avx512();     // 8 doubles per vector, 32 registers
core_limits measure_limits_avx2_wide();  // 4 doubles per vector, 32 registers: where AVX-512 is there
