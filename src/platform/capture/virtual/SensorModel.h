#pragma once
// The virtual sensor: turns scene radiance into exposed, noisy pictures.
//
// Signal, as a fraction of the white level: v = camera response x duration x ISO/100 x
// kSensitivity / f-number^2. Photon noise follows from a full well of kFullWell electrons at
// ISO 100 and read noise of kReadNoise electrons, both scaled by the ISO gain. RAW samples are
// 12-bit RGGB with black level kBlackLevel. Processed pictures undo the camera's response with
// the device's white-balance gains and the inverse of its crosstalk matrix, so under correct
// white balance a processed pixel is the scene's linear sRGB times the exposure.

#include <cstdint>
#include <memory>
#include <vector>

#include "platform/capture/CaptureDevice.h"
#include "platform/capture/SampleBuffer.h"
#include "platform/capture/virtual/Scene.h"

namespace sorvel {

struct ExposureSettings {
    double duration = 0.01;
    double iso = 100;
    double zoom = 1;
    float lensPosition = 0;
    WhiteBalanceGains gains;
    double torch = 0;  // torch and flash light at 1 m (kTorchStrength, kFlashStrength)
    std::uint64_t seed = 1;
};

struct BayerImage {
    int width = 0, height = 0;
    std::vector<std::uint16_t> samples;  // RGGB, rows top down
};

struct RgbImage {
    int width = 0, height = 0;
    std::vector<std::uint8_t> rgba;  // 8-bit sRGB, 4 per pixel (alpha opaque)
};

struct Metering {
    double meanLuminance = 0.18;  // centre-weighted log average of the scene (unexposed)
    double inverseDepthAtFocusPoint = 0;
};

// What the lens puts on the preview grid (defocus and torch applied, before exposure), kept
// between frames: while zoom, focus and torch stay put, a frame only exposes, adds noise and
// encodes. Owned by whoever renders the frames of one session.
struct PreviewOpticsCache {
    const SceneRaster* raster = nullptr;
    std::shared_ptr<const SceneRaster> keepAlive;
    double zoom = 0;
    float lensPosition = -1;
    double torch = -1;
    int width = 0, height = 0;
    std::vector<float> rgb;  // 3 per preview pixel
};

class SensorModel {
public:
    static constexpr double kSensitivity = 3240;  // gives 1/680 s at ISO 32, f/1.6 in daylight
    static constexpr double kFullWell = 10000;
    static constexpr double kReadNoise = 2.5;
    static constexpr int kBlackLevel = 256;
    static constexpr int kWhiteLevel = 4095;
    // A torch adds this much light at 1 m (1 = full daylight), the flash more; real ones are
    // weaker, but then the app's torch and flash paths could not be seen in a test.
    static constexpr double kTorchStrength = 1.0;
    static constexpr double kFlashStrength = 4.0;

    // Exposure multiplier from radiance to the fraction of the white level.
    static double exposureScale(const DeviceDescription& camera, double duration, double iso);

    // 1280 x 960 BGRA (or the size given) in sensor orientation, a fresh buffer.
    static PixelBuffer renderPreview(const SceneRaster& scene, const DeviceDescription& camera,
                                     const ExposureSettings& exposure, int width = 1280, int height = 960);
    // The same frame, reusing (and refreshing when stale) the optics of earlier frames.
    static PixelBuffer renderPreview(const std::shared_ptr<const SceneRaster>& scene, const DeviceDescription& camera,
                                     const ExposureSettings& exposure, PreviewOpticsCache& cache, int width = 1280,
                                     int height = 960);
    // Full-size Bayer mosaic. Without noise (`noise` false) it is the scene as the sensor
    // records it, only rounded to 12 bits: the truth a RAW developer's picture is measured by.
    static BayerImage renderBayer(const SceneRaster& scene, const DeviceDescription& camera,
                                  const ExposureSettings& exposure, bool noise = true);
    // Full-size processed picture (sRGB, 8 bits).
    static RgbImage renderProcessed(const SceneRaster& scene, const DeviceDescription& camera,
                                    const ExposureSettings& exposure);

    static Metering meter(const SceneRaster& scene, const DeviceDescription& camera, double zoom,
                          CapturePoint exposurePoint, CapturePoint focusPoint);

    // One step of the automatic controls after a frame, by the modes in `state`.
    static void runAutomaticControls(DeviceControlState& state, const DeviceDescription& camera,
                                     const Metering& metering);

    // Lens position that focuses at this inverse distance.
    static float lensPositionFor(const DeviceDescription& camera, double inverseDepth);
};

}  // namespace sorvel
