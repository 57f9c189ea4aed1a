// The thumbnail every HEIC of ours carries ('thmb' item): what the writer puts in the file, what
// libheif (another reader) sees in it, and ImageSource::thumbnail choosing between the thumbnail,
// reduced decodes and the whole picture, also for damaged files and files from other software.

#include <gtest/gtest.h>
#include <libheif/heif.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>

#include "TestImages.h"
#include "platform/image/Decode.h"
#include "platform/image/HeifStructure.h"
#include "platform/image/ImageDestination.h"
#include "platform/image/ImageSource.h"

namespace sorvel::image {
namespace {

using isobmff::fourcc;

// Smooth gradients with slow waves in blue: a thumbnail of the wrong region or turned the wrong
// way does not match, and no sharp edge makes the reductions' kernels differ.
Bitmap gradientPicture(int w, int h) {
    auto b = Bitmap::make(w, h, PixelFormat::RGBA8, ColorSpace::SRGB);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            std::uint8_t* p = b->mutableRow(y) + 4 * x;
            p[0] = std::uint8_t(x * 255 / (w - 1));
            p[1] = std::uint8_t(y * 255 / (h - 1));
            p[2] = std::uint8_t(128 + 100 * std::sin(x / 40.0) * std::cos(y / 70.0));
            p[3] = 255;
        }
    return *b;
}

Bytes encode(const Bitmap& b, const Dictionary& extra = {}, std::string_view type = kTypeHEIC) {
    Bytes out;
    auto d = ImageDestination::make(out, type);
    Dictionary options = extra;
    options[kLossyCompressionQuality] = Value(0.85);
    d->addImage(b, options);
    EXPECT_TRUE(d->finalize());
    return out;
}

int maxDifference(const Bitmap& a, const Bitmap& b) {
    int most = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < 4 * a.width(); ++x) most = std::max(most, std::abs(int(a.row(y)[x]) - int(b.row(y)[x])));
    return most;
}

// `picture` rendered into a w x h bitmap (scaled by Lanczos to that size).
Bitmap rendered(const Image& picture, int w, int h) {
    const Rect e = picture.extent();
    Image scaled = picture;
    if (std::abs(e.width - w) > 0.5) {
        const double scale = h / e.height;
        scaled = *picture.applyingFilter("CILanczosScaleTransform",
                                         {{"inputScale", scale}, {"inputAspectRatio", (w / e.width) / scale}});
    }
    auto b = test::renderRGBA8(scaled, Rect{0, 0, double(w), double(h)});
    EXPECT_TRUE(b);
    return b ? *b : *Bitmap::make(w, h, PixelFormat::RGBA8, ColorSpace::SRGB);
}

Bitmap decodedWhole(const Bytes& file) {
    auto b = decode::decodePrimary(file.data(), file.size());
    EXPECT_TRUE(b);
    return b ? *b : *Bitmap::make(1, 1, PixelFormat::RGBA8, ColorSpace::SRGB);
}

