#include "View.h"

#include <QCoreApplication>
#include <QGraphicsOpacityEffect>
#include <QPainter>
#include <QPainterPath>
#include <QTouchEvent>
#include <QTimer>
#include <cmath>
#include <algorithm>
#include <set>

#include <QApplication>
#include <QGraphicsEffect>

#include "Animation.h"
#include "GestureDriver.h"
#include "GestureRecognizer.h"
#include "ImageBlur.h"
#include "Layer.h"
#include "TextField.h"
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
            View::applyAnimationsNow();
            if (animatingViews().empty()) timer->stop();
        });
    }
    if (!timer->isActive()) timer->start();
}

// The ease-in-ease-out timing curve, the cubic Bezier (0.42, 0) (0.58, 1): x(s) is solved for
// the curve parameter by bisection (x is monotonic), then y(s) is the eased progress.
double easeInEaseOut(double x) {
    if (x <= 0) return 0;
    if (x >= 1) return 1;
    auto bezier = [](double a, double b, double s) {
        double r = 1 - s;
        return 3 * r * r * s * a + 3 * r * s * s * b + s * s * s;
    };
    double lo = 0, hi = 1, s = x;
    for (int i = 0; i < 50; ++i) {
        s = (lo + hi) / 2;
        if (bezier(0.42, 0.58, s) < x) lo = s;
        else hi = s;
    }
    return bezier(0.0, 1.0, s);
}

// Opacity and shadow in one effect: Qt gives a widget one graphics effect, and a view may fade
// while it casts a shadow. The shadow is the blurred alpha of everything the widget draws.
class ViewEffect final : public QGraphicsEffect {
public:
    using QGraphicsEffect::QGraphicsEffect;
    double opacity = 1.0;
    QColor shadowColor = Qt::black;
    double shadowOpacity = 0, shadowRadius = 0;
    QPointF shadowOffset;

    bool hasShadow() const { return shadowOpacity > 0 && shadowColor.alpha() > 0; }
    double spread() const { return std::ceil(shadowRadius * 1.5 + 1); }
    void changed() { updateBoundingRect(); update(); }

    QRectF boundingRectFor(const QRectF& rect) const override {
        if (!hasShadow()) return rect;
        double s = spread();
        return rect.united(rect.translated(shadowOffset).adjusted(-s, -s, s, s));
    }

protected:
    void draw(QPainter* painter) override {
        if (!hasShadow()) {
            if (opacity >= 1.0) {
                drawSource(painter);
                return;
            }
            QPoint offset;
            QPixmap source = sourcePixmap(Qt::LogicalCoordinates, &offset);
            painter->save();
            painter->setOpacity(painter->opacity() * opacity);
            painter->drawPixmap(offset, source);
            painter->restore();
            return;
        }
        QPoint offset;
        QPixmap source = sourcePixmap(Qt::DeviceCoordinates, &offset, QGraphicsEffect::PadToEffectiveBoundingRect);
        if (source.isNull()) return;
        double dpr = source.devicePixelRatio();
        QTransform restore = painter->worldTransform();
        painter->setWorldTransform(QTransform());
        painter->save();
        painter->setOpacity(painter->opacity() * opacity);
        QImage shadow = shadowImage(source.toImage(), shadowColor, shadowOpacity, shadowRadius * dpr);
        shadow.setDevicePixelRatio(1);
        painter->drawImage(QPointF(offset) + shadowOffset * dpr, shadow);
        painter->drawPixmap(offset, source);
        painter->restore();
        painter->setWorldTransform(restore);
    }
};

// The views that end editing when a press begins inside them, and the one application-wide
// filter that watches presses for them.
class EndEditingFilter final : public QObject {
public:
    std::set<View*> views;
    static EndEditingFilter& shared() {
        static auto* filter = [] {
            auto* f = new EndEditingFilter;
            if (QCoreApplication::instance()) QCoreApplication::instance()->installEventFilter(f);
            return f;
        }();
        return *filter;
    }
    bool eventFilter(QObject* target, QEvent* event) override {
        auto type = event->type();
        if (type != QEvent::MouseButtonPress && type != QEvent::TouchBegin) return false;
        auto* widget = qobject_cast<QWidget*>(target);
        TextField* editing = TextField::current();
        if (!widget || !editing) return false;
        // A press on a field moves the editing there; one on the toolbar is the toolbar's.
        for (QWidget* w = widget; w; w = w->parentWidget()) {
            if (dynamic_cast<TextField*>(w)) return false;
            if (w == editing->inputAccessoryView()) return false;
        }
        for (View* v : std::set<View*>(views))
            if (views.count(v) && (v == widget || v->isAncestorOf(widget))) v->endEditing(true);
        return false;
    }
};

}  // namespace

