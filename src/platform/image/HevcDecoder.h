#pragma once
// One HEVC still picture (a HEIF 'hvc1' item) decoded with libde265, its planes borrowed from the
// decoder until it is destroyed. We call libde265 ourselves rather than through libheif because
// libheif 1.15 hands out YCbCr only after converting it through RGB and back, and converts to
// RGB on one thread.

#include <cstddef>
#include <cstdint>

#include "platform/image/YCbCrConverter.h"

namespace sorvel::image::decode {

class HevcDecoder {
public:
    // `threads` > 0 lets libde265 decode the rows of one picture in parallel (when the encoder
    // allowed it); 0 decodes on the calling thread only.
    explicit HevcDecoder(int threads = 0);
    ~HevcDecoder();
    HevcDecoder(const HevcDecoder&) = delete;
    HevcDecoder& operator=(const HevcDecoder&) = delete;

    // Decodes `data` (NAL units, each after a big-endian length of the record's size) with the
    // parameter sets of the 'hvcC' record `config` (the box's body). False when the input is
    // malformed, the decoder fails, or the picture is not 8-bit 4:2:0, 4:2:2 or 4:4:4.
    bool decode(const std::uint8_t* config, std::size_t configSize, const std::uint8_t* data, std::size_t size);

    // The decoded picture's planes (valid until the next decode or destruction); the size is
    // the coded size, which may exceed the item's (the caller crops).
    const YCbCrPlanes& planes() const { return planes_; }
    // The colour description the picture's own parameter sets give (libheif uses it when the
    // file has no nclx of its own).
    int matrixCoefficients() const { return matrix_; }
    bool fullRange() const { return fullRange_; }

private:
    void* context_ = nullptr;  // libde265's de265_decoder_context (an opaque void typedef)
    YCbCrPlanes planes_;
    int matrix_ = 2;
    bool fullRange_ = false;
    bool pushLengthPrefixed(const std::uint8_t* data, std::size_t size, int lengthBytes);
};

}  // namespace sorvel::image::decode
