#include "AppHarness.h"

#include <QApplication>
#include <atomic>

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
}

void AppHarness::TearDown() {
    if (mainQueue) mainQueue->runUntilIdle();
    controller.reset();
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
    controller->loadViewIfNeeded();
    return *controller;
}

}  // namespace sorvel::testing
