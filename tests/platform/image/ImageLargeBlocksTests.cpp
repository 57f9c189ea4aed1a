// Large pixel buffers are kept for the next picture of about the same size; a kept block must
// never come back to a request it does not fit, never hold on to memory when another size is
// asked for, and never hand stale pixels to a caller that asked for a cleared picture.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

#include "platform/image/Bitmap.h"
#include "platform/image/LargeBlocks.h"

namespace sorvel::image {
namespace {

constexpr std::size_t kMB = std::size_t(1) << 20;

TEST(ImageLargeBlocks, SameSizeComesBackAndAnotherSizeFreesWhatIsKept) {
    blocks::trim();
    std::size_t capacity = 0;
    void* a = blocks::acquire(6 * kMB - 100, capacity);
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(capacity, 6 * kMB);
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(a) % (2 * kMB), 0u);
    std::memset(a, 0x5a, 6 * kMB - 100);  // every byte asked for is writable
    blocks::release(a, capacity);
    EXPECT_EQ(blocks::keptBytes(), 6 * kMB);

    std::size_t again = 0;
    EXPECT_EQ(blocks::acquire(5 * kMB, again), a);  // a quarter larger than asked at most
    EXPECT_EQ(again, 6 * kMB);
    EXPECT_EQ(blocks::keptBytes(), 0u);
    blocks::release(a, again);

    // Too large for the request (more than a quarter to spare) and too small for another one:
    // both go back to the system before the new block is made.
    std::size_t small = 0, large = 0;
    void* b = blocks::acquire(4 * kMB, small);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(blocks::keptBytes(), 0u);
    blocks::release(b, small);
    void* c = blocks::acquire(12 * kMB, large);
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(blocks::keptBytes(), 0u);
    blocks::release(c, large);
    blocks::trim();
    EXPECT_EQ(blocks::keptBytes(), 0u);
}

TEST(ImageLargeBlocks, KeepsAFewBlocksAndABoundedNumberOfBytes) {
    blocks::trim();
    void* held[5];
    std::size_t caps[5];
    for (int i = 0; i < 5; ++i) held[i] = blocks::acquire(8 * kMB, caps[i]);  // untouched: address space only
    for (int i = 0; i < 5; ++i) blocks::release(held[i], caps[i]);
    EXPECT_EQ(blocks::keptBytes(), 3 * 8 * kMB);
    blocks::trim();

    std::size_t huge = 0;
    void* h = blocks::acquire(400 * kMB, huge);
    ASSERT_NE(h, nullptr);
    blocks::release(h, huge);
    EXPECT_EQ(blocks::keptBytes(), 0u);  // beyond what is ever kept
}

TEST(ImageLargeBlocks, ClearedBitmapOnAReusedBlockIsClear) {
    blocks::trim();
    const std::uint8_t* first = nullptr;
    {
        auto dirty = Bitmap::makeUninitialized(1500, 1000, PixelFormat::RGBAHalf, ColorSpace::DisplayP3);
        ASSERT_TRUE(dirty);
        std::memset(dirty->mutableData(), 0xff, dirty->byteCount());
        first = dirty->data();
    }
    auto clean = Bitmap::make(1500, 1000, PixelFormat::RGBAHalf, ColorSpace::DisplayP3);
    ASSERT_TRUE(clean);
    EXPECT_EQ(clean->data(), first);  // the kept block, not a fresh one
    std::size_t nonZero = 0;
    for (std::size_t i = 0; i < clean->byteCount(); ++i) nonZero += clean->data()[i] != 0;
    EXPECT_EQ(nonZero, 0u);
}

}  // namespace
}  // namespace sorvel::image
