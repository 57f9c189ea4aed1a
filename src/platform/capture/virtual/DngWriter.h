#pragma once
// Writes a Bayer capture as DNG bytes, in memory, with the tags Linux camera stacks write:
// CFA layout, black and white levels, ColorMatrix1 with its illuminant, AsShotNeutral, an
// Exif sub-directory and the orientation.

#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "platform/capture/DeviceDescription.h"
#include "platform/capture/virtual/SensorModel.h"
#include "platform/foundation/Value.h"

namespace sorvel {

struct DngDescription {
    std::string make, model;
    int orientation = 1;  // Exif orientation tag
    double exposureTime = 0.01, iso = 100, exposureBias = 0;
    std::string dateTimeOriginal;  // "yyyy:MM:dd HH:mm:ss"
    bool flashFired = false;
    // The mosaic's layout and levels; the defaults are the virtual sensor's.
    std::array<std::uint8_t, 4> cfaPattern{0, 1, 1, 2};  // R G / G B (0 red, 1 green, 2 blue)
    int blackLevel = SensorModel::kBlackLevel;
    int whiteLevel = SensorModel::kWhiteLevel;
    std::string software = "Sorvel virtual rig";
};

// Nothing when libtiff fails (the reason goes to `error`).
std::optional<Bytes> writeDng(const BayerImage& image, const DeviceDescription& camera,
                              const WhiteBalanceGains& asShotGains, const DngDescription& description,
                              std::string* error = nullptr);

// The XYZ (D65) to camera matrix of a device, rows normalised as DNG readers expect.
std::array<double, 9> dngColorMatrix(const DeviceDescription& camera);

}  // namespace sorvel
