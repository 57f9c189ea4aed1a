// HEIC pictures written as grids of tiles: what readers (ours, libheif, heif-convert) see in them,
// and damaged grid files.

#include <gtest/gtest.h>
#include <libheif/heif.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

#include "TestImages.h"
#include "platform/image/Decode.h"
#include "platform/image/HeifGridWriter.h"
#include "platform/image/ImageDestination.h"
#include "platform/image/ImageSource.h"
#include "platform/image/HeifStructure.h"

namespace sorvel::image {
namespace {

// Smooth gradients with a fine pattern, so a misplaced or mis-cropped tile shows.
Bitmap gradientPicture(int w, int h, ColorSpace space = ColorSpace::SRGB) {
    auto b = Bitmap::make(w, h, PixelFormat::RGBA8, space);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            std::uint8_t* p = b->mutableRow(y) + 4 * x;
            p[0] = std::uint8_t(x * 255 / std::max(1, w - 1));
            p[1] = std::uint8_t(y * 255 / std::max(1, h - 1));
            p[2] = std::uint8_t(((x / 7) ^ (y / 5)) * 9 & 0xFF);
            p[3] = 255;
        }
    return *b;
}

Bytes encode(const Bitmap& b, int tileSize, const Dictionary& extra = {}) {
    Bytes out;
    auto d = ImageDestination::make(out, kTypeHEIC);
    Dictionary options = extra;
    options[kLossyCompressionQuality] = Value(0.85);
    if (tileSize > 0) options[kHEICTileSize] = Value(tileSize);
    d->addImage(b, options);
    EXPECT_TRUE(d->finalize());
    return out;
}

// The item types the file's 'iinf' lists, in order.
std::vector<std::string> itemTypes(const Bytes& file) {
    using namespace isobmff;
    std::vector<std::string> types;
    const auto top = children(file.data(), file.size());
    const Box* meta = find(top, fourcc("meta"));
    if (!meta) return types;
    const auto inMeta = children(meta->body + 4, meta->size - 4);
    const Box* iinf = find(inMeta, fourcc("iinf"));
    if (!iinf || iinf->size < 6) return types;
    for (const Box& infe : children(iinf->body + 6, iinf->size - 6))
        if (infe.type == fourcc("infe") && infe.size >= 12)
            types.emplace_back(reinterpret_cast<const char*>(infe.body + 8), 4);
    return types;
}

// A grid whose tiles were misplaced, whose edge tiles were not cropped or padded right, or whose
// item references pointed at the wrong tiles decodes to the wrong size or picture: the size must
// be the source's, the pixels as close to it as the single-picture coding's, along the cropped
// right and bottom edges too. 1000 x 700 in 512 tiles leaves partial tiles on both edges.
TEST(ImageHeifGrid, OddSizedGridDecodesToTheSourcePicture) {
    const Bitmap source = gradientPicture(1000, 700);
    const Bytes grid = encode(source, 512);
    const Bytes whole = encode(source, 0);
    const auto types = itemTypes(grid);
    ASSERT_EQ(std::count(types.begin(), types.end(), "hvc1"), 4 + 1);  // the tiles and the thumbnail
    EXPECT_EQ(std::count(types.begin(), types.end(), "grid"), 1);

    auto decoded = decode::decodePrimary(grid.data(), grid.size());
    auto single = decode::decodePrimary(whole.data(), whole.size());
    ASSERT_TRUE(decoded);
    ASSERT_TRUE(single);
    ASSERT_EQ(decoded->width(), 1000);
    ASSERT_EQ(decoded->height(), 700);
    const double gridPsnr = test::psnr(*decoded, source), singlePsnr = test::psnr(*single, source);
    EXPECT_GT(gridPsnr, 30.0);
    EXPECT_GT(gridPsnr, singlePsnr - 2.0) << "tiling lost more than the coding does";
    // The last column and row come from the partial tiles.
    for (int y : {0, 350, 699})
        for (int x : {0, 511, 512, 999}) {
            const std::uint8_t* got = decoded->row(y) + 4 * x;
            const std::uint8_t* want = source.row(y) + 4 * x;
            for (int c = 0; c < 2; ++c)  // the smooth channels
                EXPECT_NEAR(got[c], want[c], 12) << "pixel (" << x << ", " << y << ") channel " << c;
        }
}

// The grid must carry what the single picture carries: the Exif block (read back through
// ImageSource as the app reads it) and the colour profile (Display P3 pictures must not come back
// as sRGB).
TEST(ImageHeifGrid, ExifAndColourProfileSurvive) {
    const Dictionary metadata = {
        {"{Exif}", Dictionary{{"ExposureTime", 0.01}, {"ISOSpeedRatings", Array{Value(200)}}}},
        {"{TIFF}", Dictionary{{"Make", Value("Sorvel")}, {"Model", Value("Virtual rig")}}},
    };
    const Bytes grid = encode(gradientPicture(700, 600, ColorSpace::DisplayP3), 256, metadata);
    const auto types = itemTypes(grid);
    ASSERT_EQ(std::count(types.begin(), types.end(), "Exif"), 1);
    auto source = ImageSource::make(grid);
    ASSERT_TRUE(source);
    EXPECT_EQ(source->width(), 700);
    EXPECT_EQ(source->height(), 600);
    Dictionary props = source->properties();
    EXPECT_DOUBLE_EQ(props["{Exif}"]["ExposureTime"].toReal(), 0.01);
    EXPECT_EQ(props["{TIFF}"]["Make"].toString().value_or(""), "Sorvel");
    auto decoded = decode::decodePrimary(grid.data(), grid.size());
    ASSERT_TRUE(decoded);
    EXPECT_EQ(decoded->colorSpace(), ColorSpace::DisplayP3);
}

// A picture no larger than one tile gains nothing from a grid: it is written as one plain
// picture (readers that handle no grids still read it).
TEST(ImageHeifGrid, PictureWithinOneTileIsWrittenWhole) {
    const Bytes file = encode(gradientPicture(512, 300), 512);
    EXPECT_EQ(itemTypes(file), std::vector<std::string>{"hvc1"});
    auto decoded = decode::decodePrimary(file.data(), file.size());
    ASSERT_TRUE(decoded);
    EXPECT_EQ(decoded->width(), 512);
}

// Another reader (heif-convert, a separate program on libheif) must read our grid as a picture
// of the full size.
TEST(ImageHeifGrid, HeifConvertReadsTheGrid) {
    if (std::system("command -v heif-convert > /dev/null 2>&1") != 0) GTEST_SKIP() << "heif-convert not installed";
    const Bytes grid = encode(gradientPicture(600, 520), 256);
    const std::string dir = ::testing::TempDir();
    const std::string in = dir + "/grid.heic", out = dir + "/grid.png";
    std::ofstream(in, std::ios::binary).write(reinterpret_cast<const char*>(grid.data()), std::streamsize(grid.size()));
    std::remove(out.c_str());
    ASSERT_EQ(std::system(("heif-convert " + in + " " + out + " > /dev/null 2>&1").c_str()), 0);
    const Bytes png = test::readFile(out);
    auto size = decode::headerSize(png.data(), png.size());
    ASSERT_TRUE(size);
    EXPECT_EQ(size->first, 600);
    EXPECT_EQ(size->second, 520);
}

// The picture as libheif shows it: its transform boxes applied, as viewers built on it do.
std::optional<Bitmap> libheifDisplay(const Bytes& file) {
    heif_context* ctx = heif_context_alloc();
    heif_image_handle* handle = nullptr;
    heif_image* img = nullptr;
    std::optional<Bitmap> out;
    const bool decoded =
        heif_context_read_from_memory_without_copy(ctx, file.data(), file.size(), nullptr).code == heif_error_Ok &&
        heif_context_get_primary_image_handle(ctx, &handle).code == heif_error_Ok &&
        heif_decode_image(handle, &img, heif_colorspace_RGB, heif_chroma_interleaved_RGB, nullptr).code == heif_error_Ok;
    if (decoded) {
        const int w = heif_image_get_width(img, heif_channel_interleaved);
        const int h = heif_image_get_height(img, heif_channel_interleaved);
        int stride = 0;
        const std::uint8_t* plane = heif_image_get_plane_readonly(img, heif_channel_interleaved, &stride);
        out = Bitmap::make(w, h, PixelFormat::RGBA8, ColorSpace::SRGB);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                std::uint8_t* d = out->mutableRow(y) + 4 * x;
                std::memcpy(d, plane + std::size_t(y) * stride + 3 * x, 3);
                d[3] = 255;
            }
    }
    if (img) heif_image_release(img);
    if (handle) heif_image_handle_release(handle);
    heif_context_free(ctx);
    return out;
}

