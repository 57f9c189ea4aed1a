// What the capture journal adds to a normal still, and what recovering ten pending 12 MP stills
// at start-up does to the first preview frame.
//
//   JournalStillPress      the journal's whole share of one press: the entry at the press, the
//                          12 MP photo written and synced with its entry, the library lookup of
//                          the asset's identifier, the files removed after the commit
//   JournalPressEntry      the part on the main thread at the press (the shutter's readiness)
//   FirstPreviewFrame/N    start-up to the first preview frame with N pending stills recovered
//                          in the background meanwhile (real-time rig, offscreen window)

#include <benchmark/benchmark.h>

#include <QApplication>
#include <chrono>
#include <thread>

#include "app/AppEnvironment.h"
#include "app/SettingsKeys.h"
#include "app/ViewController.h"
#include "app/journal/CaptureJournal.h"
#include "app/journal/PressProcessing.h"
#include "platform/capture/virtual/PhotoPipeline.h"
#include "platform/capture/virtual/RigProfile.h"
#include "platform/capture/virtual/Scene.h"
#include "platform/capture/virtual/VirtualRig.h"
#include "platform/foundation/Console.h"
#include "platform/foundation/ConsoleMute.h"
#include "platform/foundation/Uuid.h"
#include "platform/photos/PhotoLibrary.h"
#include "platform/ui/Application.h"
#include "platform/ui/Window.h"

namespace fs = std::filesystem;
using namespace sorvel;

namespace {

// The rig's back camera's 12 MP HEIC of the built-in scene, as a press receives it.
const Bytes& cameraPhoto() {
    static const Bytes bytes = [] {
        StillJob job;
        job.camera = RigProfile::builtIn().cameras[2];
        job.raster = Scene::builtIn()->rasterFor(job.camera);
        job.exposure.duration = 1.0 / 500;
        job.exposure.iso = 50;
        auto photo = std::get<CapturedPhoto>(takeStill(job));
        return *photo.fileData;
    }();
    return bytes;
}

fs::path benchFolder(const char* name) {
    fs::path dir = fs::temp_directory_path() / (std::string("sorvel-journal-bench-") + name);
    fs::remove_all(dir);
    fs::create_directories(dir);
    return dir;
}

JournalEntry pressEntry() {
    JournalEntry entry;
    entry.identifier = makeUuid();
    entry.kind = CaptureKind::Still;
    entry.settings = snapshotSettings();
    for (const char* slot : {assetSlot::kStill, assetSlot::kLivePhoto, assetSlot::kFiltered, assetSlot::kRaw, assetSlot::kHeic})
        entry.outputs[slot] = makeUuid();
    entry.required = {{assetSlot::kStill, SlotState::Pending}};
    return entry;
}

// Settings as the app has them after its first start.
std::unique_ptr<SettingsStore> appSettings(const fs::path& dir) {
    auto store = SettingsStore::open(dir / "settings.sqlite");
    store->registerSeeds(settingSeeds());
    return store;
}

void JournalStillPress(benchmark::State& state) {
    fs::path dir = benchFolder("press");
    auto settings = appSettings(dir);
    SettingsStore::setStandard(settings.get());
    auto journal = CaptureJournal::open(dir / "journal");
    auto library = PhotoLibrary::open(dir / "library");
    const Bytes& photo = cameraPhoto();
    for (auto _ : state) {
        JournalEntry entry = pressEntry();
        journal->begin(entry);
        journal->attachPhoto(entry, photo);
        benchmark::DoNotOptimize(library->asset(entry.assetFor(assetSlot::kStill)));
        journal->settle(entry, assetSlot::kStill, SlotState::Committed);
    }
    state.counters["photo MB"] = static_cast<double>(photo.size()) / 1e6;
    SettingsStore::setStandard(nullptr);
}
BENCHMARK(JournalStillPress)->Unit(benchmark::kMillisecond)->UseRealTime();

void JournalPressEntry(benchmark::State& state) {
    fs::path dir = benchFolder("entry");
    auto settings = appSettings(dir);
    SettingsStore::setStandard(settings.get());
    auto journal = CaptureJournal::open(dir / "journal");
    for (auto _ : state) {
        JournalEntry entry = pressEntry();
        journal->begin(entry);
        state.PauseTiming();
        journal->abandon(entry);
        state.ResumeTiming();
    }
    SettingsStore::setStandard(nullptr);
}
BENCHMARK(JournalPressEntry)->Unit(benchmark::kMillisecond)->UseRealTime();

void FirstPreviewFrame(benchmark::State& state) {
    static int argc = 1;
    static char name[] = "journal-bench";
    static char* argv[] = {name, nullptr};
    static Application* app = new Application(argc, argv, DisplayMode::Headless);
    (void)app;
    ConsoleCapture quiet;
    const int pending = static_cast<int>(state.range(0));
    for (auto _ : state) {
        state.PauseTiming();
        fs::path dir = benchFolder("startup");
        auto env = std::make_unique<AppEnvironment>(dir / "home", dir / "library");
        env->settings().registerSeeds(settingSeeds());
        VirtualRig::shared().reset(RigMode::RealTime);
        PhotoLibrary::setShared(PhotoLibrary::open(env->library()));
        auto journal = CaptureJournal::shared();
        for (int i = 0; i < pending; ++i) {
            JournalEntry entry = pressEntry();
            journal->begin(entry);
            journal->attachPhoto(entry, cameraPhoto());
        }
        journal = CaptureJournal::open(dir / "home" / "journal");  // a new process's view
        CaptureJournal::setShared(journal);
        state.ResumeTiming();

        auto start = std::chrono::steady_clock::now();
        auto controller = std::make_shared<ViewController>(ScreenProfile::phone());
        auto window = std::make_unique<Window>(*controller);
        window->makeKeyAndVisible();
        while (!(controller->previewLayer && controller->previewLayer->currentFrame()))
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        state.SetIterationTime(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());

        state.PauseTiming();
        // The recovery goes on after the first frame; it must finish before the next start.
        while (controller->isRecoveringCaptures.load()) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        state.counters["saved"] = static_cast<double>(PhotoLibrary::shared().assets().size());
        controller->captureSession->stopRunning();
        window.reset();
        controller.reset();
        PhotoLibrary::setShared(nullptr);
        env.reset();
        fs::remove_all(dir);
        state.ResumeTiming();
    }
}
BENCHMARK(FirstPreviewFrame)->Arg(0)->Arg(10)->Iterations(3)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