// libheif's view of the primary's thumbnails: how many, and the first decoded as stored.
struct LibheifThumbnail {
    int count = 0;
    int shownWidth = 0, shownHeight = 0;  // with the transforms applied, as libheif reports
    std::optional<Bitmap> stored;
};
LibheifThumbnail libheifThumbnail(const Bytes& file) {
    LibheifThumbnail out;
    std::unique_ptr<heif_context, decltype(&heif_context_free)> ctx(heif_context_alloc(), heif_context_free);
    if (heif_context_read_from_memory_without_copy(ctx.get(), file.data(), file.size(), nullptr).code != heif_error_Ok)
        return out;
    heif_image_handle* primary = nullptr;
    if (heif_context_get_primary_image_handle(ctx.get(), &primary).code != heif_error_Ok) return out;
    std::unique_ptr<heif_image_handle, decltype(&heif_image_handle_release)> p(primary, heif_image_handle_release);
    out.count = heif_image_handle_get_number_of_thumbnails(primary);
    heif_item_id id = 0;
    if (out.count < 1 || heif_image_handle_get_list_of_thumbnail_IDs(primary, &id, 1) != 1) return out;
    heif_image_handle* thumb = nullptr;
    if (heif_image_handle_get_thumbnail(primary, id, &thumb).code != heif_error_Ok) return out;
    std::unique_ptr<heif_image_handle, decltype(&heif_image_handle_release)> t(thumb, heif_image_handle_release);
    out.shownWidth = heif_image_handle_get_width(thumb);
    out.shownHeight = heif_image_handle_get_height(thumb);
    std::unique_ptr<heif_decoding_options, decltype(&heif_decoding_options_free)> options(
        heif_decoding_options_alloc(), heif_decoding_options_free);
    options->ignore_transformations = 1;
    heif_image* img = nullptr;
    if (heif_decode_image(thumb, &img, heif_colorspace_RGB, heif_chroma_interleaved_RGBA, options.get()).code != heif_error_Ok)
        return out;
    std::unique_ptr<heif_image, decltype(&heif_image_release)> owner(img, heif_image_release);
    const int w = heif_image_get_width(img, heif_channel_interleaved), h = heif_image_get_height(img, heif_channel_interleaved);
    int stride = 0;
    const std::uint8_t* plane = heif_image_get_plane_readonly(img, heif_channel_interleaved, &stride);
    out.stored = Bitmap::make(w, h, PixelFormat::RGBA8, ColorSpace::SRGB);
    for (int y = 0; y < h; ++y) std::memcpy(out.stored->mutableRow(y), plane + std::size_t(y) * stride, std::size_t(w) * 4);
    return out;
}

// Our reading of the file: the items with a 'thmb' reference to the primary, and the transform
// boxes (types in order) of an item.
std::vector<std::uint32_t> thumbnailItems(const Bytes& file) {
    auto s = isobmff::HeifStructure::read(file.data(), file.size());
    return s ? s->referencing(s->primary(), fourcc("thmb")) : std::vector<std::uint32_t>{};
}
std::vector<std::uint32_t> transformTypes(const Bytes& file, std::uint32_t item) {
    std::vector<std::uint32_t> types;
    auto s = isobmff::HeifStructure::read(file.data(), file.size());
    for (const isobmff::Box* b : s->properties(item))
        if (b->type == fourcc("irot") || b->type == fourcc("imir")) types.push_back(b->type);
    return types;
}
std::pair<int, int> ispeOf(const Bytes& file, std::uint32_t item) {
    auto s = isobmff::HeifStructure::read(file.data(), file.size());
    const isobmff::Box* ispe = s->property(item, fourcc("ispe"));
    if (!ispe || ispe->size < 12) return {0, 0};
    return {int(isobmff::readBE(ispe->body + 4, 4)), int(isobmff::readBE(ispe->body + 8, 4))};
}

struct WriteCase {
    const char* name;
    int tileSize, orientation;
};

// Every way a HEIC of ours is written (a tiled grid turned for a sideways camera, a single
// libheif picture, a grid of one for a turned picture): one thumbnail, of the picture reduced
// by 4 (400 x 300), in stored orientation with the primary's transform boxes so that viewers
// turn both alike, listed by libheif (which reports it turned) and decoding there to the
// primary's pixels reduced.
TEST(HeicThumbnailWriter, EveryWritePathAddsOneThumbnailTurnedLikeThePicture) {
    const Bitmap source = gradientPicture(1600, 1200);
    for (const WriteCase c : {WriteCase{"grid", 512, 6}, WriteCase{"single", 0, 1}, WriteCase{"grid of one", 0, 3}}) {
        SCOPED_TRACE(c.name);
        Dictionary options{{kOrientation, Value(c.orientation)}};
        if (c.tileSize) options[kHEICTileSize] = Value(c.tileSize);
        const Bytes file = encode(source, options);
        const auto items = thumbnailItems(file);
        ASSERT_EQ(items.size(), 1u);
        EXPECT_EQ(ispeOf(file, items[0]), std::make_pair(400, 300));
        auto s = isobmff::HeifStructure::read(file.data(), file.size());
        EXPECT_EQ(transformTypes(file, items[0]), transformTypes(file, s->primary()));
        EXPECT_EQ(!transformTypes(file, s->primary()).empty(), c.orientation != 1);
        EXPECT_TRUE(s->property(items[0], fourcc("colr")));

        const LibheifThumbnail other = libheifThumbnail(file);
        EXPECT_EQ(other.count, 1);
        const bool sideways = c.orientation >= 5;
        EXPECT_EQ(other.shownWidth, sideways ? 300 : 400);
        EXPECT_EQ(other.shownHeight, sideways ? 400 : 300);
        ASSERT_TRUE(other.stored);
        ASSERT_EQ(other.stored->width(), 400);
        const Bitmap primaryReduced = rendered(Image(decodedWhole(file)), 400, 300);
        EXPECT_GT(test::psnr(*other.stored, primaryReduced), 30.0);
    }
}

