// Pro mode's mappings and labels, and the waveform monitor's picture, without a screen.

#include <gtest/gtest.h>

#include <cmath>

#include "app/pro/ManualValues.h"
#include "app/pro/Waveform.h"

using namespace sorvel;

// A linear shutter scale would put 0.5 s at the middle of a 1/10000 .. 1 s range and leave
// every usual speed in the first tenth of the slider.
TEST(ManualValues, ShutterSliderIsLogarithmicBetweenTheFormatsEnds) {
    const double minS = 1e-4, maxS = 1.0;
    EXPECT_DOUBLE_EQ(shutterSecondsForPosition(0.0f, minS, maxS), minS);
    EXPECT_DOUBLE_EQ(shutterSecondsForPosition(1.0f, minS, maxS), maxS);
    EXPECT_NEAR(shutterSecondsForPosition(0.5f, minS, maxS), std::sqrt(minS * maxS), 1e-15);
    // Positions beyond the ends (a slider range set wider) still give seconds inside the format.
    EXPECT_DOUBLE_EQ(shutterSecondsForPosition(1.5f, minS, maxS), maxS);
    EXPECT_DOUBLE_EQ(shutterSecondsForPosition(-0.2f, minS, maxS), minS);
    // The inverse puts the device's present duration back under the thumb.
    for (double s : {1e-4, 1.0 / 250, 1.0 / 30, 0.5, 1.0})
        EXPECT_NEAR(shutterSecondsForPosition(shutterPositionForSeconds(s, minS, maxS), minS, maxS), s, s * 1e-6);
    // A fixed-duration camera has no scale: the thumb goes to the start instead of NaN.
    EXPECT_EQ(shutterPositionForSeconds(0.01, 0.01, 0.01), 0.0f);
    EXPECT_EQ(shutterPositionForSeconds(0.01, 0.0, 1.0), 0.0f);
}

// Rounding 1/0.3 s would print 1/3 as it should, but rounding 1/0.4 would print 1/3 too; the
// label truncates. The first form starts at exactly one second.
TEST(ManualValues, ShutterLabelTakesItsTwoForms) {
    EXPECT_EQ(formatShutterSpeed(1.0f), "⏱️SS   1.0s");
    EXPECT_EQ(formatShutterSpeed(2.0f), "⏱️SS   2.0s");
    EXPECT_EQ(formatShutterSpeed(0.5f), "⏱️SS   1/2s");
    EXPECT_EQ(formatShutterSpeed(0.3f), "⏱️SS   1/3s");
    EXPECT_EQ(formatShutterSpeed(0.4f), "⏱️SS   1/2s");
    EXPECT_EQ(formatShutterSpeed(0.99f), "⏱️SS   1/1s");
    // 1/250 s in single precision is a little more than 1/250: it must not read 1/249.
    EXPECT_EQ(formatShutterSpeed(static_cast<float>(1.0 / 250)), "⏱️SS   1/250s");
    EXPECT_EQ(formatShutterSpeed(1.0f / 250), "⏱️SS   1/250s");
    EXPECT_EQ(formatShutterSpeed(1.0f / 8000), "⏱️SS   1/8000s");
    EXPECT_EQ(formatShutterSpeed(1.0f / 3.0f), "⏱️SS   1/3s");
}

TEST(ManualValues, IsoFocusAndWhiteBalanceMappingsAndTheirLabels) {
    EXPECT_FLOAT_EQ(isoForPosition(0.0f, 32, 3200), 32.0f);
    EXPECT_FLOAT_EQ(isoForPosition(1.0f, 32, 3200), 3200.0f);
    EXPECT_FLOAT_EQ(isoForPosition(0.25f, 32, 3200), 824.0f);
    EXPECT_FLOAT_EQ(isoForPosition(2.0f, 32, 3200), 3200.0f) << "clamped to the format";
    EXPECT_FLOAT_EQ(isoPositionForValue(824, 32, 3200), 0.25f);
    EXPECT_EQ(isoPositionForValue(100, 100, 100), 0.0f);
    EXPECT_EQ(isoLabelText(400.4f), "📶ISO 400");
    EXPECT_EQ(isoLabelText(3200), "📶ISO 3200");

    EXPECT_EQ(focusLabelText(0.5f), "👓F      0.50");
    EXPECT_EQ(focusLabelText(0.333f), "👓F      0.33");

    EXPECT_FLOAT_EQ(whiteBalanceTemperatureForPosition(0.0f), 3000);
    EXPECT_FLOAT_EQ(whiteBalanceTemperatureForPosition(1.0f), 8000);
    EXPECT_FLOAT_EQ(whiteBalanceTemperatureForPosition(0.5f), 5500);
    EXPECT_EQ(whiteBalanceLabelText(5000), "🌓WB  5000K");
    EXPECT_EQ(whiteBalanceLabelText(whiteBalanceTemperatureForPosition(0.3f)), "🌓WB  4500K");
}

