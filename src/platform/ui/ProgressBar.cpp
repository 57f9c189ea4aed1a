#include "ProgressBar.h"

#include <QPainter>

namespace sorvel {

void ProgressBar::setProgress(double p) {
    progress_ = std::clamp(p, 0.0, 1.0);
    update();
}
void ProgressBar::setProgressTintColor(const QColor& c) {
    progressTint_ = c;
    update();
}
void ProgressBar::setTrackTintColor(const QColor& c) {
    trackTint_ = c;
    update();
}

void ProgressBar::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    QRectF r = rect();
    double radius = r.height() / 2;
    p.setPen(Qt::NoPen);
    p.setBrush(trackTint_);
    p.drawRoundedRect(r, radius, radius);
    p.setBrush(progressTint_);
    p.drawRoundedRect(QRectF(r.x(), r.y(), r.width() * progress_, r.height()), radius, radius);
}

}  // namespace sorvel
