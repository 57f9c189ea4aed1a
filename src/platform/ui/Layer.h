#pragma once
// Layers: drawings a view hosts on top of its own background and below its subviews, as a
// phone's sublayers are. A `ShapeLayer` strokes and fills a path (the guides' crop frame); a
// `GradientLayer` fills its frame with a linear gradient whose colours can be animated on the
// Clock (the innovative-features card). A view keeps its layers in a list, drawn first to last;
// `View::addSublayer` / `insertSublayer(layer, 0)` put one on top / at the bottom.
//
// Frames are in the host view's coordinates, paths in the layer's own (origin at its frame's
// top-left). A layer may draw past its host's bounds (a stroke grown outward, a shadow): the
// host makes room for it on screen. Layers take no input. Main thread only.

#include <QColor>
#include <QPainterPath>
#include <QPointF>
#include <QRectF>
#include <QStringList>
#include <limits>
#include <map>
#include <memory>
#include <vector>

class QPainter;

namespace sorvel {

class View;

class Layer {
public:
    virtual ~Layer();
    Layer() = default;
    Layer(const Layer&) = delete;
    Layer& operator=(const Layer&) = delete;

    QRectF frame() const { return frame_; }
    void setFrame(const QRectF& frame);
    bool isHidden() const { return hidden_; }
    void setHidden(bool hidden);
    double opacity() const { return opacity_; }
    void setOpacity(double opacity);

    // A shadow of what the layer draws (its alpha), blurred by `radius`, moved by `offset`.
    void setShadow(const QColor& color, double opacity, double radius, QPointF offset = {0, -3});
    QColor shadowColor() const { return shadowColor_; }
    double shadowOpacity() const { return shadowOpacity_; }
    double shadowRadius() const { return shadowRadius_; }
    QPointF shadowOffset() const { return shadowOffset_; }

    // The view hosting it, or nullptr.
    View* superview() const { return host_; }
    void removeFromSuperlayer();

    // Draws the layer with its shadow and opacity; `painter` is in the host's coordinates.
    void render(QPainter& painter) const;
    // What render() may touch, in the host's coordinates.
    QRectF drawnBounds() const;
    // Whether an animation of the layer is still running at `now` (Clock time).
    virtual bool isAnimating(double) const { return false; }

protected:
    // The layer's content in its own coordinates, without shadow or opacity.
    virtual void draw(QPainter& painter) const = 0;
    // The content's extent in the layer's own coordinates (a stroke reaches past the path).
    virtual QRectF contentBounds() const { return QRectF(QPointF(), frame_.size()); }
    // Asks the host to redraw (and to re-measure the room the layer needs).
    void setNeedsDisplay();
    // Tells the host an animation started, so the display keeps refreshing it.
    void animationStarted();

private:
    friend class View;
    View* host_ = nullptr;
    QRectF frame_;
    bool hidden_ = false;
    double opacity_ = 1.0;
    QColor shadowColor_ = Qt::black;
    double shadowOpacity_ = 0;
    double shadowRadius_ = 3;
    QPointF shadowOffset_{0, -3};
};

enum class FillRule { NonZero, EvenOdd };

class ShapeLayer : public Layer {
public:
    // A rounded rectangle path, the one the guides draw.
    static QPainterPath roundedRectPath(const QRectF& rect, double cornerRadius);

    const QPainterPath& path() const { return path_; }
    void setPath(const QPainterPath& path);
    // Fill defaults to opaque black and stroke to none, as on a phone; clear disables either.
    QColor fillColor() const { return fill_; }
    void setFillColor(const QColor& c);
    QColor strokeColor() const { return stroke_; }
    void setStrokeColor(const QColor& c);
    double lineWidth() const { return lineWidth_; }
    void setLineWidth(double w);
    FillRule fillRule() const { return fillRule_; }
    void setFillRule(FillRule rule);

protected:
    void draw(QPainter& painter) const override;
    QRectF contentBounds() const override;

private:
    QPainterPath path_;
    QColor fill_ = Qt::black;
    QColor stroke_ = Qt::transparent;
    double lineWidth_ = 1.0;
    FillRule fillRule_ = FillRule::NonZero;
};

// How often an animation repeats: a count, or without end (infinite()).
struct RepeatCount {
    double count = 1;
    static RepeatCount infinite() { return {std::numeric_limits<double>::infinity()}; }
};

class GradientLayer : public Layer {
public:
    // Evenly spread when `locations` is empty; points are in unit coordinates of the frame
    // (0, 0 top-left), vertical by default.
    const std::vector<QColor>& colors() const { return colors_; }
    void setColors(std::vector<QColor> colors);
    void setLocations(std::vector<double> locations);
    void setStartPoint(QPointF p);
    void setEndPoint(QPointF p);
    QPointF startPoint() const { return start_; }
    QPointF endPoint() const { return end_; }

    // Animates the colours from what is shown now to `to` over `duration` seconds (ease in and
    // out), back again when `autoreverses`, `repeat` times. It replaces a running animation of
    // the same key; the model colours stay as set. Colour lists of another length are ignored.
    void addColorsAnimation(const QString& key, std::vector<QColor> to, double duration, bool autoreverses,
                            RepeatCount repeat = {});
    void removeAnimation(const QString& key);
    QStringList animationKeys() const;
    // The colours on screen now.
    std::vector<QColor> presentationColors() const;
    bool isAnimating(double now) const override;

protected:
    void draw(QPainter& painter) const override;

private:
    struct ColorsAnimation {
        std::vector<QColor> from, to;
        double start = 0, duration = 0;
        bool autoreverses = false;
        double repeat = 1;
        double end() const { return start + duration * repeat * (autoreverses ? 2 : 1); }
    };
    std::vector<QColor> colors_;
    std::vector<double> locations_;
    QPointF start_{0.5, 0}, end_{0.5, 1};
    std::map<QString, ColorsAnimation> animations_;
};

}  // namespace sorvel
