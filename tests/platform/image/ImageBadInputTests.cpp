// Outside bytes that are broken, hostile or odd: fail with nothing, never crash or allocate
// gigabytes.
#include <gtest/gtest.h>

#include <cstring>
#include <dirent.h>
#include <random>

#include "TestImages.h"
#include "platform/image/ImageDestination.h"
#include "platform/image/ImageSource.h"

namespace sorvel::image {
namespace {

Bytes encoded(const char* type, int w, int h) {
    Bytes out;
    auto dest = ImageDestination::make(out, type);
    dest->addImage(test::noiseBitmap(w, h, 1), {{kLossyCompressionQuality, 0.5}});
    EXPECT_TRUE(dest->finalize());
    return out;
}

TEST(ImageBadInput, EmptyAndRandomBytesGiveNothing) {
    EXPECT_FALSE(ImageSource::make(Bytes{}));
    EXPECT_FALSE(Image::fromBytes(Bytes{}));
    EXPECT_FALSE(ImageSource::make(nullptr, 0));
    std::mt19937 rng(42);
    for (int i = 0; i < 200; ++i) {
        Bytes b(std::size_t(rng() % 4096));
        for (auto& x : b) x = std::uint8_t(rng());
        // Half of them start like a real file so the parsers get past the magic.
        if (i % 4 == 1 && b.size() > 3) b[0] = 0xFF, b[1] = 0xD8, b[2] = 0xFF;
        if (i % 4 == 2 && b.size() > 12) std::memcpy(b.data(), "\0\0\0\x18" "ftypheic", 12);
        if (i % 4 == 3 && b.size() > 8) std::memcpy(b.data(), "\x89PNG\r\n\x1a\n", 8);
        (void)ImageSource::make(b);
        (void)Image::fromBytes(b);
    }
}

// Every prefix length of real files: each decoder meets end-of-data in every structure.
TEST(ImageBadInput, TruncatedFilesFailOrDecodeCleanly) {
    for (const char* type : {kTypeHEIC, kTypeJPEG, kTypePNG}) {
        Bytes full = encoded(type, 48, 40);
        ASSERT_TRUE(Image::fromBytes(full)) << type;
        for (std::size_t n = 0; n < full.size(); n += std::max<std::size_t>(1, full.size() / 97)) {
            Bytes cut(full.begin(), full.begin() + std::ptrdiff_t(n));
            auto image = Image::fromBytes(cut);
            if (image) {
                EXPECT_EQ(image->extent(), (Rect{0, 0, 48, 40})) << type << " cut at " << n;
            }
            (void)ImageSource::make(cut);
        }
    }
}

// A PNG header claiming 100000 x 100000 must be refused before any allocation.
TEST(ImageBadInput, HugeClaimedSizesAreRefused) {
    Bytes png = encoded(kTypePNG, 4, 4);
    auto setBE = [](Bytes& b, std::size_t at, std::uint32_t v) {
        b[at] = std::uint8_t(v >> 24), b[at + 1] = std::uint8_t(v >> 16), b[at + 2] = std::uint8_t(v >> 8), b[at + 3] = std::uint8_t(v);
    };
    setBE(png, 16, 100000);
    setBE(png, 20, 100000);
    EXPECT_FALSE(ImageSource::make(png));
    EXPECT_FALSE(Image::fromBytes(png));

    Bytes jpeg = encoded(kTypeJPEG, 8, 8);
    for (std::size_t i = 0; i + 9 < jpeg.size(); ++i) {
        if (jpeg[i] == 0xFF && jpeg[i + 1] == 0xC0) {  // SOF0: length(2) precision(1) height(2) width(2)
            jpeg[i + 5] = 0xFF, jpeg[i + 6] = 0xFF, jpeg[i + 7] = 0xFF, jpeg[i + 8] = 0xFF;
            break;
        }
    }
    EXPECT_FALSE(Image::fromBytes(jpeg));

    EXPECT_FALSE(Bitmap::make(100000, 100000, PixelFormat::RGBAFloat, ColorSpace::SRGB));
    EXPECT_FALSE(Bitmap::make(0, 10, PixelFormat::RGBA8, ColorSpace::SRGB));
    EXPECT_FALSE(Bitmap::make(-1, -1, PixelFormat::RGBA8, ColorSpace::SRGB));
    PixelBuffer pb{100000, 100000, 400000, reinterpret_cast<const std::uint8_t*>(&pb), nullptr, ColorSpace::SRGB};
    EXPECT_FALSE(Image::fromPixelBuffer(pb));
}

TEST(ImageBadInput, ZeroSizedImages) {
    PixelBuffer pb{0, 0, 0, nullptr, nullptr, ColorSpace::SRGB};
    EXPECT_FALSE(Image::fromPixelBuffer(pb));
    Bytes png = encoded(kTypePNG, 4, 4);
    png[16] = png[17] = png[18] = png[19] = 0;  // width 0
    EXPECT_FALSE(ImageSource::make(png));
    EXPECT_FALSE(Image::fromBytes(png));
    EXPECT_TRUE(Image().cropped({0, 0, 0, 0}).isEmpty());
    EXPECT_FALSE(RenderContext().render(Image(), {0, 0, 0, 5}));
}

// libheif's fuzzing corpus: every file decodes or fails, without crash, hang or huge memory.
TEST(ImageBadInput, EveryFileOfTheHeifCrashCorpusDecodesOrFailsCleanly) {
    const std::string dir = std::string(SORVEL_TESTDATA_DIR) + "/heic-bad";
    DIR* d = opendir(dir.c_str());
    ASSERT_TRUE(d) << "missing " << dir;
    int files = 0, decoded = 0;
    while (dirent* e = readdir(d)) {
        if (e->d_name[0] == '.') continue;
        ++files;
        Bytes bytes = test::readFile(dir + "/" + e->d_name);
        auto source = ImageSource::make(bytes);
        auto image = Image::fromBytes(bytes);
        if (image) {
            ++decoded;
            Rect ex = image->extent();
            EXPECT_FALSE(ex.isEmpty()) << e->d_name;
            auto px = RenderContext().render(*image, ex.intersection({0, 0, 64, 64}));
            EXPECT_TRUE(px) << e->d_name;
        }
        if (source) {
            EXPECT_GT(source->width(), 0) << e->d_name;
        }
    }
    closedir(d);
    EXPECT_GT(files, 100);
    std::printf("heic-bad: %d files, %d decoded, %d refused\n", files, decoded, files - decoded);
}

}  // namespace
}  // namespace sorvel::image
