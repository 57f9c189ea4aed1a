#pragma once
// SORVEL_WIDE_VECTORS in front of a function with a pixel loop builds it twice, for the baseline
// (SSE2, four lanes) and for AVX2 (eight lanes), and the loader picks the one this CPU runs.
// AVX2 without fma: a fused multiply-add would round once where the baseline rounds twice, and
// the bytes of a render must not depend on the machine's vector width.
// Only for functions that are not virtual (GCC does not clone those): let the override call one.

#if defined(__GNUC__) && !defined(__clang__) && defined(__x86_64__)
#define SORVEL_WIDE_VECTORS __attribute__((target_clones("avx2", "default")))
#else
#define SORVEL_WIDE_VECTORS
#endif
