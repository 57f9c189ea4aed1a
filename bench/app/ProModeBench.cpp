// The waveform monitor's update on a preview frame of the virtual rig: the picture alone (turn,
// render, column counts, dots) and with the screen's last step (scaled to the monitor's size at
// the screen's scale).

#include <benchmark/benchmark.h>

#include "app/pro/Waveform.h"
#include "platform/capture/virtual/RigProfile.h"
#include "platform/capture/virtual/Scene.h"
#include "platform/capture/virtual/SensorModel.h"

using namespace sorvel;

namespace {

// One preview frame of the back wide camera (1280 x 960 BGRA, sensor orientation), kept.
const PixelBuffer& rigFrame() {
    static const PixelBuffer frame = [] {
        RigProfile profile = RigProfile::builtIn();
        const DeviceDescription& camera = profile.cameras[2];
        auto raster = Scene::builtIn()->rasterFor(camera);
        ExposureSettings exposure;
        exposure.duration = 1.0 / 500;
        exposure.iso = 50;
        exposure.lensPosition = 0.1f;
        return SensorModel::renderPreview(*raster, camera, exposure);
    }();
    return frame;
}

// The frame as the frame handler hands it on: upright.
image::Image uprightFrame() {
    const PixelBuffer& f = rigFrame();
    image::PixelBuffer wrapped;
    wrapped.width = f.width, wrapped.height = f.height, wrapped.bytesPerRow = static_cast<std::size_t>(f.bytesPerRow);
    wrapped.data = f.bgra.data();
    return image::Image::fromPixelBuffer(wrapped)->oriented(6);
}

// The monitor is 240 x 100 points: a 120 x 50 output.
void BM_WaveformPicture(benchmark::State& state) {
    const image::Image frame = uprightFrame();
    for (auto _ : state) {
        auto waveform = renderWaveform(frame, 120, 50);
        benchmark::DoNotOptimize(waveform);
    }
}
BENCHMARK(BM_WaveformPicture)->Unit(benchmark::kMillisecond)->UseRealTime();

// Only the column counts and dots, from an already rendered 1280 x 960 picture.
void BM_WaveformColumnsOnly(benchmark::State& state) {
    const PixelBuffer& f = rigFrame();
    for (auto _ : state) {
        auto waveform = computeWaveform(f.bgra.data(), f.width, f.height, f.bytesPerRow, 120, 50);
        benchmark::DoNotOptimize(waveform);
    }
}
BENCHMARK(BM_WaveformColumnsOnly)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
