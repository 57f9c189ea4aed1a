#include "ImageBlur.h"

#include <QColor>
#include <algorithm>
#include <cmath>
#include <vector>

namespace sorvel {

namespace {

// One running-sum box pass of half-width `r` along rows (`horizontal`) or columns, clamping
// at the edges. Four 8-bit channels of premultiplied ARGB32.
void boxPass(QImage& img, int r, bool horizontal) {
    const int w = img.width(), h = img.height();
    const int lines = horizontal ? h : w, length = horizontal ? w : h;
    const int window = 2 * r + 1;
    std::vector<std::uint32_t> line(static_cast<std::size_t>(length));
    for (int l = 0; l < lines; ++l) {
        auto at = [&](int i) -> QRgb& {
            return horizontal ? reinterpret_cast<QRgb*>(img.scanLine(l))[i] : reinterpret_cast<QRgb*>(img.scanLine(i))[l];
        };
        for (int i = 0; i < length; ++i) line[static_cast<std::size_t>(i)] = at(i);
        auto sample = [&](int i) { return line[static_cast<std::size_t>(std::clamp(i, 0, length - 1))]; };
        std::uint32_t sum[4] = {0, 0, 0, 0};
        for (int i = -r; i <= r; ++i) {
            std::uint32_t p = sample(i);
            for (int c = 0; c < 4; ++c) sum[c] += (p >> (8 * c)) & 0xff;
        }
        for (int i = 0; i < length; ++i) {
            std::uint32_t out = 0;
            for (int c = 0; c < 4; ++c) out |= ((sum[c] + window / 2) / window) << (8 * c);
            at(i) = out;
            std::uint32_t add = sample(i + r + 1), drop = sample(i - r);
            for (int c = 0; c < 4; ++c) sum[c] += ((add >> (8 * c)) & 0xff) - ((drop >> (8 * c)) & 0xff);
        }
    }
}

}  // namespace

QImage blurredImage(const QImage& image, double radius) {
    QImage img = image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    if (!(radius >= 0.5) || img.isNull()) return img;
    // Three passes of width w have the variance of a Gaussian with sigma^2 = 3 (w^2 - 1) / 12;
    // sigma = radius / 2.
    double sigma = radius / 2;
    int r = std::max(1, static_cast<int>(std::lround((std::sqrt(4 * sigma * sigma + 1) - 1) / 2)));
    for (int pass = 0; pass < 3; ++pass) {
        boxPass(img, r, true);
        boxPass(img, r, false);
    }
    return img;
}

QImage shadowImage(const QImage& source, const QColor& color, double opacity, double radius) {
    QImage alpha = source.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    const double a = std::clamp(opacity * color.alphaF(), 0.0, 1.0);
    const int cr = color.red(), cg = color.green(), cb = color.blue();
    for (int y = 0; y < alpha.height(); ++y) {
        auto* row = reinterpret_cast<QRgb*>(alpha.scanLine(y));
        for (int x = 0; x < alpha.width(); ++x) {
            int pa = static_cast<int>(std::lround(qAlpha(row[x]) * a));
            row[x] = qRgba(cr * pa / 255, cg * pa / 255, cb * pa / 255, pa);
        }
    }
    return blurredImage(alpha, radius);
}

}  // namespace sorvel
