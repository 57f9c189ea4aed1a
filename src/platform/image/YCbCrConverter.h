#pragma once
// YCbCr (8-bit, 4:2:0 / 4:2:2 / 4:4:4) to straight RGBA8, the conversion a HEVC picture needs
// after decoding, spread over the CPU's cores. It reproduces libheif 1.15's own conversion step by
// step (the nearest chroma sample, its float formula and rounding) so a picture decodes to the
// same pixels whichever path took it.

#include <cstddef>
#include <cstdint>
#include <optional>

namespace sorvel::image::decode {

// Multipliers of Cb and Cr (centred on 0) in R, G and B for one set of matrix coefficients.
struct YCbCrCoefficients {
    float rCr = 0, gCb = 0, gCr = 0, bCb = 0;
};

// The coefficients of an nclx matrix_coefficients code: 1 (BT.709), 2 (unspecified, as BT.601),
// 5 and 6 (BT.601), 9 (BT.2020 non-constant luminance). Nothing for the rest (identity, YCgCo,
// constant luminance, chromaticity-derived...), which the caller leaves to libheif.
std::optional<YCbCrCoefficients> ycbcrCoefficients(int matrixCoefficients);

struct YCbCrPlanes {
    const std::uint8_t* y = nullptr;
    const std::uint8_t* cb = nullptr;
    const std::uint8_t* cr = nullptr;
    std::size_t yStride = 0, cbStride = 0, crStride = 0;
    int width = 0, height = 0;
    // log2 of the chroma subsampling: 4:2:0 is 1, 1; 4:2:2 is 1, 0; 4:4:4 is 0, 0.
    int chromaShiftX = 1, chromaShiftY = 1;
};

enum class YCbCrRange { Full, Limited };
// Vector code where the CPU has it (SSE2 on x86-64) or plain loops: same results; tests compare them.
enum class YCbCrKernel { Fastest, Scalar };

// Writes width x height RGBA pixels (alpha 255) into `out`, rows `outStride` bytes apart, in bands
// of rows on up to `threads` threads (the calling thread takes one band). The planes must hold
// every sample the subsampling implies (chroma planes ceil(width / 2^shift) wide).
// Runs on the calling thread and threads it starts and joins.
void convertToRGBA(const YCbCrPlanes& planes, const YCbCrCoefficients& coefficients, YCbCrRange range,
                   std::uint8_t* out, std::size_t outStride, int threads,
                   YCbCrKernel kernel = YCbCrKernel::Fastest);

}  // namespace sorvel::image::decode
