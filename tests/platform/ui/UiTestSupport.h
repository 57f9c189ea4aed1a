#pragma once
// The offscreen Qt application, virtual clock and manual main queue every UI test runs on.

#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QRect>

#include "platform/foundation/Clock.h"
#include "platform/foundation/Dispatch.h"

namespace sorvel::testing {

inline void ensureOffscreenApplication() {
    if (QApplication::instance()) return;
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "ui-tests";
    static char* argv[] = {name, nullptr};
    new QApplication(argc, argv);
}

struct UiFixture : ::testing::Test {
    VirtualClock clock{5000.0};
    ManualMainQueue main{clock};
    void SetUp() override {
        ensureOffscreenApplication();
        Clock::install(&clock);
        DispatchQueue::installMain(&main);
    }
    void TearDown() override {
        DispatchQueue::installMain(nullptr);
        Clock::install(nullptr);
    }
};

// The smallest rectangle holding every pixel whose alpha exceeds `threshold` (null if none).
inline QRect opaqueBounds(const QImage& image, int threshold = 0) {
    QImage img = image.convertToFormat(QImage::Format_ARGB32);
    int left = img.width(), top = img.height(), right = -1, bottom = -1;
    for (int y = 0; y < img.height(); ++y) {
        const QRgb* row = reinterpret_cast<const QRgb*>(img.constScanLine(y));
        for (int x = 0; x < img.width(); ++x) {
            if (qAlpha(row[x]) <= threshold) continue;
            left = std::min(left, x);
            right = std::max(right, x);
            top = std::min(top, y);
            bottom = std::max(bottom, y);
        }
    }
    if (right < 0) return {};
    return QRect(QPoint(left, top), QPoint(right, bottom));
}

}  // namespace sorvel::testing
