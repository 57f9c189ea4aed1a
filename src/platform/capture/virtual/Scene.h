#pragma once
// The world the virtual cameras look at: a high-dynamic-range scene in linear light (linear
// sRGB, 1.0 = a white card in full daylight) with depth. The built-in scene holds sky and sun
// (far brighter than white, so it clips at normal exposure), buildings, a tree and bushes, a
// doorway in deep shadow, a 24-patch colour chart, a resolution star and two people whose
// outlines are kept as ground truth.
//
// Scene units: the back wide camera at zoom 1, held upright, sees x -0.75..0.75 (left to
// right) and y -1..1 (bottom to top). Each camera rasterises the scene once, at half its
// sensor size in sensor orientation (one raster pixel per Bayer quad), and every frame and
// photo is sampled from that raster.

#include <array>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/capture/DeviceDescription.h"

namespace sorvel {

struct SceneRaster {
    int width = 0, height = 0;
    // 4 floats per pixel: linear sRGB radiance and 1 / distance in metres (0 for the sky),
    // together so that a frame reads one stream.
    std::vector<float> radiance;
    std::vector<float> torchGain;  // 1 / (light * distance^2): radiance x this = what a torch of strength 1 adds
    std::vector<std::uint8_t> person;  // 0 none, 1 or 2: which person covers the pixel
    // Radiance blurred by the largest defocus the sensor model draws; half size.
    int blurredWidth = 0, blurredHeight = 0;
    std::vector<float> blurred;
    static constexpr float kMaxBlurRadius = 12.0f;  // raster pixels the blurred copy stands for
};

class Scene {
public:
    static std::shared_ptr<const Scene> builtIn();
    // A picture (linear sRGB, 3 floats per pixel, rows top down) placed at 3 m filling the
    // wide camera's view; no people. Nothing when the size is not usable.
    static std::shared_ptr<const Scene> fromPicture(int width, int height, std::vector<float> linearRgb);

    // The raster a camera sees at zoom 1 (sensor orientation, half the sensor size).
    std::shared_ptr<const SceneRaster> rasterFor(const DeviceDescription& camera) const;

    // Scene point under a normalised sensor point (0..1 of the sensor picture) at a zoom.
    static std::array<double, 2> scenePointFor(const DeviceDescription& camera, double zoom, double sensorX,
                                               double sensorY);
    // Normalised sensor point showing a scene point.
    static std::array<double, 2> sensorPointFor(const DeviceDescription& camera, double zoom, double sceneX,
                                                double sceneY);

    // Ground truth for segmentation: width x height mask in sensor orientation, 255 where a
    // person is seen by `camera` at `zoom`, else 0.
    std::vector<std::uint8_t> personMask(const DeviceDescription& camera, double zoom, int width, int height) const;

    // The 24 colour-chart patches: linear sRGB reflectance, in the usual reading order (dark
    // skin first, black last), and each patch's centre in scene units.
    static const std::array<std::array<double, 3>, 24>& chartReflectances();
    static std::array<double, 2> chartPatchCentre(int index);
    static constexpr double kChartPatchSize = 0.07;
    static constexpr double kChartDepth = 3.0;  // metres
    // The resolution star beside the chart, at the chart's depth: 36 dark spokes on a white card
    // (reflectance 0.04 and 0.85), centre in scene units.
    static std::array<double, 2> starCentre();
    static constexpr double kStarRadius = 0.13;
    static constexpr int kStarSpokes = 36;

    bool isBuiltIn() const { return picture_.empty(); }

private:
    struct Sample {
        float r, g, b;
        float light;  // illumination the albedo was lit with (0 for emitters)
        float depth;  // metres, 0 = infinitely far
        std::uint8_t person;
    };
    Sample evaluate(double x, double y) const;
    Sample evaluatePicture(double x, double y) const;

    int pictureWidth_ = 0, pictureHeight_ = 0;
    std::vector<float> picture_;
    mutable std::mutex cacheMutex_;
    mutable std::vector<std::pair<std::string, std::shared_ptr<const SceneRaster>>> cache_;
};

}  // namespace sorvel
