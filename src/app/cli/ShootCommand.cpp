#include "ShootCommand.h"

#include <QApplication>
#include <QTimer>
#include <chrono>
#include <optional>
#include <iostream>
#include <algorithm>
#include <set>

#include "app/AppEnvironment.h"
#include "app/AppMain.h"
#include "app/ViewController.h"
#include "app/cli/CommandSettings.h"
#include "app/cli/ShootOptions.h"
#include "app/cli/ProModeOptions.h"
#include "app/journal/CaptureJournal.h"
#include "platform/foundation/Console.h"
#include "platform/foundation/SettingsStore.h"
#include "platform/motion/Accelerometer.h"
#include "platform/photos/PhotoLibrary.h"
#include "platform/ui/Application.h"
#include "platform/ui/Window.h"

namespace sorvel {

namespace {

// How many library saves one press makes under the current settings.
int expectedSaves(const ViewController& vc) {
    SettingsStore& s = SettingsStore::standard();
    if (s.boolForKey("innovative_extreme_mode")) return 1;
    if (s.boolForKey("setting_0")) {
        auto f = s.stringForKey("save_format");
        if (f == "RAW" || f == "HEIC") return 1;
        return 2;
    }
    if (s.boolForKey("setting_2")) return vc.isFilterEnabled() ? 2 : 1;
    return 1;
}

std::string kindOf(const PhotoAsset& asset) {
    if (asset.mediaSubtypes & AssetMediaSubtype::PhotoLive) return "live-photo";
    if (asset.mediaSubtypes & AssetMediaSubtype::PhotoRaw) return "raw";
    return "photo";
}

std::string jsonEscape(const std::string& s) {
    std::string out;
    for (char c : s) {
        if (c == '"' || c == '\\') out += '\\';
        if (static_cast<unsigned char>(c) < 0x20) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\u%04x", c);
            out += buf;
            continue;
        }
        out += c;
    }
    return out;
}

// The press loop: waits for the session, presses, waits for the press's saves (or its failure),
// presses again. Runs on the main queue.
class ShootRun {
public:
    ShootRun(std::shared_ptr<ViewController> vc, ShootOptions options) : vc_(std::move(vc)), options_(std::move(options)) {}

    void start() {
        vc_->onCaptureOutcome = [this](const CaptureOutcome& outcome) {
            DispatchQueue::main().async([this, outcome] { outcomes_.push_back(outcome); });
        };
        timer_.setInterval(20);
        QObject::connect(&timer_, &QTimer::timeout, [this] { poll(); });
        timer_.start();
        started_ = std::chrono::steady_clock::now();
    }

    int failures() const { return failures_; }
    const std::vector<std::string>& failureLines() const { return failureLines_; }

private:
    using Clock = std::chrono::steady_clock;

    void poll() {
        auto now = Clock::now();
        if (!sessionReady_) {
            // The first preview frame proves the camera delivers; a capture asked for earlier may
            // find the session still starting. Then the camera settles as it would while a person
            // frames the shot: pressed at the first frame, focus and exposure are still moving
            // from where the camera started and the first picture comes out blurred.
            bool live = vc_->captureSession->isRunning() && vc_->previewLayer && vc_->previewLayer->currentFrame();
            if (live && !firstFrameAt_) firstFrameAt_ = now;
            if ((firstFrameAt_ && now - *firstFrameAt_ >= kSettleTime) || now - started_ > std::chrono::seconds(20)) {
                if (options_.pro && !proAppliedAt_) {
                    // Pro mode keeps the exposure it finds; the values apply from the next frames.
                    for (const auto& note : applyProModeValues(*vc_, *options_.pro)) std::cerr << "shoot: " << note << "\n";
                    proAppliedAt_ = now;
                }
                if (proAppliedAt_ && now - *proAppliedAt_ < kProSettleTime) return;
                sessionReady_ = true;
                pressedAt_ = now;
                if (options_.count > 0) press(now);
            }
            return;
        }
        if (options_.interval && presses_ < options_.count) {
            // A countdown still running refuses the next button press: wait for it.
            const bool counting = vc_->timedShooting && vc_->timedShooting->isCountdownActive;
            if (!counting && now - pressedAt_ >= std::chrono::duration<double>(*options_.interval)) press(now);
            return;
        }
        bool idle = !vc_->isProcessingPhoto && !vc_->isCapturingLivePhoto.load() && vc_->rawCaptureDelegateCount() == 0 &&
                    (presses_ < options_.count || !vc_->isRecoveringCaptures.load());
        bool failed = std::any_of(outcomes_.begin(), outcomes_.end(), [](const CaptureOutcome& o) { return !o.success; });
        bool ended = idle && (failed || static_cast<int>(outcomes_.size()) >= expected_);
        bool timedOut = now - pressedAt_ > std::chrono::seconds(90);
        if (!ended && !timedOut) return;
        settle(timedOut);
        if (presses_ < options_.count) {
            press(now);
            return;
        }
        timer_.stop();
        QApplication::exit(0);
    }

    void settle(bool timedOut) {
        for (const auto& o : outcomes_)
            if (!o.success) {
                ++failures_;
                failureLines_.push_back(o.message);
            }
        if (timedOut) {
            ++failures_;
            failureLines_.push_back("no result within 90 s");
        } else if (static_cast<int>(outcomes_.size()) < expected_ && failures_ == 0) {
            ++failures_;
            failureLines_.push_back("the press saved less than the settings ask for");
        }
        outcomes_.clear();
        expected_ = 0;
    }

