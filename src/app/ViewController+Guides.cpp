// The composition guides over the preview: a rule-of-thirds grid over the photo area and a
// rounded frame for a 9:16 or 1:1 crop (or a smaller centred frame), rebuilt from "grid_lines".

#include "app/GuideGeometry.h"
#include "app/ViewController.h"
#include "app/themes/ThemeManager.h"
#include "platform/foundation/SettingsStore.h"
#include "platform/ui/Layer.h"

namespace sorvel {

namespace {
QColor withAlpha(QColor c, double a) {
    c.setAlphaF(static_cast<float>(a));
    return c;
}
}  // namespace

void ViewController::setupGridLines() {
    if (gridContainer) {
        gridContainer->removeFromSuperview();
        gridContainer->deleteLater();
        gridContainer = nullptr;
    }
    gridContainer = new View(guidePhotoArea(view()->bounds()), nullptr);
    gridContainer->setBackgroundColor(Qt::transparent);
    gridContainer->setUserInteractionEnabled(false);
    gridContainer->setAccessibilityIdentifier("gridContainer");
    view()->addSubview(gridContainer);

    switch (SettingsStore::standard().integerForKey("grid_lines")) {
    case 1:
        addGridLines(3, 3);
        addCropIndicatorRect(0.6571428571428571, std::nullopt, 1.0);
        break;
    case 2:
        addGridLines(3, 3, addCropIndicatorRect(std::nullopt, 9.0 / 16.0, 3.0, 12.0, true));
        break;
    case 3:
        addGridLines(3, 3, addCropIndicatorRect(std::nullopt, 1.0, 3.0, 12.0, true));
        break;
    default:
        break;
    }
}

void ViewController::addGridLines(int rows, int columns, std::optional<QRectF> withinRect) {
    if (!gridContainer) return;
    for (const QRectF& frame : gridLineFrames(rows, columns, withinRect.value_or(gridContainer->bounds())))
        gridContainer->addSubview(createLineView(frame));
}

QRectF ViewController::addCropIndicatorRect(std::optional<double> scaleFactor, std::optional<double> aspectRatio,
                                            double lineThickness, double cornerRadius, bool doubleLine) {
    if (!gridContainer) return {};
    const QRectF frame = cropIndicatorFrame(gridContainer->bounds().size(), scaleFactor, aspectRatio);
    auto makeLayer = [&](const QRectF& rect, double radius, const QColor& stroke, double width) {
        auto layer = std::make_shared<ShapeLayer>();
        layer->setFrame(gridContainer->bounds());
        layer->setPath(ShapeLayer::roundedRectPath(rect, radius));
        layer->setStrokeColor(stroke);
        layer->setFillColor(Qt::transparent);
        layer->setFillRule(FillRule::EvenOdd);
        layer->setLineWidth(width);
        // Half opaque, so the frame stays readable on a bright scene without a dark halo.
        layer->setShadow(Qt::black, 0.5, 3, QPointF(0, 2));
        gridContainer->addSublayer(layer);
    };
    if (doubleLine)
        makeLayer(frame.adjusted(-2, -2, 2, 2), cornerRadius + 2, withAlpha(ThemeManager::bgColor(), 0.7), 1.0);
    makeLayer(frame, cornerRadius, withAlpha(ThemeManager::textColor(), 0.7), lineThickness);
    return frame;
}

View* ViewController::createLineView(const QRectF& frame) {
    auto* line = new View(frame, nullptr);
    line->setBackgroundColor(withAlpha(ThemeManager::textColor(), 0.6));
    line->setShadow(Qt::black, 0.7, 1, QPointF(0, 0));
    line->setUserInteractionEnabled(false);
    line->setAccessibilityIdentifier("gridLine");
    return line;
}

}  // namespace sorvel
