#pragma once
// The offscreen Qt application, virtual clock and manual main queue every UI test runs on.

#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QRect>
#include <QTest>
#include <QWindow>
#include <QWheelEvent>

#include "platform/foundation/Clock.h"
#include "platform/foundation/Dispatch.h"
#include "platform/ui/View.h"

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

// Pointer input through the window system, as a person's mouse produces it: Qt routes each
// press to the widget under it, grabs the mouse for the one that took it, and propagates what
// a widget ignores. `top` must be a shown top-level widget; points are in its coordinates.
struct Pointer {
    QWidget* top;
    QWindow* window() const { return top->windowHandle(); }
    void press(QPoint p) { QTest::mousePress(window(), Qt::LeftButton, {}, p); }
    void move(QPoint p) { QTest::mouseMove(window(), p); }
    void release(QPoint p) { QTest::mouseRelease(window(), Qt::LeftButton, {}, p); }
    void click(QPoint p) {
        press(p);
        release(p);
    }
    // A drag in `steps` moves; `clock`, when given, advances between moves (velocities).
    template <class Advance>
    void drag(QPoint from, QPoint to, int steps, Advance&& advance) {
        press(from);
        for (int i = 1; i <= steps; ++i) {
            advance();
            move(from + (to - from) * i / steps);
        }
        release(to);
    }
    void drag(QPoint from, QPoint to, int steps = 8) {
        drag(from, to, steps, [] {});
    }
    // One wheel event of `angle` units (120 a notch) at `p`, delivered as Qt delivers a
    // window system's: to the widget under it, handed on to its parents while they ignore it.
    // Returns the widget that took it (nullptr: none).
    QWidget* wheel(QPoint p, QPoint angle) {
        QWidget* target = top->childAt(p);
        if (!target) target = top;
        for (QWidget* w = target; w; w = w->parentWidget()) {
            QWheelEvent e(w->mapFrom(top, QPointF(p)), top->mapToGlobal(QPointF(p)), QPoint(), angle, Qt::NoButton,
                          Qt::NoModifier, Qt::NoScrollPhase, false);
            e.ignore();
            QApplication::sendEvent(w, &e);
            if (e.isAccepted()) return w;
            if (w == top) break;
        }
        return nullptr;
    }
};

// Shows `top` on the offscreen screen and waits until Qt has exposed it.
inline void showTopLevel(QWidget& top) {
    top.show();
    top.activateWindow();
    (void)QTest::qWaitForWindowExposed(&top);
}

// A shown 390 x 844 root view to put controls on and press through the window system.
struct ScreenFixture : UiFixture {
    std::unique_ptr<View> root;
    void SetUp() override {
        UiFixture::SetUp();
        root = std::make_unique<View>(QRectF(0, 0, 390, 844));
        showTopLevel(*root);
    }
    void TearDown() override {
        root.reset();
        UiFixture::TearDown();
    }
    Pointer pointer() { return Pointer{root.get()}; }
};

}  // namespace sorvel::testing
