#pragma once
// A step-mode rig on a virtual clock with a manual main queue, and a delegate that records
// every capture callback with the thread it came on.

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <functional>
#include <set>
#include <unistd.h>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/capture/CaptureSession.h"
#include "platform/capture/PhotoOutput.h"
#include "platform/capture/VideoDataOutput.h"
#include "platform/capture/virtual/VirtualRig.h"
#include "platform/foundation/Clock.h"
#include "platform/foundation/Dispatch.h"

namespace sorvel::testing {

inline const char* kBackWide = "sorvel.rig.back.wide";
inline const char* kFront = "sorvel.rig.front";
inline const char* kTele = "sorvel.rig.back.telephoto";

class RecordingDelegate : public PhotoCaptureDelegate {
public:
    std::vector<std::string> events() {
        std::lock_guard lock(mutex_);
        return events_;
    }
    bool overlapped() const { return overlapped_; }
    std::set<std::thread::id> threads() {
        std::lock_guard lock(mutex_);
        return threads_;
    }

    void willBeginCapture(PhotoOutput&, const ResolvedPhotoSettings& s) override {
        Scope scope(*this, "willBegin");
        began = s;
    }
    void didFinishProcessingPhoto(PhotoOutput&, const CapturedPhoto& p, const CaptureStatus& e) override {
        Scope scope(*this, "photo");
        photo = p;
        photoError = e;
    }
    void didFinishRecordingLivePhotoMovie(PhotoOutput&, const std::filesystem::path&, const ResolvedPhotoSettings&) override {
        Scope scope(*this, "movieRecorded");
    }
    void didFinishProcessingLivePhotoMovie(PhotoOutput&, const std::filesystem::path& url, double d, double t,
                                           const ResolvedPhotoSettings&, const CaptureStatus& e) override {
        Scope scope(*this, "movie");
        movieFile = url, duration = d, displayTime = t, movieError = e;
    }
    void didFinishCapture(PhotoOutput&, const ResolvedPhotoSettings& s, const CaptureStatus& e) override {
        Scope scope(*this, "finish");
        finished = s;
        finishError = e;
    }

    ResolvedPhotoSettings began, finished;
    std::optional<CapturedPhoto> photo;
    CaptureStatus photoError, movieError, finishError;
    std::filesystem::path movieFile;
    double duration = 0, displayTime = 0;

private:
    struct Scope {
        Scope(RecordingDelegate& d, const char* name) : d(d) {
            if (d.active_.fetch_add(1) > 0) d.overlapped_ = true;
            std::lock_guard lock(d.mutex_);
            d.events_.push_back(name);
            d.threads_.insert(std::this_thread::get_id());
        }
        ~Scope() { d.active_.fetch_sub(1); }
        RecordingDelegate& d;
    };
    std::mutex mutex_;
    std::vector<std::string> events_;
    std::set<std::thread::id> threads_;
    std::atomic<int> active_{0};
    std::atomic<bool> overlapped_{false};
};

class CaptureFixture : public ::testing::Test {
protected:
    void SetUp() override {
        Clock::install(&clock);
        DispatchQueue::installMain(&main);
        rig().reset(RigMode::Step);
        tempDir = std::filesystem::temp_directory_path() /
                  ("sorvel-capture-" + std::to_string(::getpid()) + "-" +
                   ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(tempDir);
    }
    void TearDown() override {
        if (session) session->stopRunning();
        main.runUntilIdle();
        session.reset();
        rig().clearFaults();
        std::filesystem::remove_all(tempDir);
        DispatchQueue::installMain(nullptr);
        Clock::install(nullptr);
    }

    static VirtualRig& rig() { return VirtualRig::shared(); }

    // A session with the camera and a photo output, configured the app's way and started
    // off the main queue.
    void startSession(const std::string& cameraID = kBackWide, bool start = true) {
        session = std::make_unique<CaptureSession>();
        photo = std::make_shared<PhotoOutput>();
        session->beginConfiguration();
        auto made = DeviceInput::make(rig().device(cameraID));
        ASSERT_TRUE(std::holds_alternative<std::shared_ptr<DeviceInput>>(made));
        input = std::get<std::shared_ptr<DeviceInput>>(made);
        ASSERT_TRUE(session->canAddInput(*input));
        session->addInput(input);
        ASSERT_TRUE(session->canAddOutput(*photo));
        session->addOutput(photo);
        session->setSessionPreset(SessionPreset::Photo);
        session->commitConfiguration();
        photo->setHighResolutionCaptureEnabled(true);
        if (start) startRunning();
    }
    void startRunning() {
        DispatchQueue::global().async([s = session.get()] { s->startRunning(); });
        ASSERT_TRUE(main.runUntilIdle());
    }
    // Frames made and every hop they cause finished.
    void pump(int frames = 1) {
        for (int i = 0; i < frames; ++i) {
            clock.setNow(clock.now() + 1.0 / 30);
            rig().step();
            ASSERT_TRUE(main.runUntilIdle());
        }
    }
    CaptureDevice& camera() { return *input->device(); }
    // One capture carried through to its last callback.
    std::shared_ptr<RecordingDelegate> capture(const PhotoSettings& settings) {
        auto delegate = std::make_shared<RecordingDelegate>();
        photo->capturePhoto(settings, delegate);
        int frames = settings.livePhotoMovieFileURL ? VirtualRig::kLivePhotoHalfFrames + 1 : 1;
        pump(frames);
        return delegate;
    }
    std::shared_ptr<RecordingDelegate> captureRaw() {
        return capture(PhotoSettings::withRawPixelFormat(kPixelFormatBayerRGGB12));
    }
    void configure(const std::function<void(CaptureDevice&)>& change) {
        ASSERT_FALSE(camera().lockForConfiguration().has_value());
        change(camera());
        camera().unlockForConfiguration();
    }

    VirtualClock clock;
    ManualMainQueue main{clock};
    std::unique_ptr<CaptureSession> session;
    std::shared_ptr<PhotoOutput> photo;
    std::shared_ptr<DeviceInput> input;
    std::filesystem::path tempDir;
};

}  // namespace sorvel::testing
