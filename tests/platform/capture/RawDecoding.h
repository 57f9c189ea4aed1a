#pragma once
// LibRaw helpers for the tests: the raw mosaic of a DNG, and its development.

#include <libraw/libraw.h>

#include <memory>
#include <optional>
#include <vector>

#include "platform/foundation/Value.h"

namespace sorvel::testing {

struct RawMosaic {
    int width = 0, height = 0;
    std::vector<std::uint16_t> samples;
    unsigned black = 0, maximum = 0;
    float multipliers[4] = {};
    int flip = 0;
    std::string make, model;
    float isoSpeed = 0, shutter = 0, aperture = 0, focalLength = 0;
};

inline std::optional<RawMosaic> readMosaic(const Bytes& dng) {
    auto raw = std::make_unique<LibRaw>();
    if (raw->open_buffer(const_cast<std::uint8_t*>(dng.data()), dng.size()) != LIBRAW_SUCCESS) return std::nullopt;
    if (raw->unpack() != LIBRAW_SUCCESS || !raw->imgdata.rawdata.raw_image) return std::nullopt;
    RawMosaic m;
    m.width = raw->imgdata.sizes.raw_width;
    m.height = raw->imgdata.sizes.raw_height;
    m.samples.assign(raw->imgdata.rawdata.raw_image, raw->imgdata.rawdata.raw_image + std::size_t(m.width) * m.height);
    m.black = raw->imgdata.color.black;
    m.maximum = raw->imgdata.color.maximum;
    for (int i = 0; i < 4; ++i) m.multipliers[i] = raw->imgdata.color.cam_mul[i];
    m.flip = raw->imgdata.sizes.flip;
    m.make = raw->imgdata.idata.make;
    m.model = raw->imgdata.idata.model;
    m.isoSpeed = raw->imgdata.other.iso_speed;
    m.shutter = raw->imgdata.other.shutter;
    m.aperture = raw->imgdata.other.aperture;
    m.focalLength = raw->imgdata.other.focal_len;
    return m;
}

struct Developed {
    int width = 0, height = 0;
    std::vector<std::uint16_t> rgb;  // linear sRGB, 16 bits
};

// As-shot white balance, sRGB primaries, linear output, no automatic brightening, the
// sensor's own orientation.
inline std::optional<Developed> develop(const Bytes& dng) {
    auto raw = std::make_unique<LibRaw>();
    auto& p = raw->imgdata.params;
    p.use_camera_wb = 1;
    p.output_color = 1;
    p.gamm[0] = 1.0;
    p.gamm[1] = 1.0;
    p.no_auto_bright = 1;
    p.output_bps = 16;
    p.user_flip = 0;
    p.user_qual = 3;  // AHD
    if (raw->open_buffer(const_cast<std::uint8_t*>(dng.data()), dng.size()) != LIBRAW_SUCCESS) return std::nullopt;
    if (raw->unpack() != LIBRAW_SUCCESS || raw->dcraw_process() != LIBRAW_SUCCESS) return std::nullopt;
    int error = 0;
    libraw_processed_image_t* image = raw->dcraw_make_mem_image(&error);
    if (!image) return std::nullopt;
    Developed d;
    d.width = image->width;
    d.height = image->height;
    const auto* data = reinterpret_cast<const std::uint16_t*>(image->data);
    d.rgb.assign(data, data + std::size_t(d.width) * d.height * 3);
    LibRaw::dcraw_clear_mem(image);
    return d;
}

}  // namespace sorvel::testing
