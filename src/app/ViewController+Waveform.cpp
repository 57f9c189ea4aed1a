// The waveform monitor: a small panel at the top of the screen that pro mode slides in, showing
// for each column of the preview how many pixels have each red, green and blue level.

#include <QPainter>
#include <cmath>

#include "app/ViewController.h"
#include "app/pro/Waveform.h"

namespace sorvel {

namespace {
constexpr double kWaveformWidth = 240;
constexpr double kWaveformHeight = 100;

// The waveform bitmap drawn to the monitor's size at the screen's scale, on a clear ground.
QImage screenImage(const WaveformBitmap& waveform, QSizeF size, double scale) {
    const QImage bitmap(waveform.rgba.data(), waveform.width, waveform.height, waveform.width * 4,
                        QImage::Format_RGBA8888_Premultiplied);
    QImage shown(QSize(static_cast<int>(std::ceil(size.width() * scale)), static_cast<int>(std::ceil(size.height() * scale))),
                 QImage::Format_ARGB32_Premultiplied);
    shown.fill(Qt::transparent);
    shown.setDevicePixelRatio(scale);
    QPainter painter(&shown);
    painter.drawImage(QRectF(QPointF(0, 0), size), bitmap);
    return shown;
}
}  // namespace

void ViewController::setupWaveformView() {
    waveformView = new ImageView(QRectF(0, 0, kWaveformWidth, kWaveformHeight), nullptr);
    waveformView->setBackgroundColor(QColor(0, 0, 0, 77));
    waveformView->setCornerRadius(10);
    waveformView->setClipsToBounds(true);
    waveformView->setBorder(1, QColor(255, 255, 255, 77));
    waveformView->setAlpha(0.0);
    waveformView->setUserInteractionEnabled(false);
    waveformView->setAccessibilityIdentifier("waveformView");
    waveformTopConstraint = -100;
    view()->addSubview(waveformView);
    layoutWaveformView();
}

void ViewController::layoutWaveformView() {
    if (!waveformView) return;
    const double centreX = view()->bounds().width() / 2;
    waveformView->setFrame(QRectF(centreX - kWaveformWidth / 2, safeAreaInsets().top + waveformTopConstraint,
                                  kWaveformWidth, kWaveformHeight));
}

void ViewController::updateWaveform(const image::Image& frame) {
    if (!waveformView) return;
    const QRectF bounds = waveformView->bounds();
    const int outputWidth = static_cast<int>(std::floor(bounds.width())) / 2;
    const int outputHeight = static_cast<int>(std::floor(bounds.height())) / 2;
    auto waveform = renderWaveform(frame, outputWidth, outputHeight);
    if (!waveform) return;
    waveformView->setImage(screenImage(*waveform, bounds.size(), screenProfile().scale));
}

}  // namespace sorvel