// The device refuses a gain below 1 or above its maximum and would leave the white balance
// where it was; the clamp raises first, then caps.
TEST(ManualValues, WhiteBalanceGainsAreRaisedToOneThenCapped) {
    WhiteBalanceGains g = clampedWhiteBalanceGains({0.8f, 1.3f, 5.2f}, 4.0f);
    EXPECT_EQ(g.redGain, 1.0f);
    EXPECT_EQ(g.greenGain, 1.3f);
    EXPECT_EQ(g.blueGain, 4.0f);
    // A camera whose maximum is below 1 gets its maximum: the cap wins.
    EXPECT_EQ(clampedWhiteBalanceGains({0.5f, 0.5f, 0.5f}, 0.9f).redGain, 0.9f);
}

namespace {

// An 8-bit RGBA picture of one colour.
std::vector<std::uint8_t> uniform(int w, int h, std::uint8_t r, std::uint8_t g, std::uint8_t b) {
    std::vector<std::uint8_t> p(static_cast<std::size_t>(w) * h * 4);
    for (std::size_t i = 0; i < p.size(); i += 4) p[i] = r, p[i + 1] = g, p[i + 2] = b, p[i + 3] = 255;
    return p;
}

bool isClear(const WaveformBitmap& b, int x, int y) {
    const std::uint8_t* p = b.pixel(x, y);
    return p[0] == 0 && p[1] == 0 && p[2] == 0 && p[3] == 0;
}

// The rows (counted from the bottom) that hold anything.
std::vector<int> paintedRows(const WaveformBitmap& b) {
    std::vector<int> rows;
    for (int y = 0; y < b.height; ++y)
        for (int x = 0; x < b.width; ++x)
            if (!isClear(b, x, y)) {
                rows.push_back(y);
                break;
            }
    return rows;
}

// A BGRA frame of one grey, as the camera delivers one, upright (portrait).
image::Image greyFrame(int w, int h, std::uint8_t level, std::vector<std::uint8_t>& storage) {
    storage.assign(static_cast<std::size_t>(w) * h * 4, level);
    for (std::size_t i = 3; i < storage.size(); i += 4) storage[i] = 255;
    image::PixelBuffer buffer;
    buffer.width = w, buffer.height = h, buffer.bytesPerRow = static_cast<std::size_t>(w) * 4;
    buffer.data = storage.data();
    return *image::Image::fromPixelBuffer(buffer);
}

}  // namespace

// With 50 rows only bins 0, 5, 10, ..., 128, 133, ... are shown: level 25 is bin 128 and level
// 26 bin 133. A frame at 128 lights rows 24 and 25 (a dot covers its row and the one below); a
// frame at 129 falls between the shown bins and leaves the monitor empty. Blue is painted last
// and, at full opacity, covers red and green.
TEST(Waveform, UniformGreyShowsOneBandAt128AndNothingAt129) {
    std::vector<std::uint8_t> storage;
    auto at128 = renderWaveform(greyFrame(96, 128, 128, storage), 120, 50);
    ASSERT_TRUE(at128);
    EXPECT_EQ(paintedRows(*at128), (std::vector<int>{24, 25}));
    for (int x = 0; x < 120; ++x)
        for (int y : {24, 25}) {
            const std::uint8_t* p = at128->pixel(x, y);
            ASSERT_EQ((std::vector<int>{p[0], p[1], p[2], p[3]}), (std::vector<int>{0, 0, 255, 255}))
                << "at " << x << ", " << y;
        }
    auto at129 = renderWaveform(greyFrame(96, 128, 129, storage), 120, 50);
    ASSERT_TRUE(at129);
    EXPECT_TRUE(paintedRows(*at129).empty());
}

// Each output column must sample its own source column: a picture whose left half is black and
// right half white shows level 0 on the left columns only and bin 250 on the right ones.
TEST(Waveform, ColumnsSampleTheirSourceColumnAndLevelZeroIsAtTheBottom) {
    const int w = 64, h = 40;
    std::vector<std::uint8_t> p = uniform(w, h, 0, 0, 0);
    for (int y = 0; y < h; ++y)
        for (int x = w / 2; x < w; ++x) std::fill_n(&p[(static_cast<std::size_t>(y) * w + x) * 4], 3, 255);
    auto b = computeWaveform(p.data(), w, h, w * 4, 16, 50);
    ASSERT_TRUE(b);
    for (int x = 0; x < 16; ++x) {
        SCOPED_TRACE(x);
        const bool white = x >= 8;
        // Black is bin 0 at level 0 (its row below does not exist); white, bin 255, is never
        // a shown bin (level 49 is bin 250), so white columns stay clear.
        EXPECT_EQ(!isClear(*b, x, 0), !white);
        for (int y = 1; y < 50; ++y) ASSERT_TRUE(isClear(*b, x, y)) << y;
    }
    // Memory rows run top down: level 0 is the last row of the bitmap.
    EXPECT_NE(b->rgba[(static_cast<std::size_t>(49) * 16) * 4 + 3], 0);
}

