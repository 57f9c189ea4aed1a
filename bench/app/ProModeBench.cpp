// Pro mode's work per preview frame of the virtual rig (1280 x 960):
//   - the waveform picture alone (turn, render, column counts, dots), and its column counts
//     alone from an already rendered picture;
//   - the controller's updateWaveform on the main thread (the picture and its scaling to the
//     monitor at the screen's scale);
//   - the whole frame handler with pro mode, the monitor and a five-parameter filter on: a frame
//     the 0.2 s throttle lets through (waveform posted and drawn, filter preview rendered and
//     shown), and a frame it drops.
// The CPU column is the whole process's (the renders use every core), the time column the wall.

#include <benchmark/benchmark.h>

#include <QApplication>
#include <filesystem>

#include "app/AppEnvironment.h"
#include "app/ViewController.h"
#include "app/filters/SavedFilter.h"
#include "app/pro/Waveform.h"
#include "platform/capture/virtual/RigProfile.h"
#include "platform/capture/virtual/Scene.h"
#include "platform/capture/virtual/SensorModel.h"
#include "platform/capture/virtual/VirtualRig.h"
#include "platform/foundation/Clock.h"
#include "platform/foundation/Console.h"
#include "platform/foundation/Dispatch.h"
#include "platform/photos/PhotoLibrary.h"

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
BENCHMARK(BM_WaveformPicture)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime()->UseRealTime();

// Only the column counts and dots, from an already rendered 1280 x 960 picture.
void BM_WaveformColumnsOnly(benchmark::State& state) {
    const PixelBuffer& f = rigFrame();
    for (auto _ : state) {
        auto waveform = computeWaveform(f.bgra.data(), f.width, f.height, f.bytesPerRow, 120, 50);
        benchmark::DoNotOptimize(waveform);
    }
}
BENCHMARK(BM_WaveformColumnsOnly)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime()->UseRealTime();

// The running app around one controller: offscreen Qt, a throwaway home and library, a manual
// main queue on a virtual clock, the rig in step mode. Made once.
struct App {
    VirtualClock clock{1.8e9};
    ManualMainQueue main{clock};
    ConsoleCapture console;
    std::filesystem::path folder = std::filesystem::temp_directory_path() / ("sorvel-pro-bench-" + std::to_string(::getpid()));
    std::unique_ptr<AppEnvironment> env;
    std::shared_ptr<ViewController> vc;
    CaptureConnection connection;
    std::uint64_t frameNumber = 0;

    App() {
        Clock::install(&clock);
        DispatchQueue::installMain(&main);
        env = std::make_unique<AppEnvironment>(folder / "home", folder / "library");
        VirtualRig::shared().reset(RigMode::Step);
        PhotoLibrary::setShared(PhotoLibrary::open(env->library()));
        env->settings().setBool(true, "setting_6");
        vc = std::make_shared<ViewController>();
        vc->loadViewIfNeeded();
        main.runUntilIdle();
        vc->toggleProMode();
        main.advance(0.5);
        ParameterMap five = defaultParameterMap();
        five["1"] = 0.3f, five["2"] = 1.1f, five["3"] = 1.2f, five["5"] = 0.4f, five["8"] = 6000;
        vc->setSelectedFilter(makeSavedFilter("bench", five));
        vc->setFilterEnabled(true);
    }
    ~App() {
        vc->captureSession->stopRunning();
        main.runUntilIdle();
        vc.reset();
        PhotoLibrary::setShared(nullptr);
        env.reset();
        std::filesystem::remove_all(folder);
    }
    // One frame through the handler, and the main queue's share of it.
    void deliver() {
        SampleBuffer buffer{std::make_shared<const PixelBuffer>(rigFrame()), clock.now(), ++frameNumber};
        vc->captureOutput(*vc->videoDataOutput, buffer, connection);
        main.runUntilIdle();
    }
    static App& shared() {
        static App app;
        return app;
    }
};

void BM_UpdateWaveformOnTheMainThread(benchmark::State& state) {
    App& app = App::shared();
    const image::Image frame = uprightFrame();
    for (auto _ : state) app.vc->updateWaveform(frame);
    if (app.vc->waveformView->image().isNull()) state.SkipWithError("no waveform shown");
}
BENCHMARK(BM_UpdateWaveformOnTheMainThread)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime()->UseRealTime();

// Each frame 0.2 s after the last: the throttle lets every one through.
void BM_FrameHandlerPassedByTheThrottle(benchmark::State& state) {
    App& app = App::shared();
    for (auto _ : state) {
        state.PauseTiming();
        app.clock.setNow(app.clock.now() + 0.2);
        state.ResumeTiming();
        app.deliver();
    }
    if (app.vc->filteredImageView->isHidden()) state.SkipWithError("the filter preview was not shown");
}
BENCHMARK(BM_FrameHandlerPassedByTheThrottle)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime()->UseRealTime();

// Frames 1/30 s apart after one that passed: the throttle drops them before any work.
void BM_FrameHandlerDroppedByTheThrottle(benchmark::State& state) {
    App& app = App::shared();
    app.clock.setNow(app.clock.now() + 1.0);
    app.deliver();
    for (auto _ : state) app.deliver();
}
BENCHMARK(BM_FrameHandlerDroppedByTheThrottle)->Unit(benchmark::kMicrosecond)->MeasureProcessCPUTime()->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication qt(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