// The thumbnail is added beside the primary: the primary's coded pixels must be those of a
// file written without one, bit for bit, on both write paths; kHEICThumbnailSize 0 writes none,
// and small pictures (their own thumbnail) and pictures with alpha get none.
TEST(HeicThumbnailWriter, PrimaryIsUnchangedAndSmallOrAlphaPicturesGetNone) {
    const Bitmap source = gradientPicture(1600, 1200);
    for (const int tileSize : {512, 0}) {
        SCOPED_TRACE(tileSize);
        const Dictionary tiles = tileSize ? Dictionary{{kHEICTileSize, Value(tileSize)}} : Dictionary{};
        Dictionary without = tiles;
        without[kHEICThumbnailSize] = Value(0);
        const Bytes withFile = encode(source, tiles), withoutFile = encode(source, without);
        EXPECT_TRUE(thumbnailItems(withoutFile).empty());
        ASSERT_EQ(thumbnailItems(withFile).size(), 1u);
        EXPECT_EQ(test::firstDifference(decodedWhole(withFile), decodedWhole(withoutFile)), "");
    }
    EXPECT_TRUE(thumbnailItems(encode(gradientPicture(700, 500))).empty());
    EXPECT_TRUE(thumbnailItems(encode(gradientPicture(1600, 1200), {{kHasAlpha, Value(true)}})).empty());
    // A larger thumbnail when asked: the largest whole reduction (3) keeping 512 on the long
    // side, rounded down to even sides.
    const Bytes big = encode(source, {{kHEICThumbnailSize, Value(512)}});
    ASSERT_EQ(thumbnailItems(big).size(), 1u);
    EXPECT_EQ(ispeOf(big, thumbnailItems(big)[0]), std::make_pair(532, 400));
}

// Asked for no more than the thumbnail, the thumbnail's pixels (as libheif decodes them: not the
// whole picture reduced), reduced further when asked smaller; asked for more, the whole picture
// reduced to that size; never enlarged. Pixels stay as stored (the caller turns them).
TEST(ImageSourceThumbnail, HeicUsesItsThumbnailOnlyWhenLargeEnough) {
    const Bytes file = encode(gradientPicture(1600, 1200), {{kHEICTileSize, Value(512)}, {kOrientation, Value(6)}});
    auto source = ImageSource::make(file);
    ASSERT_TRUE(source);
    EXPECT_EQ(source->orientation(), 6);
    const LibheifThumbnail other = libheifThumbnail(file);
    ASSERT_TRUE(other.stored);

    auto exact = source->thumbnail(400);
    ASSERT_TRUE(exact);
    EXPECT_EQ(exact->extent(), (Rect{0, 0, 400, 300}));
    EXPECT_LE(maxDifference(rendered(*exact, 400, 300), *other.stored), 1);

    auto smaller = source->thumbnail(200);
    ASSERT_TRUE(smaller);
    EXPECT_EQ(smaller->extent(), (Rect{0, 0, 200, 150}));
    EXPECT_GT(test::psnr(rendered(*smaller, 200, 150), rendered(Image(*other.stored), 200, 150)), 40.0);

    auto larger = source->thumbnail(800);
    ASSERT_TRUE(larger);
    EXPECT_EQ(larger->extent(), (Rect{0, 0, 800, 600}));
    EXPECT_GT(test::psnr(rendered(*larger, 800, 600), rendered(Image(decodedWhole(file)), 800, 600)), 40.0);

    auto whole = source->thumbnail(5000);
    ASSERT_TRUE(whole);
    EXPECT_EQ(whole->extent(), (Rect{0, 0, 1600, 1200}));
}

