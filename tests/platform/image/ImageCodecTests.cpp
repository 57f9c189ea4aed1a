// Encoding and decoding: HEIC round trip with metadata, JPEG and PNG, the real example.heic.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include <libheif/heif.h>

#include "TestImages.h"
#include "platform/image/Exif.h"
#include "platform/image/ImageDestination.h"
#include "platform/image/ImageSource.h"

namespace sorvel::image {
namespace {

const std::string kTestData = SORVEL_TESTDATA_DIR;

Dictionary sampleMetadata() {
    Dictionary exif{{"ExposureTime", 1.0 / 120},
                    {"FNumber", 1.78},
                    {"ISOSpeedRatings", Array{Value(50), Value(64)}},
                    {"FocalLength", 6.86},
                    {"LensModel", "iPhone 15 Pro back triple camera 6.86mm f/1.78"},
                    {"LensMake", "Apple"},
                    {"DateTimeOriginal", "2026:12:06 10:11:12"},
                    {"ExposureBiasValue", -0.7},
                    {"ExifVersion", Array{Value(2), Value(3), Value(2)}},
                    {"Flash", 16},
                    {"PixelXDimension", 4032},
                    {"LensSpecification", Array{Value(2.22), Value(9.0), Value(1.78), Value(2.8)}},
                    {"BrightnessValue", -1.25}};
    Dictionary gps{{"Latitude", 33.86},         {"LatitudeRef", "S"},     {"Longitude", 151.2094321},
                   {"LongitudeRef", "E"},       {"Altitude", 58.25},      {"AltitudeRef", 0},
                   {"DateStamp", "2026:12:06"}, {"TimeStamp", "09:11:12.35"}, {"Speed", 0.0},
                   {"ImgDirection", 271.1875}};
    return Dictionary{{"{Exif}", exif}, {"{GPS}", gps}};
}

// Compares every field written with what came back: numbers to 1e-7, the rest exactly.
void expectSameFields(const Dictionary& written, const Dictionary& read, const std::string& where) {
    for (const auto& [key, value] : written) {
        auto it = read.find(key);
        ASSERT_NE(it, read.end()) << where << ": missing " << key;
        if (value.isNumber()) {
            EXPECT_NEAR(it->second.toReal(), value.toReal(), 1e-7) << where << " " << key;
        } else if (const Array* a = value.arrayValue()) {
            const Array* b = it->second.arrayValue();
            ASSERT_TRUE(b) << where << " " << key;
            ASSERT_EQ(a->size(), b->size()) << where << " " << key;
            for (std::size_t i = 0; i < a->size(); ++i)
                EXPECT_NEAR((*a)[i].toReal(), (*b)[i].toReal(), 1e-7) << where << " " << key << "[" << i << "]";
        } else {
            EXPECT_EQ(it->second, value) << where << " " << key << ": " << it->second.describe();
        }
    }
}

// 33.86 written as degrees/minutes/seconds with small denominators comes back as 33.8599999.
TEST(ImageExif, DictionaryToBlockAndBackIsExact) {
    Dictionary m = sampleMetadata();
    auto block = exif::write(m);
    ASSERT_TRUE(block);
    auto back = exif::read(block->data(), block->size());
    ASSERT_TRUE(back);
    expectSameFields(*m["{Exif}"].dictionaryValue(), *(*back)["{Exif}"].dictionaryValue(), "{Exif}");
    expectSameFields(*m["{GPS}"].dictionaryValue(), *(*back)["{GPS}"].dictionaryValue(), "{GPS}");
    const Array* iso = (*back)["{Exif}"]["ISOSpeedRatings"].arrayValue();
    ASSERT_TRUE(iso);
    EXPECT_EQ((*iso)[0].integerValue(), 50);
    EXPECT_EQ((*iso)[1].integerValue(), 64);
    EXPECT_EQ((*back)["{GPS}"]["Latitude"].realValue(), 33.86);
    EXPECT_EQ((*back)["{Exif}"]["ExposureTime"].realValue(), 1.0 / 120);
    EXPECT_FALSE(exif::write(Dictionary{{"{Exif}", Dictionary{}}}));
}

Bitmap gradient(int w, int h) {
    Bitmap b = *Bitmap::make(w, h, PixelFormat::RGBA8, ColorSpace::SRGB);
    for (int r = 0; r < h; ++r)
        for (int c = 0; c < w; ++c) {
            std::uint8_t* p = b.mutableRow(r) + 4 * c;
            p[0] = std::uint8_t(40 + 160 * c / w), p[1] = std::uint8_t(200 - 150 * r / h), p[2] = 120, p[3] = 255;
        }
    return b;
}

double meanAbsDifference(const Bitmap& a, const Bitmap& b) {
    double sum = 0;
    for (int r = 0; r < a.height(); ++r)
        for (int i = 0; i < a.width() * 4; ++i) sum += std::abs(a.row(r)[i] - b.row(r)[i]);
    return sum / (a.width() * a.height() * 4.0);
}

// The still path: rendered bitmap -> HEIC with the source's {Exif} and {GPS} -> read back.
TEST(ImageHeic, RoundTripKeepsSizeColourAndEveryExifGpsField) {
    Bitmap src = gradient(161, 97);  // odd sizes exercise 4:2:0 padding
    Dictionary options = sampleMetadata();
    options[kLossyCompressionQuality] = 0.9;
    options[kOptimizeColorForSharing] = true;
    options[kHasAlpha] = false;
    options[kColorModel] = kColorModelRGB;
    options[kProfileName] = kColorSpaceSRGB;
    Bytes out;
    auto dest = ImageDestination::make(out, kTypeHEIC);
    ASSERT_TRUE(dest);
    dest->addImage(src, options);
    ASSERT_TRUE(dest->finalize());
    EXPECT_FALSE(dest->finalize()) << "second finalize";

    auto source = ImageSource::make(out);
    ASSERT_TRUE(source);
    EXPECT_EQ(source->type(), "public.heic");
    EXPECT_EQ(source->width(), 161);
    EXPECT_EQ(source->height(), 97);
    expectSameFields(*options["{Exif}"].dictionaryValue(), *Value(source->properties())["{Exif}"].dictionaryValue(), "{Exif}");
    expectSameFields(*options["{GPS}"].dictionaryValue(), *Value(source->properties())["{GPS}"].dictionaryValue(), "{GPS}");

    auto image = source->image();
    ASSERT_TRUE(image);
    EXPECT_EQ(image->extent(), (Rect{0, 0, 161, 97}));
    auto px = test::renderRGBA8(*image, image->extent());
    ASSERT_TRUE(px);
    EXPECT_LT(meanAbsDifference(src, *px), 2.0);
}

// Display P3 goes in as an nclx box (P3 primaries, sRGB transfer, full range) and comes back
// tagged P3, so the colours match after conversion.
TEST(ImageHeic, DisplayP3ProfileIsWrittenAndHonoured) {
    Bitmap src = gradient(64, 48);
    Bytes out;
    auto dest = ImageDestination::make(out, kTypeHEIC);
    dest->addImage(src, {{kLossyCompressionQuality, 0.95}, {kProfileName, kColorSpaceDisplayP3}});
    ASSERT_TRUE(dest->finalize());
    auto image = Image::fromBytes(out);
    ASSERT_TRUE(image);
    auto px = test::renderRGBA8(*image, image->extent());
    EXPECT_LT(meanAbsDifference(src, *px), 2.0);
    // The colr box: "colr" "nclx", primaries (12 = P3), transfer (13 = sRGB), matrix, full range.
    const char tag[] = "colrnclx";
    auto at = std::search(out.begin(), out.end(), tag, tag + 8);
    ASSERT_NE(at, out.end()) << "no nclx colour box";
    std::size_t i = std::size_t(at - out.begin()) + 8;
    ASSERT_LE(i + 7, out.size());
    EXPECT_EQ((out[i] << 8) | out[i + 1], 12) << "primaries";
    EXPECT_EQ((out[i + 2] << 8) | out[i + 3], 13) << "transfer";
    EXPECT_EQ(out[i + 6] & 0x80, 0x80) << "full range";
}

TEST(ImageHeic, QualityZeroStillGivesAValidFile) {
    Bytes out;
    auto dest = ImageDestination::make(out, kTypeHEIC);
    dest->addImage(gradient(64, 64), {{kLossyCompressionQuality, 0.0}});
    ASSERT_TRUE(dest->finalize());
    auto image = Image::fromBytes(out);
    ASSERT_TRUE(image);
    EXPECT_EQ(image->extent(), (Rect{0, 0, 64, 64}));
}

TEST(ImageHeic, DestinationRefusesUnknownTypeAndNoImage) {
    Bytes out;
    EXPECT_FALSE(ImageDestination::make(out, "public.gif"));
    EXPECT_FALSE(ImageDestination::make(out, kTypeHEIC, 2));
    auto dest = ImageDestination::make(out, kTypeHEIC);
    EXPECT_FALSE(dest->finalize());
    EXPECT_TRUE(out.empty());
}

TEST(ImageCodec, JpegAndPngEncodeAndDecode) {
    Bitmap src = gradient(33, 21);
    for (const char* type : {kTypeJPEG, kTypePNG}) {
        Bytes out;
        auto dest = ImageDestination::make(out, type);
        dest->addImage(src, {{kLossyCompressionQuality, 0.95}, {"{Exif}", Dictionary{{"LensModel", "Test lens"}}}});
        ASSERT_TRUE(dest->finalize()) << type;
        auto source = ImageSource::make(out);
        ASSERT_TRUE(source) << type;
        EXPECT_EQ(source->type(), type);
        EXPECT_EQ(source->width(), 33);
        EXPECT_EQ(source->height(), 21);
        if (std::string(type) == kTypeJPEG) {
            EXPECT_EQ(Value(source->properties())["{Exif}"]["LensModel"], Value("Test lens"));
        }
        auto image = source->image();
        ASSERT_TRUE(image) << type;
        auto px = test::renderRGBA8(*image, image->extent());
        ASSERT_TRUE(px);
        EXPECT_LT(meanAbsDifference(src, *px), std::string(type) == kTypePNG ? 0.001 : 3.0) << type;
    }
}

// A JPEG whose Exif says "rotate 90": the pixels stay as stored, the source reports 6.
TEST(ImageCodec, FileOrientationIsReportedNotApplied) {
    Bytes out;
    auto dest = ImageDestination::make(out, kTypeJPEG);
    dest->addImage(gradient(40, 20), {{"{TIFF}", Dictionary{{"Orientation", 6}}}});
    ASSERT_TRUE(dest->finalize());
    auto source = ImageSource::make(out);
    ASSERT_TRUE(source);
    EXPECT_EQ(source->orientation(), 6);
    EXPECT_EQ(Value(source->properties())["Orientation"], Value(6));
    EXPECT_EQ(source->image()->extent(), (Rect{0, 0, 40, 20}));
}

TEST(ImageHeic, RealExampleDecodesAtItsTrueSize) {
    Bytes bytes = test::readFile(kTestData + "/heic/example.heic");
    ASSERT_FALSE(bytes.empty()) << "missing " << kTestData << "/heic/example.heic";
    auto source = ImageSource::make(bytes);
    ASSERT_TRUE(source);
    EXPECT_EQ(source->width(), 1280);
    EXPECT_EQ(source->height(), 854);
    EXPECT_EQ(Value(source->properties())["PixelWidth"], Value(1280));
    auto image = Image::fromBytes(bytes);
    ASSERT_TRUE(image);
    EXPECT_EQ(image->extent(), (Rect{0, 0, 1280, 854}));
    auto px = test::renderRGBA8(*image, image->extent());
    ASSERT_TRUE(px);
    // Not a flat or black picture: the grid tiles were all decoded and placed.
    double sum = 0;
    for (int r = 0; r < px->height(); r += 7)
        for (int c = 0; c < px->width(); c += 7) sum += px->row(r)[4 * c + 1];
    EXPECT_GT(sum, 0);
    std::string ref = std::string(SORVEL_BINARY_DIR) + "/example-ref.png";
    std::string cmd = "heif-convert " + kTestData + "/heic/example.heic " + ref + " > /dev/null 2>&1";
    if (std::system(cmd.c_str()) == 0) {
        // heif-convert writes every top-level image; the primary comes first ("-1").
        auto refImage = Image::fromBytes(test::readFile(std::string(SORVEL_BINARY_DIR) + "/example-ref-1.png"));
        ASSERT_TRUE(refImage);
        auto refPx = test::renderRGBA8(*refImage, refImage->extent());
        ASSERT_TRUE(refPx);
        ASSERT_EQ(refPx->width(), 1280);
        EXPECT_LT(meanAbsDifference(*refPx, *px), 1.0) << "pixels differ from heif-convert's";
    }
}

}  // namespace
}  // namespace sorvel::image

