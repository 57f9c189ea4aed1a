#include "platform/image/HalfEncoding.h"

#include <cmath>
#include <cstring>
#include <vector>

#include "platform/image/ColorMath.h"

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#include <immintrin.h>
#define SORVEL_HAVE_X86 1
#endif

namespace sorvel::image::color {

namespace {

using namespace half_detail;

struct EncodeCurve {
    std::vector<float> table;
    EncodeCurve() {
        const int octaves = kMaxExponent - kMinExponent;
        table.resize((std::size_t(octaves) << kSegmentBits) + 1);
        for (std::size_t k = 0; k < table.size(); ++k) {
            const int octave = int(k >> kSegmentBits);
            const double m = double(k & ((1u << kSegmentBits) - 1)) / (1u << kSegmentBits);
            const double s = std::ldexp(1.0 + m, kMinExponent + octave);
            table[k] = float(s <= 0.0031308 ? s * 12.92 : 1.055 * std::pow(s, 1.0 / 2.4) - 0.055);
        }
    }
};

const EncodeCurve& curve() {
    static const EncodeCurve c;
    return c;
}

#ifdef SORVEL_HAVE_X86
__attribute__((target("avx,f16c"))) void convertF16C(const float* in, std::uint16_t* out, std::size_t n) {
    std::size_t i = 0;
    for (; i + 8 <= n; i += 8) {
        __m256 v = _mm256_loadu_ps(in + i);
        // NaN payloads differ from the scalar converter's: leave those lanes to it.
        if (_mm256_movemask_ps(_mm256_cmp_ps(v, v, _CMP_UNORD_Q))) {
            for (std::size_t j = i; j < i + 8; ++j) out[j] = floatToHalf(in[j]);
            continue;
        }
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), _mm256_cvtps_ph(v, _MM_FROUND_TO_NEAREST_INT));
    }
    for (; i < n; ++i) out[i] = floatToHalf(in[i]);
}

// CPUID leaf 1 directly: clang's __builtin_cpu_supports does not know "f16c".
bool cpuHasF16C() {
    static const bool has = [] {
        unsigned a = 0, b = 0, c = 0, d = 0;
        return __builtin_cpu_supports("avx") && __get_cpuid(1, &a, &b, &c, &d) && (c & bit_F16C) != 0;
    }();
    return has;
}
#endif

}  // namespace

const float* srgbEncodeTable() { return curve().table.data(); }

void floatsToHalves(const float* in, std::uint16_t* out, std::size_t n) {
#ifdef SORVEL_HAVE_X86
    if (cpuHasF16C()) {
        convertF16C(in, out, n);
        return;
    }
#endif
    for (std::size_t i = 0; i < n; ++i) out[i] = floatToHalf(in[i]);
}

}  // namespace sorvel::image::color
