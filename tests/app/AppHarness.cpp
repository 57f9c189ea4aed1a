#include "AppHarness.h"

#include <QApplication>
#include <atomic>
#include <fstream>

#include "platform/capture/virtual/VirtualRig.h"
#include "platform/foundation/Permissions.h"
#include "platform/motion/Accelerometer.h"
#include "platform/photos/PhotoLibrary.h"
#include "app/themes/ThemeManager.h"
#include "platform/ui/Alert.h"
#include "platform/ui/Appearance.h"

namespace fs = std::filesystem;

namespace sorvel::testing {

TempFolder::TempFolder(const std::string& prefix) {
    static std::atomic<int> counter{0};
    path_ = fs::temp_directory_path() /
            (prefix + "-" + std::to_string(::getpid()) + "-" + std::to_string(counter.fetch_add(1)));
    fs::remove_all(path_);
    fs::create_directories(path_);
}

TempFolder::~TempFolder() {
    std::error_code ec;
    fs::remove_all(path_, ec);
}

void ensureOffscreenQtApplication() {
    if (QApplication::instance()) return;
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "sorvel-tests";
    static char* argv[] = {name, nullptr};
    new QApplication(argc, argv);  // lives for the whole test process
}

void AppHarness::SetUp() {
    ensureOffscreenQtApplication();
    folder = std::make_unique<TempFolder>("sorvel-app");
    clock = std::make_unique<VirtualClock>(1796579052.0);  // 2026-12-06T17:44:12Z
    Clock::install(clock.get());
    mainQueue = std::make_unique<ManualMainQueue>(*clock);
    DispatchQueue::installMain(mainQueue.get());
    console = std::make_unique<ConsoleCapture>();
    env = std::make_unique<AppEnvironment>(folder->path() / "home", folder->path() / "library");
    // The theme and the appearance defaults are process-wide: each test starts from its own
    // (empty) store's colours.
    ThemeManager::shared().updateColors();
    Appearance::current() = Appearance::platformDefaults();
    VirtualRig::shared().reset(RigMode::Step);
    PhotoLibrary::setShared(PhotoLibrary::open(env->library()));
    HapticsBackend::install(&haptics);
    SimulatedPhone::shared()->setAttitude(PhoneAttitude::Portrait);
}

void AppHarness::TearDown() {
    if (controller) controller->captureSession->stopRunning();
    if (mainQueue) mainQueue->runUntilIdle();
    Alert::dismissAll();
    controller.reset();
    if (mainQueue) mainQueue->runUntilIdle();
    HapticsBackend::install(nullptr);
    PhotoLibrary::setShared(nullptr);
    env.reset();
    console.reset();
    DispatchQueue::installMain(nullptr);
    mainQueue.reset();
    Clock::install(nullptr);
    clock.reset();
    folder.reset();
}

ViewController& AppHarness::loadController(ScreenProfile profile) {
    controller = std::make_shared<ViewController>(profile);
    controller->onCaptureOutcome = [this](const CaptureOutcome& o) {
        std::lock_guard lock(outcomesMutex);
        reportedOutcomes.push_back(o);
    };
    controller->loadViewIfNeeded();
    return *controller;
}

ViewController& AppHarness::startCamera(ScreenProfile profile) {
    ViewController& vc = loadController(profile);
    runUntilIdle();
    EXPECT_TRUE(pumpUntil([&] { return vc.previewLayer && vc.previewLayer->currentFrame() != nullptr; }, 10))
        << "the camera delivered no frame";
    return vc;
}

bool AppHarness::pumpUntil(const std::function<bool()>& done, int maxFrames) {
    for (int i = 0; i < maxFrames; ++i) {
        mainQueue->runUntilIdle();
        if (done()) return true;
        VirtualRig::shared().step();
        // A frame is 1/30 s on the virtual clock too, so timers and animations keep pace.
        mainQueue->advance(1.0 / 30);
    }
    mainQueue->runUntilIdle();
    return done();
}

void AppHarness::setPermission(const std::string& resource, const std::string& status) {
    ASSERT_TRUE(Permissions::setEntry(resource, status));
}

std::vector<std::string> AppHarness::consoleLinesStartingWith(const std::string& prefix) const {
    std::vector<std::string> found;
    for (const auto& line : console->lines())
        if (line.rfind(prefix, 0) == 0) found.push_back(line);
    return found;
}

std::vector<CaptureOutcome> AppHarness::outcomes() const {
    std::lock_guard lock(outcomesMutex);
    return reportedOutcomes;
}

}  // namespace sorvel::testing
