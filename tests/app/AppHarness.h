#pragma once
// The app under test: an offscreen Qt application, a fresh home and library, a manual main
// queue on a virtual clock, captured console lines, and a loaded ViewController.

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>

#include "app/AppEnvironment.h"
#include "app/ViewController.h"
#include "platform/foundation/Clock.h"
#include "platform/foundation/Console.h"
#include "platform/foundation/Dispatch.h"
#include "platform/ui/Haptics.h"

namespace sorvel::testing {

// A folder under the system temp folder, removed with its contents at the end.
class TempFolder {
public:
    explicit TempFolder(const std::string& prefix);
    ~TempFolder();
    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

// Creates the process's QApplication on the offscreen platform once.
void ensureOffscreenQtApplication();

class AppHarness : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Builds the controller and loads its view (viewDidLoad), as the window would.
    ViewController& loadController(ScreenProfile profile = ScreenProfile::phone());
    // Loads the controller and runs until the camera delivers its first frame.
    ViewController& startCamera(ScreenProfile profile = ScreenProfile::phone());
    // Moves the rig on frame by frame (draining the queues after each) until `done` holds or
    // `maxFrames` have passed. Returns whether `done` held.
    bool pumpUntil(const std::function<bool()>& done, int maxFrames = 400);
    // Writes the permissions file ("camera = denied" ...).
    void setPermission(const std::string& resource, const std::string& status);
    // Lines of the console that start with `prefix`.
    std::vector<std::string> consoleLinesStartingWith(const std::string& prefix) const;
    // Outcomes of presses reported by the controller, in order.
    std::vector<CaptureOutcome> outcomes() const;
    void runUntilIdle() { ASSERT_TRUE(mainQueue->runUntilIdle()) << "background work did not finish"; }
    void advance(double seconds) { mainQueue->advance(seconds); }

    std::unique_ptr<TempFolder> folder;
    std::unique_ptr<VirtualClock> clock;
    std::unique_ptr<ManualMainQueue> mainQueue;
    std::unique_ptr<ConsoleCapture> console;
    std::unique_ptr<AppEnvironment> env;
    std::shared_ptr<ViewController> controller;
    RecordingHaptics haptics;
    mutable std::mutex outcomesMutex;
    std::vector<CaptureOutcome> reportedOutcomes;
};

}  // namespace sorvel::testing