void View::applyAnimationsNow() {
    auto views = animatingViews();
    for (View* v : views) {
        // An earlier view's update may have destroyed a later one.
        if (!animatingViews().count(v)) continue;
        v->applyPresentation();
        if (!v->isAnimating()) animatingViews().erase(v);
    }
}

double View::Keyframes::valueAt(double now) const {
    double t = duration > 0 ? (now - start) / duration : 1;
    if (t <= keyTimes.front()) return values.front();
    if (t >= keyTimes.back()) return values.back();
    for (std::size_t i = 0; i + 1 < keyTimes.size(); ++i) {
        double t0 = keyTimes[i], t1 = keyTimes[i + 1];
        if (t > t1) continue;
        if (t1 <= t0) return values[i + 1];
        double eased = easeInEaseOut((t - t0) / (t1 - t0));
        return values[i] + (values[i + 1] - values[i]) * eased;
    }
    return values.back();
}

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

View::~View() {
    // The display-rate timer must never reach a destroyed view.
    animatingViews().erase(this);
    if (endsEditingOnTouch_) EndEditingFilter::shared().views.erase(this);
    for (auto& layer : layers_) layer->host_ = nullptr;
}

void View::addSublayer(std::shared_ptr<Layer> layer) { insertSublayer(std::move(layer), layers_.size()); }

void View::insertSublayer(std::shared_ptr<Layer> layer, std::size_t index) {
    if (!layer) return;
    if (layer->host_) layer->host_->removeSublayer(layer.get());
    layer->host_ = this;
    index = std::min(index, layers_.size());
    layers_.insert(layers_.begin() + static_cast<std::ptrdiff_t>(index), std::move(layer));
    if (layers_[index]->isAnimating(Clock::current().now())) sublayerAnimationStarted();
    sublayersChanged();
}

void View::removeSublayer(const Layer* layer) {
    auto it = std::find_if(layers_.begin(), layers_.end(), [&](const auto& l) { return l.get() == layer; });
    if (it == layers_.end()) return;
    (*it)->host_ = nullptr;
    layers_.erase(it);
    sublayersChanged();
}

void View::sublayersChanged() {
    updateLayerOverflow();
    update();
}

void View::sublayerAnimationStarted() {
    animatingViews().insert(this);
    ensureDriver();
}

void View::keepRedrawingUntil(double until) {
    redrawUntil_ = std::max(redrawUntil_, until);
    animatingViews().insert(this);
    ensureDriver();
    update();
}

void View::updateLayerOverflow() {
    const QRectF b = bounds();
    double need = 0;
    for (const auto& layer : layers_) {
        if (layer->isHidden()) continue;
        QRectF d = layer->drawnBounds();
        need = std::max({need, b.left() - d.left(), b.top() - d.top(), d.right() - b.right(), d.bottom() - b.bottom()});
    }
    need = std::ceil(std::max(0.0, need));
    if (need == layerOverflow_) return;
    layerOverflow_ = need;
    placeWidget();
    // The subviews keep their frames: their widgets move with the room taken.
    for (QObject* child : children())
        if (auto* v = dynamic_cast<View*>(child)) v->placeWidget();
}

void View::placeWidget() {
    QRectF f = presentationFrame();
    double o = overflow_ + layerOverflow_;
    f.adjust(-o, -o, o, o);
    if (auto* parent = dynamic_cast<View*>(parentWidget())) f.translate(parent->layerOverflow_, parent->layerOverflow_);
    setGeometry(qRound(f.x()), qRound(f.y()), qRound(f.width()), qRound(f.height()));
}