// A turned picture (as a camera stores its photos: sensor-oriented pixels) must be shown
// upright by other readers too, not only by ours through the Exif tag: the file carries irot and
// imir for all eight orientation values, in a grid of many tiles and of one. Ours reports the
// value and decodes the pixels as stored; libheif's display must be those pixels turned by the
// reported value (a wrong quarter turn or mirror axis puts the gradients elsewhere).
TEST(ImageHeifGrid, TurnedPicturesCarryTransformBoxesThatOtherReadersApply) {
    const Bitmap source = gradientPicture(200, 120);
    for (int tile : {64, 0}) {
        for (int o = 1; o <= 8; ++o) {
            const Bytes file = encode(source, tile, {{kOrientation, Value(o)}});
            const auto types = itemTypes(file);
            EXPECT_EQ(std::count(types.begin(), types.end(), "grid"), o == 1 && tile == 0 ? 0 : 1) << o;
            auto info = decode::heifInfo(file.data(), file.size());
            ASSERT_TRUE(info) << o;
            EXPECT_EQ(info->transformOrientation, o == 1 ? 0 : o) << o;
            EXPECT_EQ(info->width, 200);
            auto reported = ImageSource::make(file);
            ASSERT_TRUE(reported);
            EXPECT_EQ(reported->orientation(), o);
            Dictionary props = reported->properties();
            if (o != 1) {
                EXPECT_EQ(props["{TIFF}"]["Orientation"].toInteger(), o);
            }

            auto stored = decode::decodePrimary(file.data(), file.size());
            ASSERT_TRUE(stored);
            ASSERT_EQ(stored->width(), 200);
            EXPECT_GT(test::psnr(*stored, source), 27.0) << "the pixels were turned, orientation " << o;

            auto shown = libheifDisplay(file);
            ASSERT_TRUE(shown) << o;
            const Image ours = Image(*stored).oriented(o);
            auto expected = test::renderRGBA8(ours, ours.extent());
            ASSERT_EQ(shown->width(), expected->width()) << o;
            ASSERT_EQ(shown->height(), expected->height()) << o;
            EXPECT_GT(test::psnr(*shown, *expected), 45.0) << "tile " << tile << " orientation " << o;
        }
    }
}

