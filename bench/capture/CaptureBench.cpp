// The virtual rig's hot paths: a preview frame (30 per second, on one core), a 12-megapixel
// RAW capture delivered as DNG, and a processed capture delivered as HEIC, split into the
// rig's rendering and the encoder so that the encoder's share can be read off.

#include <benchmark/benchmark.h>

#include "platform/capture/virtual/DngWriter.h"
#include "platform/capture/virtual/PhotoPipeline.h"
#include "platform/capture/virtual/RigProfile.h"
#include "platform/capture/virtual/Scene.h"
#include "platform/capture/virtual/SensorModel.h"
#include "platform/capture/WhiteBalanceModel.h"

namespace sorvel {
namespace {

const DeviceDescription& wideCamera() { return RigProfile::builtIn().cameras[2]; }

ExposureSettings daylightExposure() {
    ExposureSettings e;
    e.duration = 1.0 / 680;
    e.iso = 32;
    e.lensPosition = 0.03f;
    e.gains = neutralGains(wideCamera(), daylightTemperature());
    return e;
}

// Steady state: zoom, focus and torch unchanged since the previous frame (exposure, white
// balance and noise still change every frame).
void BM_PreviewFrame(benchmark::State& state) {
    auto raster = Scene::builtIn()->rasterFor(wideCamera());
    ExposureSettings e = daylightExposure();
    e.zoom = static_cast<double>(state.range(0)) / 10;
    PreviewOpticsCache cache;
    for (auto _ : state) {
        e.seed++;
        e.duration *= 1.0001;
        auto frame = SensorModel::renderPreview(raster, wideCamera(), e, cache);
        benchmark::DoNotOptimize(frame.bgra.data());
    }
}
BENCHMARK(BM_PreviewFrame)->Arg(10)->Arg(30)->Unit(benchmark::kMillisecond);

// A frame while the lens moves (focus or zoom changed since the last frame).
void BM_PreviewFrameLensMoving(benchmark::State& state) {
    auto raster = Scene::builtIn()->rasterFor(wideCamera());
    ExposureSettings e = daylightExposure();
    PreviewOpticsCache cache;
    for (auto _ : state) {
        e.seed++;
        e.lensPosition = e.lensPosition > 0.5f ? 0.01f : e.lensPosition + 0.001f;
        auto frame = SensorModel::renderPreview(raster, wideCamera(), e, cache);
        benchmark::DoNotOptimize(frame.bgra.data());
    }
}
BENCHMARK(BM_PreviewFrameLensMoving)->Unit(benchmark::kMillisecond);

void BM_SceneRasterOnCameraSwitch(benchmark::State& state) {
    for (auto _ : state) {
        Scene scene;  // a fresh scene has no cached rasters
        benchmark::DoNotOptimize(scene.rasterFor(wideCamera()).get());
    }
}
BENCHMARK(BM_SceneRasterOnCameraSwitch)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_DngCapture12MP(benchmark::State& state) {
    auto raster = Scene::builtIn()->rasterFor(wideCamera());
    ExposureSettings e = daylightExposure();
    DngDescription d{"Sorvel", "Sorvel Virtual Rig 1", 6, e.duration, e.iso, 0, "2026:12:06 12:00:00", false};
    for (auto _ : state) {
        e.seed++;
        auto bayer = SensorModel::renderBayer(*raster, wideCamera(), e);
        auto dng = writeDng(bayer, wideCamera(), e.gains, d);
        benchmark::DoNotOptimize(dng->data());
    }
}
BENCHMARK(BM_DngCapture12MP)->Unit(benchmark::kMillisecond);

void BM_HeicCapture12MP(benchmark::State& state) {
    StillJob job;
    job.camera = wideCamera();
    job.make = "Sorvel";
    job.model = "Sorvel Virtual Rig 1";
    job.raster = Scene::builtIn()->rasterFor(wideCamera());
    job.exposure = daylightExposure();
    for (auto _ : state) {
        job.exposure.seed++;
        auto photo = takeStill(job);
        benchmark::DoNotOptimize(&photo);
    }
}
BENCHMARK(BM_HeicCapture12MP)->Unit(benchmark::kMillisecond)->Iterations(3);

// The rig's share of a HEIC capture: rendering the processed picture.
void BM_HeicCaptureRenderOnly(benchmark::State& state) {
    auto raster = Scene::builtIn()->rasterFor(wideCamera());
    ExposureSettings e = daylightExposure();
    for (auto _ : state) {
        e.seed++;
        auto rgb = SensorModel::renderProcessed(*raster, wideCamera(), e);
        benchmark::DoNotOptimize(rgb.rgba.data());
    }
}
BENCHMARK(BM_HeicCaptureRenderOnly)->Unit(benchmark::kMillisecond);

// The encoder's share: HEIC encoding of an already rendered 12-megapixel picture.
void BM_HeicCaptureEncodeOnly(benchmark::State& state) {
    auto raster = Scene::builtIn()->rasterFor(wideCamera());
    auto rgb = SensorModel::renderProcessed(*raster, wideCamera(), daylightExposure());
    Dictionary properties{{"{TIFF}", Value(Dictionary{{"Orientation", Value(6)}})}};
    for (auto _ : state) {
        auto heic = encodeProcessedPhoto(rgb, properties);
        benchmark::DoNotOptimize(heic->data());
    }
}
BENCHMARK(BM_HeicCaptureEncodeOnly)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace
}  // namespace sorvel

BENCHMARK_MAIN();