bool View::endEditing(bool) {
    TextField* editing = TextField::current();
    if (!editing || !(editing == this || isAncestorOf(editing))) return false;
    return editing->resignFirstResponder();
}

void View::setEndsEditingOnTouch(bool ends) {
    if (ends == endsEditingOnTouch_) return;
    endsEditingOnTouch_ = ends;
    auto& filter = EndEditingFilter::shared();
    if (ends) filter.views.insert(this);
    else filter.views.erase(this);
}

GestureRecognizer* View::addGestureRecognizer(std::unique_ptr<GestureRecognizer> recognizer) {
    if (!recognizer) return nullptr;
    recognizer->attach(this);
    recognizers_.push_back(std::move(recognizer));
    if (!gestureDriver_) {
        gestureDriver_ = std::make_unique<GestureDriver>(*this);
        setAttribute(Qt::WA_AcceptTouchEvents);
    }
    return recognizers_.back().get();
}

void View::setBlocksInput(bool blocks) {
    blocksInput_ = blocks;
    if (blocks) setAttribute(Qt::WA_AcceptTouchEvents);
}

bool View::event(QEvent* event) {
    if (gestureDriver_ && gestureDriver_->handle(event)) return true;
    if (blocksInput_) {
        switch (event->type()) {
        case QEvent::TouchBegin: {
            const auto& points = static_cast<QTouchEvent*>(event)->points();
            if (!points.isEmpty() && GestureDriver::isOnInteractiveDescendant(*this, points.first().position())) break;
            event->accept();
            return true;
        }
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::MouseMove:
        case QEvent::TouchUpdate:
        case QEvent::TouchEnd:
        case QEvent::TouchCancel:
        case QEvent::Wheel:
        case QEvent::NativeGesture:
            event->accept();
            return true;
        default:
            break;
        }
    }
    return QWidget::event(event);
}

void View::addScaleKeyframeAnimation(const QString& key, std::vector<double> values, std::vector<double> keyTimes,
                                     double duration) {
    if (values.empty() || values.size() != keyTimes.size() || !(duration > 0)) return;
    for (std::size_t i = 0; i < keyTimes.size(); ++i) {
        if (!std::isfinite(values[i]) || !(keyTimes[i] >= 0 && keyTimes[i] <= 1)) return;
        if (i > 0 && keyTimes[i] < keyTimes[i - 1]) return;
    }
    Keyframes k{std::move(values), std::move(keyTimes), Clock::current().now(), duration};
    // The latest animation is the one shown; erasing first puts it last in insertion order.
    scaleAnimations_.erase(key);
    scaleAnimations_[key] = std::move(k);
    scaleOrder_.erase(std::remove(scaleOrder_.begin(), scaleOrder_.end(), key), scaleOrder_.end());
    scaleOrder_.push_back(key);
    animatingViews().insert(this);
    ensureDriver();
    update();
}

QStringList View::animationKeys() const {
    double now = Clock::current().now();
    QStringList keys;
    for (const QString& key : scaleOrder_) {
        const Keyframes& k = scaleAnimations_.at(key);
        if (now < k.start + k.duration) keys << key;
    }
    return keys;
}

void View::removeAnimation(const QString& key) {
    scaleAnimations_.erase(key);
    scaleOrder_.erase(std::remove(scaleOrder_.begin(), scaleOrder_.end(), key), scaleOrder_.end());
    update();
}

bool View::keyframesRunning(double now) const {
    for (const auto& [key, k] : scaleAnimations_)
        if (now < k.start + k.duration) return true;
    return false;
}

double View::presentationScale() const {
    double now = Clock::current().now();
    // The most recently added running animation wins, as on a layer with one scale.
    for (auto it = scaleOrder_.rbegin(); it != scaleOrder_.rend(); ++it) {
        const Keyframes& k = scaleAnimations_.at(*it);
        if (now < k.start + k.duration) return k.valueAt(now);
    }
    return 1.0;
}


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
    overflow_ = 0;
    if (!layers_.empty()) updateLayerOverflow();
    placeWidget();
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
    if (running(alphaTrack_) || running(frameTracks_[0]) || keyframesRunning(now) || now < redrawUntil_) return true;
    for (const auto& layer : layers_)
        if (layer->isAnimating(now)) return true;
    return false;
}

