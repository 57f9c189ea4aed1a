#pragma once
// A view as a phone toolkit has it: a frame in points (origin top-left), a background colour
// with alpha, view alpha, corner radius, border, tag and accessibility identifier. It is a
// QWidget that paints its own background, so app code reads like a phone app's.

#include <QColor>
#include <QPainter>
#include <QRectF>
#include <QStringList>
#include <QWidget>
#include <map>
#include <memory>
#include <vector>

namespace sorvel {

class GestureDriver;
class GestureRecognizer;

class View : public QWidget {
public:
    explicit View(QWidget* parent = nullptr);
    View(const QRectF& frame, QWidget* parent = nullptr);
    ~View() override;

    QRectF frame() const { return frame_; }
    void setFrame(const QRectF& frame);
    QRectF bounds() const { return QRectF(0, 0, frame_.width(), frame_.height()); }

    QColor backgroundColor() const { return background_; }
    void setBackgroundColor(const QColor& c);
    double alpha() const { return alpha_; }
    void setAlpha(double a);
    double cornerRadius() const { return cornerRadius_; }
    void setCornerRadius(double r);
    void setBorder(double width, const QColor& color);
    double borderWidth() const { return borderWidth_; }

    int tag() const { return tag_; }
    void setTag(int t) { tag_ = t; }
    QString accessibilityIdentifier() const { return objectName(); }
    void setAccessibilityIdentifier(const QString& id) { setObjectName(id); }

    bool isHidden() const { return QWidget::isHidden(); }
    void setHidden(bool hidden) { QWidget::setHidden(hidden); }
    bool isUserInteractionEnabled() const { return !testAttribute(Qt::WA_TransparentForMouseEvents); }
    void setUserInteractionEnabled(bool enabled) { setAttribute(Qt::WA_TransparentForMouseEvents, !enabled); }

    void addSubview(QWidget* child);
    // Places `child` directly below `sibling` among this view's subviews.
    void insertSubviewBelow(QWidget* child, QWidget* sibling);
    void removeFromSuperview();

    // What the screen shows at this moment while an animation runs (the model value otherwise).
    double presentationAlpha() const;
    QRectF presentationFrame() const;
    bool isAnimating() const;
    void beginCrossDissolve(double duration);
    // Applies the presentation values to the widget; called by the animation driver.
    void applyPresentation();

    // Layer shadow, drawn around the view's rounded rectangle.
    void setShadow(const QColor& color, double opacity, double radius, QPointF offset = {});
    QColor shadowColor() const { return shadowColor_; }
    double shadowOpacity() const { return shadowOpacity_; }
    double shadowRadius() const { return shadowRadius_; }
    bool clipsToBounds() const { return clipsToBounds_; }
    void setClipsToBounds(bool clips) { clipsToBounds_ = clips; update(); }
    // The view's ancestors' alpha multiplied in: what the eye sees.
    double effectiveAlpha() const;

    // A key-frame animation of the view's scale about its centre: `values` at `keyTimes`
    // (fractions of `duration`, rising from 0 to 1), eased in and out between frames. It
    // replaces a running one under the same key; the model scale stays 1. The view's own drawing
    // (background, border, a button's picture and title) is scaled, within its bounds; subviews
    // are not. Invalid frames (sizes differ, empty, times not
    // rising within 0..1, duration not positive) are ignored.
    void addScaleKeyframeAnimation(const QString& key, std::vector<double> values, std::vector<double> keyTimes,
                                   double duration);
    // Keys of the key-frame animations still running.
    QStringList animationKeys() const;
    void removeAnimation(const QString& key);
    double presentationScale() const;

    // A view that blocks input takes every pointer event that reaches it (mouse, touch, wheel,
    // trackpad), so the views it lies in do not react: the overlay behind a modal card. Its
    // buttons and sliders still get their own input.
    void setBlocksInput(bool blocks);
    bool blocksInput() const { return blocksInput_; }

    // Takes ownership; the recogniser is driven by the input that reaches this view (not the
    // input a child button takes). Returns the recogniser for the caller to keep as a borrow.
    GestureRecognizer* addGestureRecognizer(std::unique_ptr<GestureRecognizer> recognizer);
    const std::vector<std::unique_ptr<GestureRecognizer>>& gestureRecognizers() const { return recognizers_; }

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    // Scales `painter` about the view's centre by presentationScale(); subclasses call it so
    // their content bounces with the background.
    void applyPresentationScale(QPainter& painter) const;
    // The frame's area in widget coordinates: rect() less the room a growing scale animation
    // borrowed around it (none otherwise). Subclasses that may bounce draw in it.
    QRectF contentRect() const { return QRectF(rect()).adjusted(overflow_, overflow_, -overflow_, -overflow_); }

private:
    struct Track {
        double from = 0, to = 0, start = 0, duration = 0, spring = 0;
        bool active = false;
        double valueAt(double now) const;
    };
    struct Keyframes {
        std::vector<double> values, keyTimes;
        double start = 0, duration = 0;
        double valueAt(double now) const;
    };
    bool keyframesRunning(double now) const;

    Track alphaTrack_;
    Track frameTracks_[4];
    std::map<QString, Keyframes> scaleAnimations_;
    std::vector<QString> scaleOrder_;  // keys in the order they were added
    double overflow_ = 0;               // the widget's extent past the frame on each side
    bool blocksInput_ = false;
    std::vector<std::unique_ptr<GestureRecognizer>> recognizers_;
    std::unique_ptr<GestureDriver> gestureDriver_;
    QRectF frame_;
    QColor shadowColor_ = Qt::black;
    double shadowOpacity_ = 0;
    double shadowRadius_ = 0;
    QPointF shadowOffset_;
    bool clipsToBounds_ = false;
    QColor background_ = Qt::transparent;
    double alpha_ = 1.0;
    double cornerRadius_ = 0;
    double borderWidth_ = 0;
    QColor borderColor_ = Qt::black;
    int tag_ = 0;
};

}  // namespace sorvel