    // Sequential presses wait for the previous one's saves; with an interval the saves of all
    // presses are awaited together after the last.
    void press(Clock::time_point now) {
        expected_ += expectedSaves(*vc_);
        pressedAt_ = now;
        ++presses_;
        // For whoever counts presses against the library (scripts/killtest).
        consolePrint("shoot: press " + std::to_string(presses_));
        if (!options_.countdown) {
            vc_->按下拍照按钮();
            return;
        }
        // The timer panel's button, as a person presses it: the shutter follows the countdown.
        if (vc_->timerView && vc_->timerView->isHidden()) clickInMiddle(vc_->timerButton);
        for (Button* button : vc_->countdownButtons)
            if (button->title() == QString::number(*options_.countdown) + "s") clickInMiddle(button);
    }

    std::shared_ptr<ViewController> vc_;
    ShootOptions options_;
    QTimer timer_;
    // Continuous focus and exposure converge within about twenty frames.
    static constexpr std::chrono::milliseconds kSettleTime{700};
    static constexpr std::chrono::milliseconds kProSettleTime{300};
    std::optional<Clock::time_point> proAppliedAt_;
    Clock::time_point started_, pressedAt_;
    std::optional<Clock::time_point> firstFrameAt_;
    bool sessionReady_ = false;
    int presses_ = 0;
    int expected_ = 0;
    int failures_ = 0;
    std::vector<CaptureOutcome> outcomes_;
    std::vector<std::string> failureLines_;
};

}  // namespace

int runShootCommand(const CommandLine& line, int& argc, char** argv) {
    ShootOptionsResult parsed = parseShootOptions(line.arguments);
    if (!parsed.options) {
        std::cerr << "shoot: " << parsed.error << "\n" << kShootUsage << "\n";
        return 2;
    }
    const ShootOptions& options = *parsed.options;
    // Standard output carries the list of saved assets (or the JSON document); the app's console
    // lines go to standard error.
    setConsoleStream(stderr);

    Application app(argc, argv, DisplayMode::Headless);
    AppEnvironment env(line.home, line.library);
    applyCommandSettings(env.settings(), options.settings);
    if (auto error = prepareCameraAndLibrary(line, env, RigMode::RealTime)) {
        std::cerr << "shoot: " << *error << "\n";
        return 2;
    }
    static const PhoneAttitude attitudes[] = {PhoneAttitude::Portrait, PhoneAttitude::Portrait, PhoneAttitude::PortraitUpsideDown,
                                              PhoneAttitude::LandscapeLeft, PhoneAttitude::LandscapeRight};
    SimulatedPhone::shared()->setAttitude(attitudes[options.orientation]);

    std::set<std::string> before;
    for (const auto& a : PhotoLibrary::shared().assets()) before.insert(a.localIdentifier);

    auto controller = std::make_shared<ViewController>(ScreenProfile::phone());
    Window window(*controller);
    window.makeKeyAndVisible();
    controller->currentDeviceOrientation = options.orientation;
    if (!options.camera.empty())
        if (auto camera = cameraNamed(options.camera, controller->getAllCameras())) controller->switchToCamera(camera);

    ShootRun run(controller, options);
    run.start();
    app.exec();
    // The camera keeps running meanwhile: a press not yet exposed needs its frame.
    waitForPendingCaptures();
    controller->stopCaptureAndWaitForFrames();

    std::vector<PhotoAsset> made;
    for (const auto& a : PhotoLibrary::shared().assets())
        if (!before.count(a.localIdentifier)) made.push_back(a);
    std::reverse(made.begin(), made.end());  // oldest first, the order of the presses

    const auto folder = PhotoLibrary::shared().folder();
    if (options.json) {
        std::cout << "{\"library\": \"" << jsonEscape(folder.string()) << "\", \"presses\": " << options.count
                  << ", \"failures\": " << run.failures() << ", \"assets\": [";
        for (std::size_t i = 0; i < made.size(); ++i) {
            std::cout << (i ? ", " : "") << "{\"id\": \"" << made[i].localIdentifier << "\", \"kind\": \"" << kindOf(made[i])
                      << "\", \"resources\": [";
            for (std::size_t r = 0; r < made[i].resources.size(); ++r) {
                const auto& res = made[i].resources[r];
                std::cout << (r ? ", " : "") << "{\"file\": \"" << jsonEscape(res.fileName) << "\", \"type\": "
                          << static_cast<int>(res.type) << ", \"bytes\": " << res.byteSize << "}";
            }
            std::cout << "]}";
        }
        std::cout << "], \"errors\": [";
        for (std::size_t i = 0; i < run.failureLines().size(); ++i)
            std::cout << (i ? ", " : "") << "\"" << jsonEscape(run.failureLines()[i]) << "\"";
        std::cout << "]}\n";
    } else {
        for (const auto& a : made) {
            std::cout << kindOf(a);
            for (const auto& res : a.resources) std::cout << "  " << res.fileName << " (" << res.byteSize << " bytes)";
            std::cout << "\n";
        }
        for (const auto& f : run.failureLines()) std::cerr << "shoot: " << f << "\n";
        std::cout << made.size() << " asset(s) in " << folder.string() << "\n";
    }
    return run.failures() == 0 ? 0 : 1;
}

}  // namespace sorvel