void View::updateEffect() {
    double a = presentationAlpha();
    bool shadow = shadowOpacity_ > 0 && shadowColor_.alpha() > 0;
    if (a >= 1.0 && !shadow) {
        setGraphicsEffect(nullptr);
        return;
    }
    auto* effect = dynamic_cast<ViewEffect*>(graphicsEffect());
    if (!effect) {
        effect = new ViewEffect(this);
        setGraphicsEffect(effect);
    }
    effect->opacity = a;
    effect->shadowColor = shadowColor_;
    effect->shadowOpacity = shadow ? shadowOpacity_ : 0;
    effect->shadowRadius = shadowRadius_;
    effect->shadowOffset = shadowOffset_;
    effect->changed();
}

void View::applyPresentation() {
    updateEffect();
    QRectF f = presentationFrame();
    // A view growing past its frame needs the room on screen, or its edges are cut flat. Only
    // a view without subviews gets it: moving the widget's origin would move them too.
    double peak = 1.0, now = Clock::current().now();
    for (const auto& [key, k] : scaleAnimations_)
        if (now < k.start + k.duration) peak = std::max(peak, *std::max_element(k.values.begin(), k.values.end()));
    bool leaf = !findChild<QWidget*>(QString(), Qt::FindDirectChildrenOnly);
    overflow_ = leaf && peak > 1.0 ? std::ceil(std::max(f.width(), f.height()) * (peak - 1) / 2) : 0.0;
    placeWidget();
    if (!scaleAnimations_.empty() || !layers_.empty() || now < redrawUntil_ + 0.05) update();
    if (!isAnimating()) {
        alphaTrack_.active = false;
        for (auto& t : frameTracks_) t.active = false;
        scaleAnimations_.clear();
        scaleOrder_.clear();
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
    updateEffect();
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
    updateEffect();
    update();
}

void View::addSubview(QWidget* child) {
    child->setParent(this);
    if (auto* v = dynamic_cast<View*>(child)) v->placeWidget();
    child->show();
    child->raise();
}

void View::insertSubviewBelow(QWidget* child, QWidget* sibling) {
    child->setParent(this);
    if (auto* v = dynamic_cast<View*>(child)) v->placeWidget();
    child->show();
    if (sibling && sibling->parentWidget() == this) child->stackUnder(sibling);
    else child->raise();
}

void View::insertSubview(QWidget* child, int index) {
    std::vector<QWidget*> siblings;
    for (QObject* o : children())
        if (auto* w = qobject_cast<QWidget*>(o); w && w != child && !w->isWindow()) siblings.push_back(w);
    if (index < 0 || index >= static_cast<int>(siblings.size())) {
        addSubview(child);
        return;
    }
    insertSubviewBelow(child, siblings[static_cast<std::size_t>(index)]);
}

View* View::viewWithTag(int tag) {
    if (tag_ == tag) return this;
    for (QObject* o : children())
        if (auto* v = dynamic_cast<View*>(o))
            if (View* found = v->viewWithTag(tag)) return found;
    return nullptr;
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

void View::applyPresentationScale(QPainter& painter) const {
    double scale = presentationScale();
    if (scale == 1.0) return;
    QPointF centre = QRectF(rect()).center();
    painter.translate(centre);
    painter.scale(scale, scale);
    painter.translate(-centre);
}

void View::drawSublayers(QPainter& painter) const {
    if (layers_.empty()) return;
    painter.save();
    painter.translate(contentRect().topLeft());
    if (clipsToBounds_) {
        QPainterPath clip;
        clip.addRoundedRect(bounds(), cornerRadius_, cornerRadius_);
        painter.setClipPath(clip);
    }
    for (const auto& layer : layers_) layer->render(painter);
    painter.restore();
}

void View::paintEvent(QPaintEvent*) {
    if (background_.alpha() == 0 && borderWidth_ <= 0 && layers_.empty()) return;
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    QRectF r = contentRect();
    applyPresentationScale(p);
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
    drawSublayers(p);
}

}  // namespace sorvel
