// The coded picture size read from an HEVC parameter set, and the refusal of files whose
// parameter set declares a picture far larger than its item (the decoders would allocate it).
#include <gtest/gtest.h>

#include <cstring>
#include <sys/resource.h>

#include "TestImages.h"
#include "platform/image/HevcParameterSets.h"
#include "platform/image/ImageDestination.h"
#include "platform/image/ImageSource.h"
#include "platform/image/IsoBoxReader.h"

namespace sorvel::image {
namespace {

using decode::codedPictureSize;

// Writes the fields a sequence parameter set starts with, up to its picture size.
struct SpsWriter {
    std::vector<std::uint8_t> bytes;
    int used = 8;  // bits used in the last byte
    void bit(unsigned b) {
        if (used == 8) bytes.push_back(0), used = 0;
        bytes.back() |= std::uint8_t((b & 1u) << (7 - used++));
    }
    void bits(std::uint64_t v, int n) {  // n may exceed 64: the high bits are zeros
        for (int i = n - 1; i >= 0; --i) bit(i < 64 ? unsigned(v >> i) : 0u);
    }
    void golomb(std::uint32_t v) {
        const std::uint64_t x = std::uint64_t(v) + 1;
        int len = 0;
        while ((x >> (len + 1)) != 0) ++len;
        bits(0, len);
        bits(x, len + 1);
    }
};

// A parameter set declaring `w` x `h`, with `subLayers` - 1 sub-layers carrying profiles and
// levels and a profile field full of zero bytes (so the writer must insert emulation bytes).
std::vector<std::uint8_t> sequenceParameterSet(std::uint32_t w, std::uint32_t h, int subLayers = 1,
                                               int chromaFormat = 1) {
    SpsWriter s;
    s.bits(0x4201, 16);  // NAL header: type 33
    s.bits(0, 4);
    s.bits(std::uint64_t(subLayers - 1), 3);
    s.bit(1);
    s.bits(0x01, 8), s.bits(0, 80), s.bits(90, 8);  // general profile, zeros, level
    for (int i = 0; i < subLayers - 1; ++i) s.bit(1), s.bit(1);
    if (subLayers > 1)
        for (int i = subLayers - 1; i < 8; ++i) s.bits(0, 2);
    for (int i = 0; i < subLayers - 1; ++i) s.bits(0, 88), s.bits(90, 8);
    s.golomb(0);
    s.golomb(std::uint32_t(chromaFormat));
    if (chromaFormat == 3) s.bit(0);
    s.golomb(w);
    s.golomb(h);
    s.bit(1);
    // Emulation prevention: no 00 00 0x (x <= 3) in the payload.
    std::vector<std::uint8_t> out;
    int zeros = 0;
    for (std::uint8_t b : s.bytes) {
        if (zeros >= 2 && b <= 3) out.push_back(3), zeros = 0;
        zeros = b == 0 ? zeros + 1 : 0;
        out.push_back(b);
    }
    return out;
}

std::vector<std::uint8_t> configRecord(const std::vector<std::vector<std::uint8_t>>& sps) {
    std::vector<std::uint8_t> c(22, 0);
    c[21] = 3;  // four-byte lengths
    c.push_back(2);
    c.insert(c.end(), {0x20, 0x00, 0x01, 0x00, 0x02, 0x40, 0x01});  // a two-byte VPS array first
    c.insert(c.end(), {0x21, 0x00, std::uint8_t(sps.size())});
    for (const auto& s : sps) {
        c.push_back(std::uint8_t(s.size() >> 8)), c.push_back(std::uint8_t(s.size()));
        c.insert(c.end(), s.begin(), s.end());
    }
    return c;
}

// A misread sub-layer layout or a missed emulation byte shifts every later field: the size
// comes out wrong or not at all. A record cut short must give nothing, not read past its end.
TEST(ImageHevcParameterSets, ReadsThePictureSizeOfTheFirstSequenceParameterSet) {
    for (auto [w, h, layers, chroma] : {std::tuple{4032u, 3024u, 1, 1}, std::tuple{512u, 512u, 3, 1},
                                        std::tuple{65000u, 64000u, 8, 3}, std::tuple{1u, 1u, 2, 0}}) {
        const auto config = configRecord({sequenceParameterSet(w, h, layers, chroma)});
        const auto size = codedPictureSize(config.data(), config.size());
        ASSERT_TRUE(size) << w << " x " << h << ", " << layers << " layers";
        EXPECT_EQ(size->width, w);
        EXPECT_EQ(size->height, h);
    }
    const auto two = configRecord({sequenceParameterSet(64, 48), sequenceParameterSet(9000, 9000)});
    EXPECT_EQ(codedPictureSize(two.data(), two.size())->width, 64u);

    const auto config = configRecord({sequenceParameterSet(4032, 3024, 3)});
    for (std::size_t n = 0; n < config.size() - 2; ++n) EXPECT_FALSE(codedPictureSize(config.data(), n)) << n;
    const auto none = configRecord({});
    EXPECT_FALSE(codedPictureSize(none.data(), none.size()));
}

// Our encoder's own files: the parameter set gives the item's size (rounded up to whole
// coding blocks at most), for a plain picture and for every tile of a grid.
TEST(ImageHevcParameterSets, OwnFilesDeclareTheirItemsSize) {
    for (int tile : {0, 256}) {
        Bytes out;
        auto dest = ImageDestination::make(out, kTypeHEIC);
        Dictionary options{{kLossyCompressionQuality, 0.5}};
        if (tile) options[kHEICTileSize] = Value(tile);
        dest->addImage(test::noiseBitmap(300, 200, 2), options);
        ASSERT_TRUE(dest->finalize());
        int found = 0;
        for (std::size_t i = 4; i + 4 < out.size(); ++i) {
            if (std::memcmp(out.data() + i, "hvcC", 4) != 0) continue;
            const std::size_t boxSize = std::size_t(isobmff::readBE(out.data() + i - 4, 4));
            const auto size = codedPictureSize(out.data() + i + 4, boxSize - 8);
            ASSERT_TRUE(size);
            EXPECT_GE(size->width, tile ? 256u : 300u);
            EXPECT_LE(size->width, tile ? 256u : 300u + 63);
            EXPECT_GE(size->height, tile ? 256u : 200u);
            EXPECT_LE(size->height, tile ? 256u : 200u + 63);
            ++found;
        }
        EXPECT_GT(found, 0);
    }
}

// Found by fuzzing, from small files of our own: a 300 x 200 grid whose tiles were changed to
// say 128 x 32768 pixels (libheif's decoder took 12 GB and 18 s over it), a 72 x 72 picture
// turned into an overlay of a far larger canvas (4.5 GB), and a grid with an overlay among its
// tiles (4.5 GB). All must be refused before any decoder runs.
TEST(ImageHevcParameterSets, FilesDeclaringAFarLargerPictureAreRefused) {
    for (const char* name :
         {"tile-declares-65000-square.heic", "overlay-canvas-beyond-its-item.heic", "grid-with-an-overlay-tile.heic"}) {
        const Bytes file = test::readFile(std::string(SORVEL_SOURCE_DIR) + "/fuzz/image/regressions/" + name);
        ASSERT_GT(file.size(), 1000u) << name;
        EXPECT_TRUE(ImageSource::make(file)) << name;  // the container itself reads
        rusage before{}, after{};
        getrusage(RUSAGE_SELF, &before);
        EXPECT_FALSE(Image::fromBytes(file)) << name;
        getrusage(RUSAGE_SELF, &after);
        EXPECT_LT(after.ru_maxrss - before.ru_maxrss, 1024 * 1024) << name << ": kB more at the peak";
    }
}

}  // namespace
}  // namespace sorvel::image
