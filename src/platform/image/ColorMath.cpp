#include "platform/image/ColorMath.h"

#include "platform/image/HalfEncoding.h"
#include "platform/image/PixelLoops.h"
#include "platform/image/WideVectors.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace sorvel::image::color {

const float kSRGBToP3[9] = {0.8224621f, 0.1775380f, 0.0000000f,  //
                            0.0331941f, 0.9668058f, 0.0000000f,  //
                            0.0170827f, 0.0723974f, 0.9105199f};
const float kP3ToSRGB[9] = {1.2249401f,  -0.2249404f, 0.0000000f,  //
                            -0.0420569f, 1.0420571f,  0.0000000f,  //
                            -0.0196376f, -0.0786361f, 1.0982735f};

float srgbToLinear(float v) {
    float s = std::fabs(v);
    float l = s <= 0.04045f ? s / 12.92f : std::pow((s + 0.055f) / 1.055f, 2.4f);
    return v < 0 ? -l : l;
}

float linearToSrgb(float v) {
    float s = std::fabs(v);
    float e = s <= 0.0031308f ? s * 12.92f : 1.055f * std::pow(s, 1.0f / 2.4f) - 0.055f;
    return v < 0 ? -e : e;
}

namespace {
struct Tables {
    float decode[256];
    // 8-bit code for linear i / kEncodeSteps
    std::vector<std::uint8_t> encode;
    Tables() : encode(kEncodeSteps + 1, 0) {
        for (int i = 0; i < 256; ++i) decode[i] = srgbToLinear(i / 255.0f);
        for (int i = 0; i <= kEncodeSteps; ++i) {
            double e = linearToSrgb(float(double(i) / kEncodeSteps));
            encode[i] = std::uint8_t(std::clamp(std::lround(e * 255.0), 0L, 255L));
        }
    }
    static constexpr int kEncodeSteps = 65535;
};
const Tables& tables() {
    static const Tables t;
    return t;
}

inline void applyMatrix(const float* m, float& r, float& g, float& b) {
    float nr = m[0] * r + m[1] * g + m[2] * b;
    float ng = m[3] * r + m[4] * g + m[5] * b;
    float nb = m[6] * r + m[7] * g + m[8] * b;
    r = nr, g = ng, b = nb;
}
}  // namespace

const float* decodeTable8() { return tables().decode; }

std::uint8_t encode8(float linear) {
    float v = std::clamp(linear, 0.0f, 1.0f);  // NaN -> 0 below
    if (!(v >= 0.0f)) v = 0.0f;
    return tables().encode[std::size_t(v * float(Tables::kEncodeSteps) + 0.5f)];
}

void loadRGBA8(const std::uint8_t* src, std::size_t n, ColorSpace space, bool bgra, float* r,
               float* g, float* b, float* a) {
    const float* lut = decodeTable8();
    const int ri = bgra ? 2 : 0, bi = bgra ? 0 : 2;
    if (space == ColorSpace::LinearSRGB) {
        for (std::size_t i = 0; i < n; ++i) {
            const std::uint8_t* p = src + 4 * i;
            float al = p[3] * (1.0f / 255.0f);
            r[i] = p[ri] * (1.0f / 255.0f) * al, g[i] = p[1] * (1.0f / 255.0f) * al;
            b[i] = p[bi] * (1.0f / 255.0f) * al, a[i] = al;
        }
        return;
    }
    // Opaque rows (the usual case) skip the multiplication by alpha = 1, which changes nothing.
    std::uint8_t minAlpha = 255;
    for (std::size_t i = 0; i < n; ++i) {
        const std::uint8_t* p = src + 4 * i;
        r[i] = lut[p[ri]], g[i] = lut[p[1]], b[i] = lut[p[bi]];
        minAlpha = std::min(minAlpha, p[3]);
    }
    if (minAlpha == 255) {
        std::fill_n(a, n, 1.0f);
    } else {
        for (std::size_t i = 0; i < n; ++i) {
            const float al = src[4 * i + 3] * (1.0f / 255.0f);
            r[i] *= al, g[i] *= al, b[i] *= al, a[i] = al;
        }
    }
    if (space == ColorSpace::DisplayP3) {
        for (std::size_t i = 0; i < n; ++i) applyMatrix(kP3ToSRGB, r[i], g[i], b[i]);
    }
}

