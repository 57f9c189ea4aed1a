#include <gtest/gtest.h>

#include "CaptureTestSupport.h"
#include "platform/capture/PreviewSink.h"

namespace sorvel::testing {
namespace {

class FrameCounter : public VideoFrameDelegate {
public:
    void captureOutput(VideoDataOutput&, const SampleBuffer& b, CaptureConnection&) override {
        std::lock_guard lock(mutex);
        frames.push_back(b);
        threads.insert(std::this_thread::get_id());
    }
    std::mutex mutex;
    std::vector<SampleBuffer> frames;
    std::set<std::thread::id> threads;
};

using CaptureSession_ = CaptureFixture;

// A stop that leaves the rig ticking for the session (or a start that does not resume it)
// would deliver frames while stopped or none after a restart.
TEST_F(CaptureSession_, StartStopCyclesDeliverFramesOnlyWhileRunning) {
    startSession(kBackWide, false);
    auto video = std::make_shared<VideoDataOutput>();
    video->setAlwaysDiscardsLateVideoFrames(false);
    auto counter = std::make_shared<FrameCounter>();
    auto queue = DispatchQueue::makeSerial("VideoDataOutputQueue");
    video->setSampleBufferDelegate(counter, queue);
    ASSERT_TRUE(session->canAddOutput(*video));
    session->addOutput(video);
    EXPECT_FALSE(session->canAddOutput(*video));

    for (int cycle = 0; cycle < 4; ++cycle) {
        pump(2);
        std::size_t before = counter->frames.size();
        startRunning();
        EXPECT_TRUE(session->isRunning());
        pump(3);
        EXPECT_EQ(counter->frames.size(), before + 3) << "cycle " << cycle;
        session->stopRunning();
        EXPECT_FALSE(session->isRunning());
        pump(2);
        EXPECT_EQ(counter->frames.size(), before + 3) << "frames after stop, cycle " << cycle;
    }
    ASSERT_FALSE(counter->frames.empty());
    auto& frame = *counter->frames.back().imageBuffer;
    EXPECT_EQ(frame.width, 1280);
    EXPECT_EQ(frame.height, 960);
    EXPECT_EQ(frame.bytesPerRow, 1280 * 4);
    EXPECT_EQ(counter->threads.size(), 1u);
    EXPECT_EQ(counter->threads.count(std::this_thread::get_id()), 0u);
}

// Late-frame dropping that never resets would freeze the preview after the first frame.
TEST_F(CaptureSession_, DiscardingLateFramesStillDeliversOncePerDrainedStep) {
    startSession();
    auto video = std::make_shared<VideoDataOutput>();
    auto counter = std::make_shared<FrameCounter>();
    video->setSampleBufferDelegate(counter, DispatchQueue::makeSerial("VideoDataOutputQueue"));
    session->addOutput(video);
    pump(5);
    EXPECT_EQ(counter->frames.size(), 5u);
}

// Two camera inputs at once, or an input added twice, would leave the rig guessing which
// camera feeds the outputs.
TEST_F(CaptureSession_, OneCameraInputAtATimeAndSwitching) {
    startSession();
    auto tele = std::get<std::shared_ptr<DeviceInput>>(DeviceInput::make(rig().device(kTele)));
    EXPECT_FALSE(session->canAddInput(*tele));
    EXPECT_FALSE(session->canAddInput(*input));
    auto mic = DeviceInput::make(CaptureDevice::defaultDevice(MediaType::Audio));
    ASSERT_TRUE(std::holds_alternative<std::shared_ptr<DeviceInput>>(mic));
    EXPECT_TRUE(session->canAddInput(*std::get<std::shared_ptr<DeviceInput>>(mic)));

    session->beginConfiguration();
    session->removeInput(*input);
    ASSERT_TRUE(session->canAddInput(*tele));
    session->addInput(tele);
    session->commitConfiguration();
    EXPECT_EQ(session->videoDevice()->uniqueID(), kTele);
    pump(1);
}

// A capture asked for while the session stops must still be answered, with errors and in
// order, or the app's busy flags never clear.
TEST_F(CaptureSession_, CaptureRequestedWhileStoppingIsAnsweredWithErrors) {
    startSession();
    pump(2);
    auto delegate = std::make_shared<RecordingDelegate>();
    photo->capturePhoto(PhotoSettings::withFormat(VideoCodec::Hevc), delegate);
    session->stopRunning();
    pump(2);
    EXPECT_EQ(delegate->events(), (std::vector<std::string>{"photo", "finish"}));
    ASSERT_TRUE(delegate->photoError.has_value());
    EXPECT_EQ(delegate->photoError->code, CaptureErrorCode::SessionNotRunning);
    ASSERT_TRUE(delegate->finishError.has_value());

    // And after the stop has finished, too.
    auto late = std::make_shared<RecordingDelegate>();
    photo->capturePhoto(PhotoSettings::withFormat(VideoCodec::Hevc), late);
    pump(1);
    EXPECT_EQ(late->events(), (std::vector<std::string>{"photo", "finish"}));
    EXPECT_TRUE(late->finishError.has_value());
}

// Device discovery out of order or with the wrong names breaks the camera buttons.
TEST_F(CaptureSession_, DiscoveryListsTheFourCamerasAndTheMicrophone) {
    auto all = CaptureDevice::discover({DeviceType::BuiltInWideAngleCamera, DeviceType::BuiltInUltraWideCamera,
                                        DeviceType::BuiltInTelephotoCamera},
                                       MediaType::Video, DevicePosition::Unspecified);
    ASSERT_EQ(all.size(), 4u);
    EXPECT_EQ(all[0]->localizedName(), "前置相机");
    EXPECT_EQ(all[0]->position(), DevicePosition::Front);
    EXPECT_EQ(all[1]->localizedName(), "后置超广角相机");
    EXPECT_EQ(all[1]->deviceType(), DeviceType::BuiltInUltraWideCamera);
    EXPECT_EQ(all[2]->localizedName(), "后置广角相机");
    EXPECT_EQ(all[3]->localizedName(), "后置长焦相机");
    EXPECT_EQ(all[3]->deviceType(), DeviceType::BuiltInTelephotoCamera);
    auto wide = CaptureDevice::defaultDevice(DeviceType::BuiltInWideAngleCamera, MediaType::Video,
                                             DevicePosition::Unspecified);
    ASSERT_TRUE(wide);
    EXPECT_EQ(wide->position(), DevicePosition::Back);
    EXPECT_TRUE(wide->hasTorch());
    EXPECT_FALSE(all[0]->hasTorch());
    EXPECT_EQ(CaptureDevice::discover({DeviceType::BuiltInWideAngleCamera}, MediaType::Video, DevicePosition::Front).size(),
              1u);
    auto mic = CaptureDevice::defaultDevice(MediaType::Audio);
    ASSERT_TRUE(mic);
    EXPECT_TRUE(mic->hasMediaType(MediaType::Audio));
}

// A preview turned the wrong way, or a tap mapped without the turn, focuses on the wrong
// part of the picture.
TEST_F(CaptureSession_, PreviewTurnsFramesAndMapsViewPointsToTheSensor) {
    startSession();
    PreviewSink preview;
    preview.setSession(session.get());
    preview.setBounds(300, 400);
    EXPECT_EQ(preview.currentFrame(), nullptr);
    pump(1);
    auto frame = preview.currentFrame();
    ASSERT_TRUE(frame);
    EXPECT_EQ(frame->width, 960);
    EXPECT_EQ(frame->height, 1280);
    // Portrait, back camera: the view's top left is the sensor's bottom left... the sensor
    // point is (y, 1 - x) of the view.
    auto p = preview.captureDevicePointOfInterestForPoint(75, 100);
    EXPECT_NEAR(p.x, 0.25, 1e-9);
    EXPECT_NEAR(p.y, 0.75, 1e-9);
    // A wider view letterboxes: its left bar maps to the picture's edge.
    preview.setBounds(600, 400);
    p = preview.captureDevicePointOfInterestForPoint(10, 200);
    EXPECT_NEAR(p.y, 1.0, 1e-9);
    EXPECT_NEAR(p.x, 0.5, 1e-9);
    preview.connection().setVideoOrientation(VideoOrientation::LandscapeRight);
    EXPECT_EQ(preview.currentFrame()->width, 1280);
    preview.setSession(nullptr);
}

// A selfie preview that is not mirrored feels wrong to every user; a tap on it must still
// land on the sensor point under the finger.
TEST_F(CaptureSession_, FrontPreviewIsMirroredAndTapsFollowTheMirror) {
    startSession(kFront);
    PreviewSink preview;
    preview.setSession(session.get());
    preview.setBounds(300, 400);
    pump(1);
    auto mirrored = preview.currentFrame();
    auto p = preview.captureDevicePointOfInterestForPoint(75, 100);
    EXPECT_NEAR(p.x, 0.25, 1e-9);
    EXPECT_NEAR(p.y, 0.25, 1e-9);
    preview.connection().setAutomaticallyAdjustsVideoMirroring(false);
    auto plain = preview.currentFrame();
    ASSERT_TRUE(mirrored && plain);
    // The same row, read in opposite directions.
    const auto* a = reinterpret_cast<const std::uint32_t*>(mirrored->bgra.data());
    const auto* b = reinterpret_cast<const std::uint32_t*>(plain->bgra.data());
    int w = plain->width;
    for (int x : {0, 100, 500, w - 1}) EXPECT_EQ(a[600 * w + x], b[600 * w + (w - 1 - x)]) << x;
    preview.setSession(nullptr);
}

}  // namespace
}  // namespace sorvel::testing
