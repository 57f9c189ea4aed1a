#pragma once
// Interpolated table look-ups a vector at a time: each lane needs two neighbouring entries, and
// one 8-byte load fetches both. This CPU's gather instructions cost as much as loading lane by
// lane, so the lanes are loaded one by one and shuffled into place. Internal to the image
// framework.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define SORVEL_TABLE_LOOKUP_X86 1
#endif

namespace sorvel::image::lookup {

#ifdef SORVEL_TABLE_LOOKUP_X86

// The lanes' offsets as integers in memory. Read back from memory, not moved out of the vector
// register lane by lane (two instructions per lane where a load is one): the empty asm tells
// the compiler the array may have changed, so it cannot forward the stored vector. One aligned
// vector store: a memcpy here compiled to a chain of partial copies through the stack.
inline void spill(__m128i positions, std::int32_t (&k)[4]) {
    _mm_store_si128(reinterpret_cast<__m128i*>(k), positions);
    asm volatile("" : "+m"(k));
}
__attribute__((target("avx2"))) inline void spill(const __m256i& positions, std::int32_t (&k)[8]) {
    _mm256_store_si256(reinterpret_cast<__m256i*>(k), positions);
    asm volatile("" : "+m"(k));
}

// first[i] = t[k_i], second[i] = t[k_i + 1] for four element offsets k.
inline void pairs(const float* t, __m128i positions, __m128& first, __m128& second) {
    alignas(16) std::int32_t k[4];
    spill(positions, k);
    __m128 lo = _mm_loadl_pi(_mm_setzero_ps(), reinterpret_cast<const __m64*>(t + k[0]));
    lo = _mm_loadh_pi(lo, reinterpret_cast<const __m64*>(t + k[1]));
    __m128 hi = _mm_loadl_pi(_mm_setzero_ps(), reinterpret_cast<const __m64*>(t + k[2]));
    hi = _mm_loadh_pi(hi, reinterpret_cast<const __m64*>(t + k[3]));
    first = _mm_shuffle_ps(lo, hi, _MM_SHUFFLE(2, 0, 2, 0));
    second = _mm_shuffle_ps(lo, hi, _MM_SHUFFLE(3, 1, 3, 1));
}

// The same for eight.
__attribute__((target("avx2"))) inline void pairs(const float* t, __m256i positions, __m256& first,
                                                  __m256& second) {
    alignas(32) std::int32_t k[8];
    spill(positions, k);
    __m128 a = _mm_loadl_pi(_mm_setzero_ps(), reinterpret_cast<const __m64*>(t + k[0]));
    a = _mm_loadh_pi(a, reinterpret_cast<const __m64*>(t + k[1]));
    __m128 b = _mm_loadl_pi(_mm_setzero_ps(), reinterpret_cast<const __m64*>(t + k[2]));
    b = _mm_loadh_pi(b, reinterpret_cast<const __m64*>(t + k[3]));
    __m128 c = _mm_loadl_pi(_mm_setzero_ps(), reinterpret_cast<const __m64*>(t + k[4]));
    c = _mm_loadh_pi(c, reinterpret_cast<const __m64*>(t + k[5]));
    __m128 d = _mm_loadl_pi(_mm_setzero_ps(), reinterpret_cast<const __m64*>(t + k[6]));
    d = _mm_loadh_pi(d, reinterpret_cast<const __m64*>(t + k[7]));
    const __m256 lo = _mm256_set_m128(c, a), hi = _mm256_set_m128(d, b);  // lanes 0 1 | 4 5 and 2 3 | 6 7
    first = _mm256_shuffle_ps(lo, hi, _MM_SHUFFLE(2, 0, 2, 0));
    second = _mm256_shuffle_ps(lo, hi, _MM_SHUFFLE(3, 1, 3, 1));
}

// Set by tests to run the four-lane code on a CPU that has eight lanes.
inline std::atomic<bool>& fourLanesOnly() {
    static std::atomic<bool> only{false};
    return only;
}

// Whether the eight-lane code runs.
inline bool eightLanes() {
    static const bool has = __builtin_cpu_supports("avx2");
    return has && !fourLanesOnly().load(std::memory_order_relaxed);
}

#endif

}  // namespace sorvel::image::lookup