std::uint16_t floatToHalf(float f) {
    std::uint32_t x;
    std::memcpy(&x, &f, 4);
    std::uint32_t sign = (x >> 16) & 0x8000u;
    std::uint32_t mant = x & 0x007fffffu;
    int exp = int((x >> 23) & 0xff);
    if (exp == 0xff) return std::uint16_t(sign | 0x7c00u | (mant ? 0x200u : 0u));
    int e = exp - 127 + 15;
    if (e >= 0x1f) return std::uint16_t(sign | 0x7c00u);
    if (e <= 0) {
        if (e < -10) return std::uint16_t(sign);
        mant |= 0x00800000u;
        int shift = 14 - e;
        std::uint32_t half = mant >> shift;
        std::uint32_t rem = mant & ((1u << shift) - 1);
        std::uint32_t mid = 1u << (shift - 1);
        if (rem > mid || (rem == mid && (half & 1))) ++half;
        return std::uint16_t(sign | half);
    }
    std::uint32_t half = (std::uint32_t(e) << 10) | (mant >> 13);
    std::uint32_t rem = mant & 0x1fffu;
    if (rem > 0x1000u || (rem == 0x1000u && (half & 1))) ++half;  // may carry into exponent
    return std::uint16_t(sign | half);
}

float halfToFloat(std::uint16_t h) {
    std::uint32_t sign = std::uint32_t(h & 0x8000u) << 16;
    int exp = (h >> 10) & 0x1f;
    std::uint32_t mant = h & 0x3ffu;
    std::uint32_t x;
    if (exp == 0) {
        if (mant == 0) {
            x = sign;
        } else {
            float f = std::ldexp(float(mant), -24);
            return sign ? -f : f;
        }
    } else if (exp == 0x1f) {
        x = sign | 0x7f800000u | (mant << 13);
    } else {
        x = sign | (std::uint32_t(exp - 15 + 127) << 23) | (mant << 13);
    }
    float f;
    std::memcpy(&f, &x, 4);
    return f;
}

