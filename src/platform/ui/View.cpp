#include "View.h"

#include <QCoreApplication>
#include <QGraphicsOpacityEffect>
#include <QPainter>
#include <QPainterPath>
#include <QTimer>
#include <cmath>
#include <set>

#include "Animation.h"
#include "platform/foundation/Clock.h"

namespace sorvel {

namespace {

// Views with a running animation, and the display-rate timer that updates them. The timer only
// runs in an event loop; tests read model values and never need it.
std::set<View*>& animatingViews() {
    static std::set<View*> views;
    return views;
}

void ensureDriver() {
    static QTimer* timer = nullptr;
    if (!timer) {
        if (!QCoreApplication::instance()) return;
        timer = new QTimer(QCoreApplication::instance());
        timer->setInterval(16);
        QObject::connect(timer, &QTimer::timeout, [] {
            auto views = animatingViews();
            for (View* v : views) {
                v->applyPresentation();
                if (!v->isAnimating()) animatingViews().erase(v);
            }
            if (animatingViews().empty()) timer->stop();
        });
    }
    if (!timer->isActive()) timer->start();
}

}  // namespace

double View::Track::valueAt(double now) const {
    if (!active || duration <= 0 || now >= start + duration) return to;
    if (now <= start) return from;
    double t = (now - start) / duration;
    double eased;
    if (spring > 0 && spring < 1) {
        // Damped oscillation settling on the target at t = 1.
        double omega = 2 * M_PI * 1.5;
        eased = 1 - std::exp(-spring * omega * t * 3) * std::cos(omega * t * std::sqrt(1 - spring * spring) * 2);
        if (t > 0.999) eased = 1;
    } else {
        eased = t < 0.5 ? 2 * t * t : 1 - std::pow(-2 * t + 2, 2) / 2;
    }
    return from + (to - from) * eased;
}

View::View(QWidget* parent) : QWidget(parent) {}

View::View(const QRectF& frame, QWidget* parent) : QWidget(parent) { setFrame(frame); }


void View::setFrame(const QRectF& frame) {
    QRectF shown = presentationFrame();
    frame_ = frame;
    if (const auto* ctx = animation_detail::current(); ctx && ctx->duration > 0) {
        double from[4] = {shown.x(), shown.y(), shown.width(), shown.height()};
        double to[4] = {frame.x(), frame.y(), frame.width(), frame.height()};
        for (int i = 0; i < 4; ++i) frameTracks_[i] = {from[i], to[i], ctx->start, ctx->duration, ctx->springDamping, true};
        animatingViews().insert(this);
        ensureDriver();
        return;
    }
    for (auto& t : frameTracks_) t.active = false;
    setGeometry(qRound(frame.x()), qRound(frame.y()), qRound(frame.width()), qRound(frame.height()));
}

QRectF View::presentationFrame() const {
    if (!frameTracks_[0].active) return frame_;
    double now = Clock::current().now();
    return QRectF(frameTracks_[0].valueAt(now), frameTracks_[1].valueAt(now), frameTracks_[2].valueAt(now),
                  frameTracks_[3].valueAt(now));
}

double View::presentationAlpha() const { return alphaTrack_.active ? alphaTrack_.valueAt(Clock::current().now()) : alpha_; }

bool View::isAnimating() const {
    double now = Clock::current().now();
    auto running = [&](const Track& t) { return t.active && now < t.start + t.duration; };
    return running(alphaTrack_) || running(frameTracks_[0]);
}

static void setWidgetOpacity(QWidget* w, double a) {
    if (a >= 1.0) {
        w->setGraphicsEffect(nullptr);
        return;
    }
    auto* effect = qobject_cast<QGraphicsOpacityEffect*>(w->graphicsEffect());
    if (!effect) {
        effect = new QGraphicsOpacityEffect(w);
        w->setGraphicsEffect(effect);
    }
    effect->setOpacity(a);
}

void View::applyPresentation() {
    setWidgetOpacity(this, presentationAlpha());
    QRectF f = presentationFrame();
    setGeometry(qRound(f.x()), qRound(f.y()), qRound(f.width()), qRound(f.height()));
    if (!isAnimating()) {
        alphaTrack_.active = false;
        for (auto& t : frameTracks_) t.active = false;
    }
}

void View::setAlpha(double a) {
    double shown = presentationAlpha();
    alpha_ = std::clamp(a, 0.0, 1.0);
    if (const auto* ctx = animation_detail::current(); ctx && ctx->duration > 0) {
        alphaTrack_ = {shown, alpha_, ctx->start, ctx->duration, ctx->springDamping, true};
        animatingViews().insert(this);
        ensureDriver();
        return;
    }
    alphaTrack_.active = false;
    setWidgetOpacity(this, alpha_);
}

void View::beginCrossDissolve(double) { update(); }

void View::setBackgroundColor(const QColor& c) {
    background_ = c;
    update();
}

void View::setCornerRadius(double r) {
    cornerRadius_ = r;
    update();
}

void View::setBorder(double width, const QColor& color) {
    borderWidth_ = width;
    borderColor_ = color;
    update();
}

void View::setShadow(const QColor& color, double opacity, double radius, QPointF offset) {
    shadowColor_ = color;
    shadowOpacity_ = opacity;
    shadowRadius_ = radius;
    shadowOffset_ = offset;
    update();
}

void View::addSubview(QWidget* child) {
    child->setParent(this);
    child->show();
    child->raise();
}

void View::insertSubviewBelow(QWidget* child, QWidget* sibling) {
    child->setParent(this);
    child->show();
    if (sibling && sibling->parentWidget() == this) child->stackUnder(sibling);
    else child->raise();
}

void View::removeFromSuperview() {
    animatingViews().erase(this);
    setParent(nullptr);
    hide();
}

double View::effectiveAlpha() const {
    double a = 1.0;
    for (const QWidget* w = this; w; w = w->parentWidget())
        if (auto* v = dynamic_cast<const View*>(w)) a *= v->alpha();
    return a;
}

void View::paintEvent(QPaintEvent*) {
    if (background_.alpha() == 0 && borderWidth_ <= 0) return;
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    QRectF r = rect();
    QPainterPath path;
    path.addRoundedRect(r, cornerRadius_, cornerRadius_);
    p.fillPath(path, background_);
    if (borderWidth_ > 0) {
        QPen pen(borderColor_, borderWidth_);
        p.setPen(pen);
        double inset = borderWidth_ / 2;
        double radius = std::max(0.0, cornerRadius_ - inset);
        p.drawRoundedRect(r.adjusted(inset, inset, -inset, -inset), radius, radius);
    }
}

}  // namespace sorvel
