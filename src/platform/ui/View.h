#pragma once
// A view as a phone toolkit has it: a frame in points (origin top-left), a background colour
// with alpha, view alpha, corner radius, border, tag and accessibility identifier. It is a
// QWidget that paints its own background, so app code reads like a phone app's.
//
// Besides its subviews a view hosts layers (Layer.h: shape and gradient layers), drawn over its
// background and below its subviews; a view whose layers or shadow reach past its bounds is
// given the room on screen (its frame and its subviews' frames stay as set). `endEditing`
// ends text editing inside it; `setEndsEditingOnTouch` makes any press inside it do so.
// Main thread only.

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
class Layer;

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

    // A scroll view puts the child into its scrolled content instead.
    virtual void addSubview(QWidget* child);
    // Places `child` directly below `sibling` among this view's subviews.
    void insertSubviewBelow(QWidget* child, QWidget* sibling);
    // Places `child` at `index` among this view's subviews (0: the lowest).
    void insertSubview(QWidget* child, int index);
    // The first subview with this tag (this view itself when it has it), searching down.
    View* viewWithTag(int tag);
    void removeFromSuperview();

    // What the screen shows at this moment while an animation runs (the model value otherwise).
    double presentationAlpha() const;
    QRectF presentationFrame() const;
    bool isAnimating() const;
    void beginCrossDissolve(double duration);
    // Applies the presentation values to the widget; called by the animation driver.
    void applyPresentation();
    // One step of the display: every animating view shows its presentation values now. The
    // display timer calls it, and so does the end of every animation, so the widgets stand
    // where the model says once the Clock has passed it (tests, which run no timer, rely on it).
    static void applyAnimationsNow();

    // Layer shadow: the blurred alpha of what the view and its subviews draw (its rounded
    // background when it has one, the text of a clear label), moved by `offset`.
    void setShadow(const QColor& color, double opacity, double radius, QPointF offset = {});
    QPointF shadowOffset() const { return shadowOffset_; }
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

    // Layers, drawn first to last over the background and below the subviews. A layer has one
    // host: adding it elsewhere moves it.
    void addSublayer(std::shared_ptr<Layer> layer);
    void insertSublayer(std::shared_ptr<Layer> layer, std::size_t index);
    void removeSublayer(const Layer* layer);
    const std::vector<std::shared_ptr<Layer>>& sublayers() const { return layers_; }
    // Called by layers when they change or start animating.
    void sublayersChanged();
    void sublayerAnimationStarted();

    // Controls that handle their own presses (buttons, sliders, switches, text fields, scroll
    // views) say so: gesture recognisers of the views around them leave those presses alone.
    virtual bool takesOwnInput() const { return false; }
    // Gives up a press the control is tracking (a scroll view took the drag): no action follows.
    virtual void cancelTracking() {}

    // Ends editing of the text field being edited inside this view (or this view itself), as
    // the keyboard's dismissal does; true when one was editing. `force` is accepted for the
    // phone's signature: a field cannot refuse here.
    bool endEditing(bool force = true);
    // Any press or touch that begins inside this view ends editing, unless it lands on a text
    // field or on the keyboard's toolbar.
    void setEndsEditingOnTouch(bool ends);
    bool endsEditingOnTouch() const { return endsEditingOnTouch_; }

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
    QRectF contentRect() const {
        double o = overflow_ + layerOverflow_;
        return QRectF(rect()).adjusted(o, o, -o, -o);
    }
    // Keeps the display refreshing this view until Clock time `until` (a control's own
    // animation: a switch's thumb); isAnimating() holds until then.
    void keepRedrawingUntil(double until);
    void drawSublayers(QPainter& painter) const;

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
    // Puts the widget where the presentation frame says, grown by the room the view needs
    // outside its frame and moved by the room its parent view takes.
    void placeWidget();
    void updateLayerOverflow();
    void updateEffect();

    Track alphaTrack_;
    Track frameTracks_[4];
    std::map<QString, Keyframes> scaleAnimations_;
    std::vector<QString> scaleOrder_;  // keys in the order they were added
    double overflow_ = 0;               // the widget's extent past the frame on each side
    double layerOverflow_ = 0;          // room taken on each side for layers past the bounds
    double redrawUntil_ = 0;
    bool endsEditingOnTouch_ = false;
    std::vector<std::shared_ptr<Layer>> layers_;
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
