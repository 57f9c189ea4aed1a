#pragma once
// The camera screen in a shown window with its settings panel opened by a click, and the
// mouse and keyboard a person would use on it.

#include <QLineEdit>
#include <QTest>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <memory>

#include "../platform/ui/UiTestSupport.h"
#include "AppHarness.h"
#include "app/settings/SettingsPopupView.h"
#include "platform/capture/CaptureDevice.h"
#include "platform/foundation/SettingsStore.h"
#include "platform/ui/Button.h"
#include "platform/ui/ScrollView.h"
#include "platform/ui/SegmentedControl.h"
#include "platform/ui/Switch.h"
#include "platform/ui/Window.h"

namespace sorvel::testing {

// A whole text file (empty when it cannot be read).
inline std::string readTextFile(const std::filesystem::path& path) {
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// Types `text` key by key as key events carrying the characters (QTest::keyClicks knows only
// ASCII; Chinese arrives from the input method as committed text, one event per character here).
inline void typeText(QWidget* target, const QString& text, const std::function<void()>& afterEach = nullptr) {
    for (QChar c : text) {
        QTest::sendKeyEvent(QTest::Press, target, Qt::Key_unknown, QString(c), Qt::NoModifier);
        QTest::sendKeyEvent(QTest::Release, target, Qt::Key_unknown, QString(c), Qt::NoModifier);
        if (afterEach) afterEach();
    }
}

class SettingsPanelHarness : public AppHarness {
protected:
    std::unique_ptr<Window> window;

    void SetUp() override {
        AppHarness::SetUp();
        // The welcome has been answered: its alert would lie over the settings button.
        store().setBool(true, "isFirstLaunch");
    }
    void TearDown() override {
        window.reset();
        AppHarness::TearDown();
    }

    // The camera screen in a shown window, the panel opened by a click on the settings button
    // and slid into place.
    SettingsPopupView& open() {
        if (!window) {
            ViewController& vc = startCamera();
            window = std::make_unique<Window>(vc);
            window->makeKeyAndVisible();
            runUntilIdle();
        }
        pointer().click(centreOf(controller->settingsButton));
        runUntilIdle();
        advance(0.35);
        EXPECT_NE(controller->settingsPopupView, nullptr);
        return *controller->settingsPopupView;
    }
    // Closes it with its close button and lets it slide away.
    void closeWithButton() {
        SettingsPopupView& panel = *controller->settingsPopupView;
        pointer().click(centreOf(panel.closeButton));
        runUntilIdle();
        advance(0.35);
        runUntilIdle();
        ASSERT_EQ(controller->settingsPopupView, nullptr);
    }

    Pointer pointer() { return Pointer{window.get()}; }
    QPoint centreOf(const QWidget* w) const { return w->mapTo(window.get(), w->rect().center()); }
    QPoint pointIn(const QWidget* w, QPointF local) const { return w->mapTo(window.get(), local.toPoint()); }

    // Scrolls the panel so that `w` lies in its visible part, as a person scrolls to a row.
    void reveal(QWidget* w) {
        ScrollView* scroll = controller->settingsPopupView->scrollView;
        const int y = w->mapTo(scroll->contentView(), QPoint(0, 0)).y();
        scroll->setContentOffset(QPointF(0, std::max(0, y - 60)));
        runUntilIdle();
    }
    void click(QWidget* w) {
        reveal(w);
        pointer().click(centreOf(w));
        runUntilIdle();
    }
    void clickSegment(SegmentedControl* c, int index) {
        reveal(c);
        pointer().click(pointIn(c, c->segmentRect(index).center()));
        runUntilIdle();
    }

    Switch* switchAt(int tag) { return dynamic_cast<Switch*>(controller->settingsPopupView->settings.at(tag).control); }
    SegmentedControl* segmentsAt(int tag) {
        return dynamic_cast<SegmentedControl*>(controller->settingsPopupView->settings.at(tag).control);
    }
    // The option row (title and control) of a tag.
    View* row(int tag) { return dynamic_cast<View*>(controller->settingsPopupView->settings.at(tag).control->parentWidget()); }
    SettingsStore& store() { return env->settings(); }
    // Clicks the shown button with this title (an alert's, a bar's).
    void clickButtonTitled(const QString& title) {
        Button* found = nullptr;
        // (findChildren<Button*> cannot tell buttons apart: they have no meta-object of their own.)
        for (QWidget* w : window->findChildren<QWidget*>())
            if (auto* b = dynamic_cast<Button*>(w); b && b->title() == title && b->isVisible()) found = b;
        ASSERT_NE(found, nullptr) << title.toStdString();
        pointer().click(centreOf(found));
        runUntilIdle();
    }

    std::shared_ptr<CaptureDevice> camera(DevicePosition position) {
        for (const auto& c : controller->getAllCameras())
            if (c->position() == position) return c;
        return nullptr;
    }
};


}  // namespace sorvel::testing
