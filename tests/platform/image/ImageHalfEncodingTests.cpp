// The half-float output's fast paths: the piecewise-cubic transfer curve and the vector float to
// half conversion must agree with the exact functions.

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>

#include "TestImages.h"
#include "platform/image/ColorMath.h"
#include "platform/image/HalfEncoding.h"

using namespace sorvel::image::color;

// A wrong octave factor, cubic or coefficient shows as an error far above the 1e-6 the curve
// promises; the octave and eighth edges, the kink of the curve and the range ends are where it
// would hide.
TEST(ImageHalfEncoding, FastCurveMatchesTheExactCurve) {
    auto exact = [](double v) {
        double s = std::fabs(v);
        double e = s <= 0.0031308 ? s * 12.92 : 1.055 * std::pow(s, 1.0 / 2.4) - 0.055;
        return v < 0 ? -e : e;
    };
    std::vector<float> values = {0.0f, -0.0f, 1e-30f, 1.2e-4f, 0.0031308f, 0.0031309f, 0.5f, 1.0f,
                                 0.99999994f, 127.99999f, 128.0f, 300.0f, -0.25f, -2.0f};
    for (double v = 1e-5; v < 200; v *= 1.0007) values.push_back(float(v));
    for (int e = -14; e <= 8; ++e)
        for (int eighth = 0; eighth < 8; ++eighth) {
            const float edge = std::ldexp(1.0f + eighth / 8.0f, e);
            values.push_back(edge);
            values.push_back(std::nextafter(edge, 0.0f));
        }
    for (float v : values) {
        const double want = exact(v);
        const double got = linearToSrgbFast(v);
        EXPECT_LE(std::fabs(got - want), 1e-6 * std::fabs(want) + 1e-9) << v;
    }
    EXPECT_TRUE(std::isnan(linearToSrgbFast(NAN)));
    EXPECT_EQ(linearToSrgbFast(INFINITY), INFINITY);
}

// The vector converter must give exactly the scalar converter's bits, rounding midpoints,
// subnormal halves, overflow, infinities and NaNs included, for any length.
TEST(ImageHalfEncoding, VectorConversionIsBitIdenticalToTheScalarOne) {
    std::mt19937 random(7);
    std::vector<float> values;
    for (int i = 0; i < 200000; ++i) {
        std::uint32_t bits = random();
        float f;
        std::memcpy(&f, &bits, 4);
        values.push_back(f);
    }
    // Values near half precision's edges: midpoints between halves, the subnormal range, 65504.
    for (std::uint32_t h = 0; h < 0x7c00; h += 7) {
        float lo = halfToFloat(std::uint16_t(h)), hi = halfToFloat(std::uint16_t(h + 1));
        values.push_back((lo + hi) / 2);
        values.push_back(-(lo + hi) / 2);
    }
    for (float f : {65504.0f, 65519.0f, 65520.0f, 1e-8f, 2.9e-8f, 3.0e-8f, INFINITY, -INFINITY, NAN})
        values.push_back(f);
    values.push_back(0.5f);  // an odd length leaves a tail for the scalar loop
    std::vector<std::uint16_t> fast(values.size());
    floatsToHalves(values.data(), fast.data(), values.size());
    std::size_t mismatches = 0;
    for (std::size_t i = 0; i < values.size(); ++i)
        if (fast[i] != floatToHalf(values[i]) && ++mismatches < 5)
            ADD_FAILURE() << "value " << values[i] << ": " << fast[i] << " vs " << floatToHalf(values[i]);
    EXPECT_EQ(mismatches, 0u);
}

// The batch curve runs eight lanes at a time; any lane mix-up, a wrong split between the linear
// segment, the cubics and the exact curve, or a lost sign shows as a different bit.
TEST(ImageHalfEncoding, BatchCurveIsBitIdenticalToTheSingleValueOne) {
    std::mt19937 random(11);
    std::vector<float> values;
    for (int i = 0; i < 100000; ++i) {  // every exponent, both signs, NaNs and infinities among them
        std::uint32_t bits = random();
        float f;
        std::memcpy(&f, &bits, 4);
        values.push_back(f);
    }
    std::uniform_real_distribution<float> picture(-0.1f, 2.0f);
    for (int i = 0; i < 100000; ++i) values.push_back(picture(random));
    for (int e = -15; e <= 8; ++e)
        for (float v : {std::ldexp(1.0f, e), std::nextafter(std::ldexp(1.0f, e), 0.0f)}) {
            values.push_back(v);
            values.push_back(-v);
        }
    values.push_back(0.25f);  // an odd length leaves a tail for the scalar loop
    std::vector<float> batch(values.size());
    linearToSrgbFast(values.data(), batch.data(), values.size());
    std::size_t mismatches = 0;
    for (std::size_t i = 0; i < values.size(); ++i) {
        const float one = linearToSrgbFast(values[i]);
        std::uint32_t a, b;
        std::memcpy(&a, &one, 4);
        std::memcpy(&b, &batch[i], 4);
        const bool same = a == b || (std::isnan(one) && std::isnan(batch[i]));
        if (!same && ++mismatches < 5)
            ADD_FAILURE() << "value " << values[i] << ": " << batch[i] << " vs " << one;
    }
    EXPECT_EQ(mismatches, 0u);
}

// Opaque pixels are converted plane by plane and interleaved as halves; the same bits must land
// as from converting the interleaved floats, whether stored past the caches or not, aligned or
// not, NaN lanes and a tail included.
TEST(ImageHalfEncoding, OpaqueHalvesAreTheConvertedInterleavedFloats) {
    const std::size_t n = 1027;
    std::vector<float> r(n), g(n), b(n), interleaved;
    for (std::size_t i = 0; i < n; ++i) {
        r[i] = float(i) * 0.013f - 2.0f, g[i] = 1.0f / float(i + 1), b[i] = float(i % 17) * 4000.0f;
    }
    r[9] = NAN, g[100] = -INFINITY, b[1025] = 65520.0f;
    for (std::size_t i = 0; i < n; ++i) interleaved.insert(interleaved.end(), {r[i], g[i], b[i], 1.0f});
    std::vector<std::uint16_t> want(4 * n);
    floatsToHalves(interleaved.data(), want.data(), want.size());
    alignas(16) static std::uint8_t buffer[8 * 1027 + 32];
    for (bool streaming : {false, true})
        for (std::size_t offset : {std::size_t(0), std::size_t(2), std::size_t(16)}) {
            std::memset(buffer, 0xAB, sizeof buffer);
            storeOpaqueHalves(r.data(), g.data(), b.data(), n, buffer + offset, streaming);
            storeFence();
            EXPECT_EQ(std::memcmp(buffer + offset, want.data(), 8 * n), 0) << "offset " << offset << " streaming " << streaming;
            EXPECT_EQ(buffer[offset + 8 * n], 0xAB) << "wrote past the end";
        }
}
