#include <gtest/gtest.h>

#include "CaptureTestSupport.h"

namespace sorvel::testing {
namespace {

using CaptureFault_ = CaptureFixture;

// Each fault the rig can inject must surface exactly where the app looks for it; a fault
// that is silently ignored leaves that failure path of the app untested.
TEST_F(CaptureFault_, DeviceInputCreationFails) {
    rig().injectFault(kTele, CaptureFault::DeviceInputCreation);
    auto made = DeviceInput::make(rig().device(kTele));
    ASSERT_TRUE(std::holds_alternative<CaptureError>(made));
    EXPECT_EQ(std::get<CaptureError>(made).code, CaptureErrorCode::DeviceNotAvailable);
    EXPECT_FALSE(std::get<CaptureError>(made).description.empty());
    EXPECT_TRUE(std::holds_alternative<std::shared_ptr<DeviceInput>>(DeviceInput::make(rig().device(kBackWide))));
}

TEST_F(CaptureFault_, LockFailsAndChangesNothing) {
    startSession();
    rig().injectFault(kBackWide, CaptureFault::LockFailure);
    auto error = camera().lockForConfiguration();
    ASSERT_TRUE(error.has_value());
    EXPECT_EQ(error->code, CaptureErrorCode::LockFailed);
    EXPECT_FALSE(camera().setVideoZoomFactor(2));
    EXPECT_DOUBLE_EQ(camera().videoZoomFactor(), 1.0);
}

TEST_F(CaptureFault_, CaptureErrorReachesPhotoAndFinish) {
    startSession();
    pump(2);
    rig().injectNextCaptureFault(CaptureFault::CaptureError);
    auto failed = capture(PhotoSettings::withFormat(VideoCodec::Hevc));
    EXPECT_EQ(failed->events(), (std::vector<std::string>{"willBegin", "photo", "finish"}));
    ASSERT_TRUE(failed->photoError.has_value());
    EXPECT_EQ(failed->photoError->code, CaptureErrorCode::CaptureFailed);
    EXPECT_TRUE(failed->finishError.has_value());
    EXPECT_FALSE(failed->photo->fileData.has_value());
    // Only that capture.
    auto next = capture(PhotoSettings::withFormat(VideoCodec::Hevc));
    EXPECT_FALSE(next->photoError.has_value());
}

TEST_F(CaptureFault_, MissingFileDataWithoutAnError) {
    startSession();
    pump(2);
    rig().injectNextCaptureFault(CaptureFault::MissingFileData);
    auto d = captureRaw();
    EXPECT_FALSE(d->photoError.has_value());
    ASSERT_TRUE(d->photo.has_value());
    EXPECT_FALSE(d->photo->fileDataRepresentation().has_value());
    EXPECT_TRUE(d->photo->isRawPhoto);
}

TEST_F(CaptureFault_, MovieErrorKeepsTheStill) {
    startSession();
    photo->setLivePhotoCaptureEnabled(true);
    pump(2);
    rig().injectNextCaptureFault(CaptureFault::MovieError);
    auto settings = PhotoSettings::withFormat(VideoCodec::Hevc);
    settings.livePhotoMovieFileURL = tempDir / "failed.mov";
    auto d = capture(settings);
    EXPECT_EQ(d->events(), (std::vector<std::string>{"willBegin", "photo", "movieRecorded", "movie", "finish"}));
    EXPECT_FALSE(d->photoError.has_value());
    ASSERT_TRUE(d->movieError.has_value());
    EXPECT_EQ(d->movieError->code, CaptureErrorCode::MovieFailed);
    EXPECT_FALSE(std::filesystem::exists(*settings.livePhotoMovieFileURL));
}

TEST_F(CaptureFault_, NoBayerRawFormat) {
    startSession();
    auto formats = photo->availableRawPhotoPixelFormatTypes();
    EXPECT_EQ(std::count_if(formats.begin(), formats.end(), PhotoOutput::isBayerRawPixelFormat), 1);
    rig().injectFault(kBackWide, CaptureFault::NoBayerRaw);
    formats = photo->availableRawPhotoPixelFormatTypes();
    EXPECT_FALSE(formats.empty()) << "the linear format is still offered";
    EXPECT_EQ(std::count_if(formats.begin(), formats.end(), PhotoOutput::isBayerRawPixelFormat), 0);
    pump(1);
    auto d = captureRaw();
    ASSERT_TRUE(d->photoError.has_value());
    EXPECT_EQ(d->photoError->code, CaptureErrorCode::UnsupportedSettings);
}

TEST_F(CaptureFault_, LivePhotoUnsupported) {
    rig().injectFault(kBackWide, CaptureFault::LivePhotoUnsupported);
    startSession();
    EXPECT_FALSE(photo->isLivePhotoCaptureSupported());
    photo->setLivePhotoCaptureEnabled(true);
    EXPECT_FALSE(photo->isLivePhotoCaptureEnabled());
}

TEST_F(CaptureFault_, NoMicrophone) {
    EXPECT_TRUE(CaptureDevice::defaultDevice(MediaType::Audio));
    rig().setRigFault(CaptureFault::NoMicrophone, true);
    EXPECT_EQ(CaptureDevice::defaultDevice(MediaType::Audio), nullptr);
}

TEST_F(CaptureFault_, NoVideoConnectionStillCaptures) {
    rig().injectFault(kBackWide, CaptureFault::NoVideoConnection);
    startSession();
    EXPECT_EQ(photo->connection(MediaType::Video), nullptr);
    pump(2);
    auto d = capture(PhotoSettings::withFormat(VideoCodec::Hevc));
    EXPECT_FALSE(d->photoError.has_value());
    EXPECT_EQ(d->photo->metadata["Orientation"].toInteger(), 1);
}

// Faults written in the profile must be as good as injected ones.
TEST_F(CaptureFault_, ProfileFaultsApply) {
    auto text = std::string(
        "[camera]\nid = only\nname = 后置相机\ntype = wide\nposition = back\nfaults = lock_failure, no_bayer_raw\n"
        "[rig]\nfaults = no_microphone\n");
    auto parsed = RigProfile::parse(text);
    ASSERT_TRUE(std::holds_alternative<RigProfile>(parsed)) << std::get<std::string>(parsed);
    rig().configure(std::get<RigProfile>(parsed));
    EXPECT_TRUE(rig().device("only")->lockForConfiguration().has_value());
    EXPECT_EQ(CaptureDevice::defaultDevice(MediaType::Audio), nullptr);
}

}  // namespace
}  // namespace sorvel::testing