namespace sorvel::image {
namespace {

// Quadrants of four colours: any wrong turn or mirror moves a colour to another corner.
Bitmap quadrants(int w, int h) {
    Bitmap b = *Bitmap::make(w, h, PixelFormat::RGBA8, ColorSpace::SRGB);
    const std::uint8_t colours[4][3] = {{220, 30, 30}, {30, 200, 40}, {30, 40, 220}, {230, 220, 40}};
    for (int r = 0; r < h; ++r)
        for (int c = 0; c < w; ++c) {
            const std::uint8_t* k = colours[(r >= h / 2 ? 2 : 0) + (c >= w / 2 ? 1 : 0)];
            std::uint8_t* p = b.mutableRow(r) + 4 * c;
            p[0] = k[0], p[1] = k[1], p[2] = k[2], p[3] = 255;
        }
    return b;
}

// A HEIC whose irot/imir boxes libheif writes for orientation `o` (libheif 1.15 also turns the
// pixels so that the file shows the input upright).
Bytes heicWithTransformBoxes(const Bitmap& src, int o) {
    heif_context* ctx = heif_context_alloc();
    heif_encoder* enc = nullptr;
    heif_context_get_encoder_for_format(ctx, heif_compression_HEVC, &enc);
    heif_encoder_set_lossy_quality(enc, 90);
    heif_image* img = nullptr;
    heif_image_create(src.width(), src.height(), heif_colorspace_RGB, heif_chroma_interleaved_RGB, &img);
    heif_image_add_plane(img, heif_channel_interleaved, src.width(), src.height(), 8);
    int stride = 0;
    std::uint8_t* plane = heif_image_get_plane(img, heif_channel_interleaved, &stride);
    for (int y = 0; y < src.height(); ++y)
        for (int x = 0; x < src.width(); ++x)
            for (int c = 0; c < 3; ++c) plane[y * stride + 3 * x + c] = src.row(y)[4 * x + c];
    heif_encoding_options* options = heif_encoding_options_alloc();
    options->image_orientation = static_cast<heif_orientation>(o);
    heif_context_encode_image(ctx, img, enc, options, nullptr);
    Bytes out;
    heif_writer writer{1, [](heif_context*, const void* data, std::size_t size, void* user) {
                           auto* b = static_cast<Bytes*>(user);
                           b->insert(b->end(), static_cast<const std::uint8_t*>(data),
                                     static_cast<const std::uint8_t*>(data) + size);
                           return heif_error{heif_error_Ok, heif_suberror_Unspecified, ""};
                       }};
    heif_context_write(ctx, &writer, &out);
    heif_encoding_options_free(options);
    heif_image_release(img);
    heif_encoder_release(enc);
    heif_context_free(ctx);
    return out;
}

// HEIF irot/imir boxes: reported by ImageSource, not applied by decoding; applying the reported
// value with oriented() must show what libheif's own reader (heif-convert) shows.
TEST(ImageHeic, TransformBoxesAreReportedNotAppliedAndMatchLibheifDisplay) {
    Bitmap src = quadrants(64, 48);
    const bool haveConvert = std::system("which heif-convert > /dev/null 2>&1") == 0;
    for (int o = 1; o <= 8; ++o) {
        Bytes out = heicWithTransformBoxes(src, o);
        auto source = ImageSource::make(out);
        ASSERT_TRUE(source) << o;
        const int reported = source->orientation();
        EXPECT_EQ(reported, o);
        auto image = Image::fromBytes(out);
        ASSERT_TRUE(image);
        EXPECT_EQ(image->extent(), (Rect{0, 0, double(source->width()), double(source->height())})) << o;
        if (!haveConvert) continue;
        std::string heic = std::string(SORVEL_BINARY_DIR) + "/orient-" + std::to_string(o) + ".heic";
        std::string png = std::string(SORVEL_BINARY_DIR) + "/orient-" + std::to_string(o) + ".png";
        FILE* f = std::fopen(heic.c_str(), "wb");
        std::fwrite(out.data(), 1, out.size(), f);
        std::fclose(f);
        std::string cmd = "heif-convert " + heic + " " + png + " > /dev/null 2>&1";
        ASSERT_EQ(std::system(cmd.c_str()), 0);
        auto shown = Image::fromBytes(test::readFile(png));
        ASSERT_TRUE(shown);
        Image ours = image->oriented(reported);
        ASSERT_EQ(ours.extent(), shown->extent()) << "orientation " << o << " reported " << reported;
        auto a = test::renderRGBA8(ours, ours.extent());
        auto b = test::renderRGBA8(*shown, shown->extent());
        EXPECT_LT(meanAbsDifference(*a, *b), 3.0) << "orientation " << o << " reported " << reported;
    }
}

}  // namespace
}  // namespace sorvel::image
