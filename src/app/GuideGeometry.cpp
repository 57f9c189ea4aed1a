#include "app/GuideGeometry.h"

namespace sorvel {

QRectF guidePhotoArea(const QRectF& viewBounds) {
    QRectF preview = viewBounds.translated(0, -60);
    double w = preview.width();
    double h = w * 1.3333333333333333;
    return QRectF(preview.x(), preview.y() + (preview.height() - h) / 2, w, h);
}

QRectF cropIndicatorFrame(const QSizeF& size, std::optional<double> scaleFactor, std::optional<double> aspectRatio) {
    const double W = size.width(), H = size.height();
    double w = W, h = H;
    if (aspectRatio) {
        double r = *aspectRatio;
        if (r < W / H) {
            w = H * r;
            h = H;
        } else {
            w = W;
            h = W / r;
        }
    } else if (scaleFactor) {
        w = W * *scaleFactor;
        h = H * *scaleFactor;
    }
    return QRectF((W - w) / 2, (H - h) / 2, w, h);
}

std::vector<QRectF> gridLineFrames(int rows, int columns, const QRectF& r) {
    std::vector<QRectF> lines;
    for (int i = 1; i < columns; ++i)
        lines.emplace_back(r.x() + r.width() * i / columns - 0.5, r.y(), 1, r.height());
    for (int j = 1; j < rows; ++j) lines.emplace_back(r.x(), r.y() + r.height() * j / rows - 0.5, r.width(), 1);
    return lines;
}

}  // namespace sorvel