// Offsets of the thumbnail item's coded bytes and of its 'ispe' and 'thmb' boxes in the file.
struct ThumbnailPlaces {
    std::size_t data = 0, dataSize = 0, ispe = 0, thmb = 0;
};
ThumbnailPlaces placesOf(const Bytes& file) {
    ThumbnailPlaces at;
    auto s = isobmff::HeifStructure::read(file.data(), file.size());
    const std::uint32_t item = s->referencing(s->primary(), fourcc("thmb")).at(0);
    const Bytes data = *s->data(item);
    at.data = std::size_t(std::search(file.begin(), file.end(), data.begin(), data.end()) - file.begin());
    at.dataSize = data.size();
    at.ispe = std::size_t(s->property(item, fourcc("ispe"))->start - file.data());
    const Bytes thmb{'t', 'h', 'm', 'b'};
    at.thmb = std::size_t(std::search(file.begin(), file.end(), thmb.begin(), thmb.end()) - file.begin());
    return at;
}

// A damaged thumbnail must never reach the screen nor crash the reader: corrupted coded bytes,
// coded data cut short, a reference turned into another type, a
// thumbnail claiming to be larger than the picture. Each gives what a file without thumbnail
// gives: the whole picture reduced, bit for bit.
TEST(ImageSourceThumbnail, DamagedThumbnailFallsBackToTheWholePicture) {
    const Bitmap picture = gradientPicture(1600, 1200);
    const Bytes good = encode(picture, {{kHEICTileSize, Value(512)}});
    auto plain = ImageSource::make(encode(picture, {{kHEICTileSize, Value(512)}, {kHEICThumbnailSize, Value(0)}}));
    const Bitmap expected = rendered(*plain->thumbnail(400), 400, 300);
    const ThumbnailPlaces at = placesOf(good);
    ASSERT_LT(at.data + at.dataSize, good.size() + 1);
    ASSERT_LT(at.thmb, good.size());
    ASSERT_LT(at.ispe, good.size());

    Bytes corrupted = good;
    for (std::size_t i = at.data + 4; i < at.data + at.dataSize; i += 3) corrupted[i] ^= 0x5A;
    // Its 'iloc' extent (4-byte offset, 4-byte length) made to end half-way.
    Bytes cut = good;
    const auto be32 = [](std::size_t v) {
        return Bytes{std::uint8_t(v >> 24), std::uint8_t(v >> 16), std::uint8_t(v >> 8), std::uint8_t(v)};
    };
    Bytes extent = be32(at.data);
    const Bytes length = be32(at.dataSize);
    extent.insert(extent.end(), length.begin(), length.end());
    const auto found = std::search(cut.begin(), cut.end(), extent.begin(), extent.end());
    ASSERT_NE(found, cut.end());
    const Bytes half = be32(at.dataSize / 2);
    std::copy(half.begin(), half.end(), found + 4);
    Bytes unreferenced = good;
    std::memcpy(unreferenced.data() + at.thmb, "xxxx", 4);
    Bytes oversized = good;
    const std::uint8_t huge[8] = {0, 0, 0x07, 0xD0, 0, 0, 0x05, 0xDC};  // 2000 x 1500
    std::memcpy(oversized.data() + at.ispe + 12, huge, 8);

    for (const auto& [name, file] : {std::pair{"corrupted", corrupted}, std::pair{"cut", cut},
                                     std::pair{"unreferenced", unreferenced}, std::pair{"oversized", oversized}}) {
        SCOPED_TRACE(name);
        auto source = ImageSource::make(file);
        ASSERT_TRUE(source);
        auto thumb = source->thumbnail(400);
        ASSERT_TRUE(thumb);
        ASSERT_EQ(thumb->extent(), (Rect{0, 0, 400, 300}));
        EXPECT_EQ(test::firstDifference(rendered(*thumb, 400, 300), expected), "");
    }
}

