#include "platform/image/HeicThumbnail.h"

#include <algorithm>
#include <vector>

namespace sorvel::image {

std::optional<Bitmap> reduceForThumbnail(const Bitmap& rgba, int minLongSide) {
    if (minLongSide < 16 || bytesPerPixel(rgba.format()) != 4) return std::nullopt;
    const int longSide = std::max(rgba.width(), rgba.height());
    const int k = longSide / minLongSide;
    if (k < 2) return std::nullopt;
    const int w = rgba.width() / k / 2 * 2, h = rgba.height() / k / 2 * 2;
    if (w < 2 || h < 2) return std::nullopt;
    auto out = Bitmap::makeUninitialized(w, h, rgba.format(), rgba.colorSpace());
    if (!out) return std::nullopt;
    // One pass over the source, row by row, as it lies in memory: the source is a 12 MP photo
    // being saved, and this runs on the save's time.
    std::vector<std::uint32_t> sums(std::size_t(w) * 4);
    const std::uint32_t area = std::uint32_t(k) * std::uint32_t(k);
    for (int oy = 0; oy < h; ++oy) {
        std::fill(sums.begin(), sums.end(), 0u);
        for (int j = 0; j < k; ++j) {
            const std::uint8_t* row = rgba.row(oy * k + j);
            for (int ox = 0; ox < w; ++ox) {
                const std::uint8_t* p = row + std::size_t(ox) * std::size_t(k) * 4;
                std::uint32_t c0 = 0, c1 = 0, c2 = 0, c3 = 0;
                for (int i = 0; i < k; ++i) c0 += p[4 * i], c1 += p[4 * i + 1], c2 += p[4 * i + 2], c3 += p[4 * i + 3];
                std::uint32_t* s = sums.data() + 4 * std::size_t(ox);
                s[0] += c0, s[1] += c1, s[2] += c2, s[3] += c3;
            }
        }
        std::uint8_t* d = out->mutableRow(oy);
        for (std::size_t i = 0; i < sums.size(); ++i) d[i] = std::uint8_t((sums[i] + area / 2) / area);
    }
    return out;
}

}  // namespace sorvel::image
