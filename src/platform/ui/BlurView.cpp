#include "BlurView.h"

#include <QPainter>
#include <QPainterPath>
#include <vector>

#include "ImageBlur.h"

namespace sorvel {

namespace {
constexpr double kScale = 0.25;
// Set while a backdrop is drawn: a blur view met in the copy draws its tint only.
bool takingBackdrop = false;
}  // namespace

BlurView::BlurView(BlurStyle style, const QRectF& frame, QWidget* parent) : View(frame, parent), style_(style) {
    setUserInteractionEnabled(false);
    refresh_.setInterval(kRefreshMilliseconds);
    QObject::connect(&refresh_, &QTimer::timeout, [this] {
        refreshBackdrop();
        update();
    });
}

void BlurView::setStyle(BlurStyle style) {
    style_ = style;
    update();
}

void BlurView::showEvent(QShowEvent* event) {
    View::showEvent(event);
    refresh_.start();
}

void BlurView::hideEvent(QHideEvent* event) {
    View::hideEvent(event);
    refresh_.stop();
}

void BlurView::refreshBackdrop() {
    if (takingBackdrop || width() <= 0 || height() <= 0) return;
    takingBackdrop = true;
    // The chain from the window down to this view; at each level, what is drawn below the next
    // link: the level's own background, then its children under the link.
    std::vector<QWidget*> chain;
    for (QWidget* w = this; w; w = w->parentWidget()) chain.insert(chain.begin(), w);
    QImage copy(qMax(1, qRound(width() * kScale)), qMax(1, qRound(height() * kScale)), QImage::Format_ARGB32_Premultiplied);
    copy.fill(Qt::black);
    QPainter p(&copy);
    p.scale(kScale, kScale);
    for (std::size_t level = 0; level + 1 < chain.size(); ++level) {
        QWidget* host = chain[level];
        QWidget* link = chain[level + 1];
        QPoint hostOrigin = host->mapTo(window(), QPoint(0, 0));
        QPoint ours = mapTo(window(), QPoint(0, 0));
        QPoint shift = hostOrigin - ours;
        if (auto* v = dynamic_cast<View*>(host); v && v->backgroundColor().alpha() > 0)
            p.fillRect(QRect(shift, host->size()), v->backgroundColor());
        for (QObject* child : host->children()) {
            if (child == link) break;
            auto* w = qobject_cast<QWidget*>(child);
            if (!w || w->isHidden() || w->isWindow()) continue;
            w->render(&p, shift + w->pos(), QRegion(), QWidget::DrawChildren);
        }
    }
    p.end();
    takingBackdrop = false;
    backdrop_ = blurredImage(copy, 20 * kScale * 2);
}

void BlurView::paintEvent(QPaintEvent* event) {
    View::paintEvent(event);
    if (backdrop_.isNull() && !takingBackdrop) refreshBackdrop();
    QPainter p(this);
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    p.setRenderHint(QPainter::Antialiasing);
    QPainterPath clip;
    clip.addRoundedRect(contentRect(), cornerRadius(), cornerRadius());
    p.setClipPath(clip);
    if (!takingBackdrop && !backdrop_.isNull()) p.drawImage(contentRect(), backdrop_);
    p.fillRect(contentRect(), style_ == BlurStyle::Light ? QColor(255, 255, 255, 110) : QColor(28, 28, 30, 150));
}

}  // namespace sorvel
