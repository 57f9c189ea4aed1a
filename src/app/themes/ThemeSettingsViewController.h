#pragma once
// The theme screen, presented over the camera from the settings panel: two colour wells
// (background; text and icons), a button that opens the photo picker for a background picture,
// and the switch that shows or hides it. Every change is stored at once and applied to the
// main screen as far as it can be without a restart. Closed by a swipe down. Main thread only.

#include <memory>

#include "platform/ui/Button.h"
#include "platform/ui/ColorWell.h"
#include "platform/ui/Label.h"
#include "platform/ui/PhotoPicker.h"
#include "platform/ui/ScreenController.h"
#include "platform/ui/Switch.h"

namespace sorvel {

class ThemeSettingsViewController : public ScreenController {
public:
    explicit ThemeSettingsViewController(ScreenProfile profile = ScreenProfile::phone());

    void viewDidLoad() override;
    void setupUI();
    void loadSettings();

    void backgroundColorChanged();
    void textAndIconColorChanged();
    void chooseCustomBackgroundImage();
    void useCustomBackgroundChanged();
    // The picker's answers.
    void imagePickerDidFinishPicking(PhotoPickerController& picker, const PickedPhoto& photo);
    void imagePickerDidCancel(PhotoPickerController& picker);

    ColorWell* backgroundColorPicker = nullptr;
    ColorWell* textAndIconColorPicker = nullptr;
    Button* customBackgroundImageButton = nullptr;
    Switch* useCustomBackgroundSwitch = nullptr;
    Label* backgroundColorLabel = nullptr;
    Label* textAndIconColorLabel = nullptr;
    Label* useCustomBackgroundLabel = nullptr;
};

}  // namespace sorvel
