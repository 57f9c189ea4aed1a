#pragma once
// Pictures from a GStreamer camera as the capture framework hands them on: in sensor
// orientation. A phone's sensor lies on its side, so the app turns every frame and photo a
// quarter clockwise to show it (Exif orientation 6 for the portrait connection); a camera
// that sends its pictures upright is therefore turned a quarter anticlockwise here, once, as
// the pixels are copied out of the GStreamer buffer. Plain functions, no GStreamer.

#include <array>
#include <cstdint>

#include "platform/capture/SampleBuffer.h"
#include "platform/capture/virtual/SensorModel.h"

namespace sorvel {

// `width` x `height` 4-byte pixels (rows `stride` bytes apart) into a `height` x `width`
// buffer turned a quarter anticlockwise: the picture's top right corner becomes the top left.
PixelBuffer turnToSensor(const std::uint8_t* pixels, int width, int height, int stride);
void turnToSensor(const std::uint8_t* pixels, int width, int height, int stride, PixelBuffer& out);

// The 4-byte RGBx picture turned the same way, as the 8-bit RGBA photo the HEIC encoder takes.
RgbImage turnToSensorRgb(const std::uint8_t* pixels, int width, int height, int stride);

// An 8-bit Bayer mosaic turned the same way (width and height cut to even numbers), and the
// CFA pattern of the turned mosaic in `pattern` (given the pattern of the upright one).
BayerImage turnMosaicToSensor(const std::uint8_t* samples, int width, int height, int stride,
                              std::array<std::uint8_t, 4>& pattern);

}  // namespace sorvel