// Tiles from different coder settings (here: different sizes) would decode wrongly against one
// shared configuration; layouts whose tiles do not cover the picture would crop or leave gaps.
// The writer must refuse both with a reason instead of writing a broken file.
TEST(ImageHeifGrid, WriterRefusesMismatchedTilesAndLayouts) {
    const Bytes a = encode(gradientPicture(64, 64), 0), b = encode(gradientPicture(128, 64), 0);
    std::string why;
    HeifGridLayout layout{100, 64, 64, 64, 2, 1};
    EXPECT_FALSE(writeHeifGrid({a, b}, layout, {}, {}, &why));
    EXPECT_NE(why.find("configuration"), std::string::npos) << why;
    EXPECT_TRUE(writeHeifGrid({a, a}, layout, {}, {}, &why)) << why;
    why.clear();
    EXPECT_FALSE(writeHeifGrid({a, a}, HeifGridLayout{200, 64, 64, 64, 2, 1}, {}, {}, &why));
    EXPECT_FALSE(why.empty());
    EXPECT_FALSE(writeHeifGrid({a, a}, HeifGridLayout{60, 64, 64, 64, 2, 1}, {}, {}, &why));
    EXPECT_FALSE(writeHeifGrid({a, Bytes{1, 2, 3}}, layout, {}, {}, &why));
    EXPECT_FALSE(why.empty());
}

// A grid file cut short (an interrupted copy) or with damaged boxes must give "no picture" or
// a picture, never a crash, a hang or a read outside the bytes (run under the sanitizers too).
TEST(ImageHeifGrid, DamagedGridFilesFailCleanly) {
    const Bytes grid = encode(gradientPicture(300, 200), 128);
    ASSERT_TRUE(decode::decodePrimary(grid.data(), grid.size()));
    for (std::size_t cut : {std::size_t(10), std::size_t(40), std::size_t(200), grid.size() / 2, grid.size() * 3 / 4}) {
        Bytes shortFile(grid.begin(), grid.begin() + std::ptrdiff_t(cut));
        EXPECT_FALSE(decode::decodePrimary(shortFile.data(), shortFile.size())) << "cut at " << cut;
        (void)ImageSource::make(shortFile);
        (void)isobmff::itemData(shortFile.data(), shortFile.size(), 2);
    }
    std::uint32_t state = 5;
    for (int round = 0; round < 200; ++round) {
        Bytes damaged = grid;
        for (int k = 0; k < 4; ++k) {
            state = state * 1664525u + 1013904223u;
            // Mostly inside the boxes before the coded data, where the structure is.
            damaged[(state >> 8) % std::min<std::size_t>(damaged.size(), 900)] ^= std::uint8_t(1 + (state & 0x7F));
        }
        auto decoded = decode::decodePrimary(damaged.data(), damaged.size());
        if (decoded) {
            EXPECT_GT(decoded->width(), 0);
        }
        (void)ImageSource::make(damaged);
        if (auto structure = isobmff::HeifStructure::read(damaged.data(), damaged.size()))
            (void)structure->grid(structure->primary());
    }
}

}  // namespace
}  // namespace sorvel::image
