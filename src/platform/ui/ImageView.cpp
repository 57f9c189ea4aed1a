#include "ImageView.h"

#include <QPainter>
#include <QPainterPath>

namespace sorvel {

void ImageView::setImage(const QImage& image) {
    image_ = image;
    update();
}

void ImageView::setImage(const QImage& image, const QRegion& changed) {
    image_ = image;
    update(changed);
}

void ImageView::setContentMode(ContentMode mode) {
    mode_ = mode;
    update();
}

void ImageView::setMirroredHorizontally(bool mirrored) {
    mirrored_ = mirrored;
    update();
}

QRectF ImageView::fittedRect(QSizeF image, QRectF bounds, ContentMode mode) {
    if (mode == ContentMode::ScaleToFill || image.isEmpty()) return bounds;
    double sx = bounds.width() / image.width();
    double sy = bounds.height() / image.height();
    double s = mode == ContentMode::AspectFit ? std::min(sx, sy) : std::max(sx, sy);
    QSizeF size = image * s;
    return QRectF(bounds.center().x() - size.width() / 2, bounds.center().y() - size.height() / 2, size.width(), size.height());
}

QRectF ImageView::imageRect() const { return fittedRect(image_.size(), bounds(), mode_); }

void ImageView::paintEvent(QPaintEvent* event) {
    View::paintEvent(event);
    if (image_.isNull()) return;
    QPainter p(this);
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    p.setRenderHint(QPainter::Antialiasing);
    QPainterPath clip;
    clip.addRoundedRect(rect(), cornerRadius(), cornerRadius());
    p.setClipPath(clip);
    if (mirrored_) {
        p.translate(width(), 0);
        p.scale(-1, 1);
    }
    p.drawImage(imageRect(), image_);
}

}  // namespace sorvel
