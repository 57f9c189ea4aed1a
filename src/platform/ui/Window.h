#pragma once
// The one top-level window: hosts a root screen controller full-screen at the profile's size.

#include <QWidget>
#include <vector>

#include "ScreenController.h"

namespace sorvel {

class Window : public QWidget {
public:
    explicit Window(ScreenController& root);
    ~Window() override;
    // Loads the root view, shows the window and tells the controller it appeared (after the
    // window is on screen, as a phone does after its appearance transition).
    void makeKeyAndVisible();
    ScreenController& rootController() { return root_; }
    // The windows that exist, oldest first.
    static const std::vector<Window*>& windows();

    // One press of a hardware volume key moves the output volume by this much.
    static constexpr float kVolumeStep = 1.0f / 16;

protected:
    // The volume keys (and + / = / - on a keyboard) move the audio session's output volume.
    void keyPressEvent(QKeyEvent* event) override;

private:
    ScreenController& root_;
};

}  // namespace sorvel