namespace {
constexpr std::size_t kChunk = 256;

SORVEL_WIDE_VECTORS void toDisplayP3(const float* __restrict r, const float* __restrict g, const float* __restrict b,
                                     std::size_t n, float* __restrict pr, float* __restrict pg, float* __restrict pb) {
    const float* k = kSRGBToP3;
    for (std::size_t i = 0; i < n; ++i) {
        pr[i] = k[0] * r[i] + k[1] * g[i] + k[2] * b[i];
        pg[i] = k[3] * r[i] + k[4] * g[i] + k[5] * b[i];
        pb[i] = k[6] * r[i] + k[7] * g[i] + k[8] * b[i];
    }
}

// store8 for alpha 1 everywhere: the codes quantise() gives (colour / 1 is the colour), each
// pixel stored as one 32-bit word.
void storeOpaque8(const float* r, const float* g, const float* b, std::size_t n, float scale, const std::uint8_t* lut,
                  std::uint8_t* dst) {
    std::int32_t ir[kChunk], ig[kChunk], ib[kChunk];
    loops::quantiseOpaque(r, g, b, n, scale, ir, ig, ib);
    for (std::size_t i = 0; i < n; ++i) {
        const std::uint32_t word = std::uint32_t(lut[ir[i]]) | std::uint32_t(lut[ig[i]]) << 8 |
                                   std::uint32_t(lut[ib[i]]) << 16 | 0xff000000u;
        std::memcpy(dst + 4 * i, &word, 4);  // bytes r, g, b, a in memory on little-endian CPUs
    }
}

// Two loops: the arithmetic (vectorised), then the table look-ups and byte packing.
void store8(const float* r, const float* g, const float* b, const float* a, std::size_t n, bool premultiplied,
            bool linear, std::uint8_t* dst) {
    const Tables& t = tables();
    std::int32_t ir[kChunk], ig[kChunk], ib[kChunk], ia[kChunk];
    const float scale = linear ? 255.0f : float(Tables::kEncodeSteps);
    const std::uint8_t* lut = t.encode.data();
    if (loops::allOpaque(a, n) && !linear) {
        // Alpha 1 everywhere (most pictures): the division by alpha and the zero-alpha and
        // premultiplication cases drop out; the codes are the same.
        if constexpr (std::endian::native == std::endian::little) {
            storeOpaque8(r, g, b, n, scale, lut, dst);
            return;
        }
        loops::quantiseOpaque(r, g, b, n, scale, ir, ig, ib);
        for (std::size_t i = 0; i < n; ++i) {
            std::uint8_t* p = dst + 4 * i;
            p[0] = lut[ir[i]], p[1] = lut[ig[i]], p[2] = lut[ib[i]], p[3] = 255;
        }
        return;
    }
    loops::quantise(r, g, b, a, n, scale, ir, ig, ib, ia);
    for (std::size_t i = 0; i < n; ++i) {
        std::uint8_t* p = dst + 4 * i;
        const std::uint32_t ea = std::uint32_t(ia[i]);
        if (ea == 0) {
            std::memset(p, 0, 4);
            continue;
        }
        std::uint32_t er = linear ? std::uint32_t(ir[i]) : lut[ir[i]];
        std::uint32_t eg = linear ? std::uint32_t(ig[i]) : lut[ig[i]];
        std::uint32_t eb = linear ? std::uint32_t(ib[i]) : lut[ib[i]];
        if (premultiplied && ea != 255) {
            er = (er * ea + 127) / 255, eg = (eg * ea + 127) / 255, eb = (eb * ea + 127) / 255;
        }
        p[0] = std::uint8_t(er), p[1] = std::uint8_t(eg), p[2] = std::uint8_t(eb), p[3] = std::uint8_t(ea);
    }
}

// Half-float rows: the fast transfer curve and the conversion a chunk at a time. Half precision
// (11 bits) cannot see the curve's error, which is below 1e-6.
void storeHalf(const float* r, const float* g, const float* b, const float* a, std::size_t n, bool linear,
               std::uint8_t* dst, bool streaming) {
    float out[4 * kChunk];
    std::uint16_t halves[4 * kChunk];
    if (!linear && loops::allOpaque(a, n)) {  // most pictures: the curve on whole rows
        float er[kChunk], eg[kChunk], eb[kChunk];
        linearToSrgbFast(r, er, n);
        linearToSrgbFast(g, eg, n);
        linearToSrgbFast(b, eb, n);
        storeOpaqueHalves(er, eg, eb, n, dst, streaming);
        return;
    }
    const half_detail::EncodeCurve& table = half_detail::encodeCurve();
    for (std::size_t i = 0; i < n; ++i) {
        float* o = out + 4 * i;
        o[0] = r[i], o[1] = g[i], o[2] = b[i], o[3] = a[i];
        if (linear) continue;
        if (o[3] == 1.0f) {
            for (int c = 0; c < 3; ++c) o[c] = linearToSrgbFast(o[c], table);
        } else if (o[3] > 0.0f) {
            // Encode the straight colour, then premultiply again.
            const float inv = 1.0f / o[3];
            for (int c = 0; c < 3; ++c) o[c] = linearToSrgbFast(o[c] * inv, table) * o[3];
        } else {
            o[0] = o[1] = o[2] = 0.0f;
        }
    }
    floatsToHalves(out, halves, 4 * n);
    std::memcpy(dst, halves, 8 * n);
}

void storeFloat(const float* r, const float* g, const float* b, const float* a, std::size_t n, bool half,
                bool linear, std::uint8_t* dst, bool streaming) {
    if (half && n <= kChunk) {
        storeHalf(r, g, b, a, n, linear, dst, streaming);
        return;
    }
    for (std::size_t i = 0; i < n; ++i) {
        float out[4] = {r[i], g[i], b[i], a[i]};
        if (!linear) {
            // Encode the straight colour, then premultiply again.
            if (out[3] > 0.0f) {
                float inv = 1.0f / out[3];
                for (int c = 0; c < 3; ++c) out[c] = linearToSrgb(out[c] * inv) * out[3];
            } else {
                out[0] = out[1] = out[2] = 0.0f;
            }
        }
        if (!half) {
            std::memcpy(dst + 16 * i, out, 16);
        } else {
            std::uint16_t h[4];
            for (int c = 0; c < 4; ++c) h[c] = floatToHalf(out[c]);
            std::memcpy(dst + 8 * i, h, 8);
        }
    }
}
}  // namespace

void storeRow(const float* r, const float* g, const float* b, const float* a, std::size_t n,
              PixelFormat format, ColorSpace space, std::uint8_t* dst, bool streaming) {
    float tr[kChunk], tg[kChunk], tb[kChunk];
    const std::size_t bpp = bytesPerPixel(format);
    for (std::size_t base = 0; base < n; base += kChunk) {
        const std::size_t m = std::min(kChunk, n - base);
        const float *R = r + base, *G = g + base, *B = b + base, *A = a + base;
        if (space == ColorSpace::DisplayP3) {
            toDisplayP3(R, G, B, m, tr, tg, tb);
            R = tr, G = tg, B = tb;
        }
        std::uint8_t* d = dst + base * bpp;
        const bool linear = space == ColorSpace::LinearSRGB;
        switch (format) {
            case PixelFormat::RGBA8: store8(R, G, B, A, m, false, linear, d); break;
            case PixelFormat::RGBA8Premultiplied: store8(R, G, B, A, m, true, linear, d); break;
            case PixelFormat::RGBAHalf: storeFloat(R, G, B, A, m, true, linear, d, streaming); break;
            case PixelFormat::RGBAFloat: storeFloat(R, G, B, A, m, false, linear, d, false); break;
        }
    }
}

}  // namespace sorvel::image::color