// Files from other software: a grid HEIC with a 320 x 212 thumbnail of its own (used when it is
// enough, the picture otherwise), a HEIC whose thumbnail has other proportions than its
// picture and whose data is missing, and damaged files that once crashed decoders: each either
// gives a picture no larger than asked or nothing, and never crashes.
TEST(ImageSourceThumbnail, FilesFromOtherSoftware) {
    const std::string data = SORVEL_TESTDATA_DIR;
    const Bytes example = test::readFile(data + "/heic/example.heic");
    auto source = ImageSource::make(example);
    ASSERT_TRUE(source);
    const LibheifThumbnail other = libheifThumbnail(example);
    ASSERT_TRUE(other.stored);
    ASSERT_EQ(other.stored->width(), 320);
    auto small = source->thumbnail(320);
    ASSERT_TRUE(small);
    EXPECT_EQ(small->extent(), (Rect{0, 0, 320, 212}));
    EXPECT_LE(maxDifference(rendered(*small, 320, 212), *other.stored), 1);
    auto large = source->thumbnail(640);
    ASSERT_TRUE(large);
    EXPECT_NEAR(large->extent().width, 640, 0.5);
    EXPECT_GT(test::psnr(rendered(*large, 640, 427), rendered(*source->image(), 640, 427)), 45.0);

    const Bytes quickTime = test::readFile(data + "/metadata/QuickTime.heic");
    auto tiny = ImageSource::make(quickTime);
    if (tiny) {
        EXPECT_EQ(tiny->thumbnail(320).has_value(), tiny->image().has_value());
    }

    // The DNG's embedded preview is a 26-byte stub: nothing to show, and no crash.
    if (auto dng = ImageSource::make(test::readFile(data + "/metadata/DNG.dng"))) {
        if (auto t = dng->thumbnail(64)) {
            EXPECT_LE(std::max(t->extent().width, t->extent().height), 64.5);
        }
    }

    int files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(data + "/heic-bad")) {
        const Bytes bad = test::readFile(entry.path().string());
        ++files;
        auto s = ImageSource::make(bad);
        if (!s) continue;
        for (int side : {64, 4096}) {
            if (auto t = s->thumbnail(side)) {
                EXPECT_LE(std::max(t->extent().width, t->extent().height), side + 0.5) << entry.path();
            }
        }
    }
    EXPECT_GT(files, 100);
}

// libjpeg decodes at 1/8, 1/4 or 1/2 when that still covers the size asked: 1600 x 1200 asked
// for 400 is decoded at a quarter, exactly 400 x 300, asked for 401 at a half and reduced. The
// pixels stay as stored: a file whose Exif says "turned right" gives a landscape picture.
TEST(ImageSourceThumbnail, JpegDecodesReducedAndKeepsStoredOrientation) {
    const Bitmap picture = gradientPicture(1600, 1200);
    const Bytes jpeg = encode(picture, {{kOrientation, Value(6)}}, kTypeJPEG);
    auto direct = decode::decodeJpegReduced(jpeg.data(), jpeg.size(), 400);
    ASSERT_TRUE(direct);
    EXPECT_EQ(direct->width(), 400);
    EXPECT_EQ(direct->height(), 300);
    auto half = decode::decodeJpegReduced(jpeg.data(), jpeg.size(), 401);
    ASSERT_TRUE(half);
    EXPECT_EQ(half->width(), 800);

    auto source = ImageSource::make(jpeg);
    ASSERT_TRUE(source);
    EXPECT_EQ(source->orientation(), 6);
    const Bitmap whole = rendered(*source->image(), 400, 300);
    for (int side : {400, 401}) {
        auto thumb = source->thumbnail(side);
        ASSERT_TRUE(thumb);
        EXPECT_NEAR(thumb->extent().width, side, 0.5);
        EXPECT_NEAR(thumb->extent().height, side * 0.75, 0.5);
        EXPECT_GT(test::psnr(rendered(*thumb, 400, 300), whole), 32.0) << side;
    }
    auto tiny = decode::decodeJpegReduced(jpeg.data(), jpeg.size(), 10);
    ASSERT_TRUE(tiny);
    EXPECT_EQ(tiny->width(), 200);  // an eighth at most
}

}  // namespace
}  // namespace sorvel::image
