// Opening the settings panel: from the click on the settings button to the first frame that
// shows the sliding panel. Every opening builds a fresh panel (rows, sliders, the innovative
// card, the help text) and its blur takes its copy of the camera picture behind, so this is
// what a person waits for after each tap.
//
// The window is the real one (offscreen), showing a live camera frame. One iteration: a real
// mouse click on the settings button, the Clock moved on by one display frame (1/60 s: the
// slide's first step), and the window rendered once (QWidget::grab paints every view
// synchronously, as the display's next frame would). Closing the panel again is not
// timed.
//
// Counters (ms, mean per opening): build (the click, which builds and presents the panel),
// frame (the first repaint, blur included).

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QTest>
#include <chrono>
#include <filesystem>

#include "app/AppEnvironment.h"
#include "app/ViewController.h"
#include "app/settings/SettingsPopupView.h"
#include "platform/capture/virtual/VirtualRig.h"
#include "platform/foundation/Clock.h"
#include "platform/foundation/Console.h"
#include "platform/foundation/Dispatch.h"
#include "platform/motion/Accelerometer.h"
#include "platform/photos/PhotoLibrary.h"
#include "platform/ui/Haptics.h"
#include "platform/ui/Window.h"

using namespace sorvel;

namespace {

using Seconds = std::chrono::duration<double>;
double now() { return Seconds(std::chrono::steady_clock::now().time_since_epoch()).count(); }

struct World {
    std::filesystem::path folder;
    VirtualClock clock{1796579052.0};
    std::unique_ptr<ManualMainQueue> mainQueue;
    std::unique_ptr<AppEnvironment> env;
    ConsoleCapture quiet;
    RecordingHaptics haptics;
    std::shared_ptr<ViewController> controller;
    std::unique_ptr<Window> window;

    World() {
        if (!QApplication::instance()) {
            qputenv("QT_QPA_PLATFORM", "offscreen");
            static int argc = 1;
            static char name[] = "settings-panel-bench";
            static char* argv[] = {name, nullptr};
            new QApplication(argc, argv);
        }
        folder = std::filesystem::temp_directory_path() / ("sorvel-settings-bench-" + std::to_string(::getpid()));
        std::filesystem::remove_all(folder);
        Clock::install(&clock);
        mainQueue = std::make_unique<ManualMainQueue>(clock);
        DispatchQueue::installMain(mainQueue.get());
        env = std::make_unique<AppEnvironment>(folder / "home", folder / "library");
        PhotoLibrary::setShared(PhotoLibrary::open(env->library()));
        HapticsBackend::install(&haptics);
        SimulatedPhone::shared()->setAttitude(PhoneAttitude::Portrait);
        VirtualRig::shared().reset(RigMode::Step);
        controller = std::make_shared<ViewController>(ScreenProfile::phone());
        window = std::make_unique<Window>(*controller);
        window->makeKeyAndVisible();
        for (int i = 0; i < 30 && !(controller->previewLayer && controller->previewLayer->currentFrame()); ++i) {
            mainQueue->runUntilIdle();
            VirtualRig::shared().step();
            mainQueue->advance(1.0 / 30);
        }
        mainQueue->runUntilIdle();
        window->repaint();
    }
    ~World() {
        controller->captureSession->stopRunning();
        mainQueue->runUntilIdle();
        window.reset();
        controller.reset();
        mainQueue->runUntilIdle();
        HapticsBackend::install(nullptr);
        PhotoLibrary::setShared(nullptr);
        env.reset();
        DispatchQueue::installMain(nullptr);
        mainQueue.reset();
        Clock::install(nullptr);
        std::filesystem::remove_all(folder);
    }
};

World& world() {
    static World w;
    return w;
}

void SettingsPanelTapToFirstFrame(benchmark::State& state) {
    World& w = world();
    ViewController& vc = *w.controller;
    double build = 0, frame = 0;
    for (auto _ : state) {
        const double t0 = now();
        QTest::mouseClick(vc.settingsButton, Qt::LeftButton, {}, QPoint(30, 30));
        const double t1 = now();
        if (!vc.settingsPopupView) {
            state.SkipWithError("the click opened no panel");
            break;
        }
        w.mainQueue->advance(1.0 / 60);
        benchmark::DoNotOptimize(w.window->grab());
        const double t2 = now();
        state.SetIterationTime(t2 - t0);
        build += t1 - t0;
        frame += t2 - t1;

        state.PauseTiming();
        vc.closeSettings();
        w.mainQueue->advance(0.35);
        w.mainQueue->runUntilIdle();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        state.ResumeTiming();
    }
    const double n = static_cast<double>(state.iterations());
    state.counters["build_ms"] = build / n * 1000;
    state.counters["frame_ms"] = frame / n * 1000;
}
BENCHMARK(SettingsPanelTapToFirstFrame)->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(2.0);

}  // namespace

BENCHMARK_MAIN();
