#include <gtest/gtest.h>

#include "CaptureTestSupport.h"
#include "platform/image/Decode.h"
#include "platform/image/ImageSource.h"
#include "platform/image/RenderContext.h"

namespace sorvel::testing {
namespace {

using CapturePhoto_ = CaptureFixture;

// Callbacks out of order, overlapping, or on the caller's thread break the app's delegates,
// which run the whole still processing inside them.
TEST_F(CapturePhoto_, StillAndRawCallbacksArriveInOrderOnTheCallbackQueue) {
    startSession();
    pump(3);
    for (bool raw : {false, true}) {
        auto settings = raw ? PhotoSettings::withRawPixelFormat(kPixelFormatBayerRGGB12)
                            : PhotoSettings::withFormat(VideoCodec::Hevc);
        auto delegate = std::make_shared<RecordingDelegate>();
        photo->capturePhoto(settings, delegate);
        EXPECT_TRUE(delegate->events().empty()) << "a step-mode capture began before any frame";
        pump(1);
        EXPECT_EQ(delegate->events(), (std::vector<std::string>{"willBegin", "photo", "finish"})) << raw;
        EXPECT_FALSE(delegate->overlapped());
        EXPECT_EQ(delegate->threads().size(), 1u);
        EXPECT_EQ(delegate->threads().count(std::this_thread::get_id()), 0u);
        EXPECT_EQ(delegate->began.uniqueID, settings.uniqueID());
        EXPECT_EQ(delegate->finished.uniqueID, settings.uniqueID());
        EXPECT_FALSE(delegate->photoError || delegate->finishError);
        ASSERT_TRUE(delegate->photo && delegate->photo->fileData);
        EXPECT_EQ(delegate->photo->isRawPhoto, raw);
        EXPECT_EQ(delegate->began.livePhotoMovieDimensions, (Dimensions{}));
    }
    EXPECT_NE(PhotoSettings::withFormat(VideoCodec::Hevc).uniqueID(), PhotoSettings::withFormat(VideoCodec::Hevc).uniqueID());
}

// The app turns pictures upright from the file's orientation tag and saves Exif and GPS as
// given: a wrong tag or a lost dictionary shows up in every saved photo.
TEST_F(CapturePhoto_, HeicCarriesSensorPixelsOrientationExifAndGps) {
    startSession();
    configure([](CaptureDevice& d) { d.setExposureTargetBias(-1, nullptr); });
    pump(10);
    auto settings = PhotoSettings::withFormat(VideoCodec::Hevc);
    settings.flashMode = FlashMode::On;
    settings.metadata["{GPS}"] = Value(Dictionary{{"Latitude", Value(33.86)}, {"LatitudeRef", Value("S")},
                                                  {"Longitude", Value(151.21)}, {"LongitudeRef", Value("E")}});
    auto* connection = photo->connection(MediaType::Video);
    ASSERT_NE(connection, nullptr);
    connection->setVideoOrientation(VideoOrientation::Portrait);
    double exposure = camera().exposureDuration();
    auto delegate = capture(settings);
    ASSERT_TRUE(delegate->photo && delegate->photo->fileData);
    auto source = image::ImageSource::make(*delegate->photo->fileData);
    ASSERT_TRUE(source);
    EXPECT_EQ(source->type(), "public.heic");
    EXPECT_EQ(source->width(), 4032);
    EXPECT_EQ(source->height(), 3024);
    EXPECT_EQ(source->orientation(), 6);
    const Dictionary& props = source->properties();
    const Value& exif = props.at("{Exif}");
    EXPECT_NEAR(exif["ExposureTime"].toReal(), exposure, exposure * 0.01);
    EXPECT_EQ(exif["LensModel"].toString(), camera().description().lensModel);
    EXPECT_NEAR(exif["FNumber"].toReal(), 1.6, 1e-6);
    EXPECT_NEAR(exif["FocalLength"].toReal(), 5.7, 1e-6);
    EXPECT_NEAR(exif["ExposureBiasValue"].toReal(), -1.0, 1e-6);
    EXPECT_EQ(exif["Flash"].toInteger(), 9);  // fired, mode "on"
    EXPECT_EQ(exif["WhiteBalance"].toInteger(), 0);
    EXPECT_FALSE(exif["DateTimeOriginal"].toString().value_or("").empty());
    ASSERT_NE(exif["ISOSpeedRatings"].arrayValue(), nullptr);
    EXPECT_EQ(props.at("{TIFF}")["Make"].toString(), "Sorvel");
    EXPECT_FALSE(props.at("{TIFF}")["Model"].toString().value_or("").empty());
    EXPECT_NEAR(props.at("{GPS}")["Latitude"].toReal(), 33.86, 1e-9);
    EXPECT_EQ(props.at("{GPS}")["LatitudeRef"].toString(), "S");
    EXPECT_TRUE(delegate->finished.isFlashEnabled);
    EXPECT_EQ(delegate->photo->metadata["Orientation"].toInteger(), 6);
    // Shown upright by viewers that apply HEIF transform boxes rather than the Exif tag.
    const Bytes& file = *delegate->photo->fileData;
    auto info = image::decode::heifInfo(file.data(), file.size());
    ASSERT_TRUE(info);
    EXPECT_EQ(info->transformOrientation, 6);

    // Landscape and a mirrored front camera give their own tags.
    connection->setVideoOrientation(VideoOrientation::LandscapeRight);
    auto landscape = capture(PhotoSettings::withFormat(VideoCodec::Hevc));
    EXPECT_EQ(image::ImageSource::make(*landscape->photo->fileData)->orientation(), 1);
    connection->setVideoOrientation(VideoOrientation::Portrait);
    connection->setVideoMirrored(true);
    auto mirrored = capture(PhotoSettings::withFormat(VideoCodec::Hevc));
    EXPECT_EQ(image::ImageSource::make(*mirrored->photo->fileData)->orientation(), 5);
    const Bytes& mirroredFile = *mirrored->photo->fileData;
    EXPECT_EQ(image::decode::heifInfo(mirroredFile.data(), mirroredFile.size())->transformOrientation, 5);
}

// A processed photo that is not the exposed scene (black, clipped, or wrongly balanced) is
// worthless to every later step: the grey chart patch must come out near middle grey and
// neutral once AE has settled.
TEST_F(CapturePhoto_, ProcessedPhotoShowsTheChartNeutralAndExposed) {
    startSession();
    configure([](CaptureDevice& d) { d.setFocusModeLocked(float(d.description().minFocusDistance / Scene::kChartDepth), nullptr); });
    pump(40);
    auto delegate = capture(PhotoSettings::withFormat(VideoCodec::Hevc));
    auto source = image::ImageSource::make(*delegate->photo->fileData);
    ASSERT_TRUE(source);
    auto picture = source->image();
    ASSERT_TRUE(picture);
    auto bitmap = image::RenderContext().render(*picture, picture->extent(), image::PixelFormat::RGBA8,
                                                image::ColorSpace::SRGB);
    ASSERT_TRUE(bitmap);
    auto c = Scene::chartPatchCentre(21);
    auto p = Scene::sensorPointFor(camera().description(), 1.0, c[0], c[1]);
    int x = int(p[0] * bitmap->width()), y = int(p[1] * bitmap->height());
    double sum[3] = {};
    int n = 0;
    for (int yy = y - 20; yy < y + 20; ++yy)
        for (int xx = x - 20; xx < x + 20; ++xx, ++n)
            for (int ch = 0; ch < 3; ++ch) sum[ch] += bitmap->row(yy)[4 * xx + ch];
    for (double& s : sum) s /= n;
    EXPECT_NEAR(sum[0], sum[1], 6);
    EXPECT_NEAR(sum[2], sum[1], 6);
    EXPECT_GT(sum[1], 60);
    EXPECT_LT(sum[1], 160);
}

}  // namespace
}  // namespace sorvel::testing