// Bins are counted per channel and painted red, then green, then blue; a dot's opacity is
// sqrt(c / 255) x min(c / (h / 2), 1), times five, at most one.
TEST(Waveform, DotOpacityFollowsTheCountAndChannelsPaintInOrder) {
    EXPECT_DOUBLE_EQ(waveformDotAlpha(100, 200), std::sqrt(100 / 255.0));
    EXPECT_DOUBLE_EQ(waveformDotAlpha(150, 200), std::sqrt(150 / 255.0));
    EXPECT_DOUBLE_EQ(waveformDotAlpha(10, 200), std::sqrt(10 / 255.0) * 0.1);

    // Two of 400 rows at a red level and green level: faint dots, alpha 5 x sqrt(2/255) x 2/200.
    const int h = 400;
    std::vector<std::uint8_t> p = uniform(1, h, 0, 0, 0);
    p[0] = 128, p[4] = 128;         // two pixels with red 128
    p[8 + 1] = 5, p[12 + 1] = 5;    // two with green 5... and their red is 0 with everybody else's
    auto b = computeWaveform(p.data(), 1, h, 4, 1, 50);
    ASSERT_TRUE(b);
    const double faint = std::min(5 * waveformDotAlpha(2, h), 1.0);
    const std::uint8_t* red = b->pixel(0, 25);  // bin 128
    EXPECT_EQ(red[0], std::lround(255 * faint));
    EXPECT_EQ(red[1], 0);
    EXPECT_EQ(red[3], std::lround(255 * faint));
    // Level 1 (bin 5): the two green pixels, over what level 0's dots left on row 0 below.
    const std::uint8_t* green = b->pixel(0, 1);
    EXPECT_EQ(green[1], std::lround(255 * faint));
    EXPECT_EQ(green[0], 0);
    // Level 0 (bin 0): red 398 of 400, green 398, blue 400: all full, blue painted last; then
    // level 1's faint green dot covers row 0 as well.
    const std::uint8_t* bottom = b->pixel(0, 0);
    EXPECT_EQ((std::vector<int>{bottom[0], bottom[1], bottom[2], bottom[3]}),
              (std::vector<int>{0, static_cast<int>(std::lround(255 * faint)),
                                static_cast<int>(std::lround(255 * (1 - faint))), 255}));
}

// A dot covers its own row and the row below; the rows outside the bitmap are skipped, not
// wrapped into the next column or written past the end.
TEST(Waveform, DotsOnTheEdgeRowsStayInside) {
    auto b = WaveformBitmap::make(3, 5);
    ASSERT_TRUE(b);
    drawPixel(*b, 1, 0, 1.0, WaveformChannel::Green);
    EXPECT_EQ(paintedRows(*b), (std::vector<int>{0}));
    drawPixel(*b, 1, 4, 1.0, WaveformChannel::Red);
    EXPECT_EQ(paintedRows(*b), (std::vector<int>{0, 3, 4}));
    EXPECT_EQ(b->pixel(1, 4)[0], 255);
    EXPECT_TRUE(isClear(*b, 0, 4) && isClear(*b, 2, 4) && isClear(*b, 0, 0));
    // Half opacity over clear, then over itself: source-over in premultiplied bytes.
    auto c = WaveformBitmap::make(1, 2);
    drawPixel(*c, 0, 1, 0.1, WaveformChannel::Blue);
    EXPECT_EQ(c->pixel(0, 1)[2], 128);
    EXPECT_EQ(c->pixel(0, 1)[3], 128);
    drawPixel(*c, 0, 1, 0.1, WaveformChannel::Red);
    EXPECT_EQ(c->pixel(0, 1)[0], 128);
    EXPECT_EQ(c->pixel(0, 1)[2], 64);
    EXPECT_EQ(c->pixel(0, 1)[3], 192);
    // A monitor under 2 points has no output bitmap.
    EXPECT_FALSE(WaveformBitmap::make(0, 50));
    std::vector<std::uint8_t> one = uniform(2, 2, 1, 2, 3);
    EXPECT_FALSE(computeWaveform(one.data(), 2, 2, 8, 120, 0));
}
