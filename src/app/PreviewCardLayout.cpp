#include "PreviewCardLayout.h"

#include <cmath>

namespace sorvel {

std::optional<PreviewCardLayout> previewCardLayout(QSizeF v, std::int64_t photoPreview) {
    if (photoPreview == 0) return std::nullopt;
    if (photoPreview == 1) {
        double w = v.width();
        double h = w * 4 / 3;
        return PreviewCardLayout{QRectF((v.width() - w) / 2, (v.height() - h) / 2 - 60, w, h), 1.0};
    }
    double w = v.width() / 3;
    return PreviewCardLayout{QRectF(v.width() - w - 20, 80, w, w * 4 / 3), 3.0};
}

double previewRotation(QSizeF image, QSizeF frame, int o) {
    bool imageLandscape = image.height() < image.width();
    bool frameLandscape = frame.height() < frame.width();
    if (imageLandscape != frameLandscape) return o == 4 ? -M_PI / 2 : M_PI / 2;
    return o == 2 ? M_PI : 0.0;
}

}  // namespace sorvel
