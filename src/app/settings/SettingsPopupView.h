#pragma once
// The bottom sheet in which the user changes every persistent option. The controller creates
// it below the screen, slides it up and hands it its close action; every opening builds a fresh
// panel from the settings store, and every control writes its key the moment it changes.
//
// Inside, top to bottom in a scroll view: the fifteen option rows (tag = row index), the custom
// button switch and field, the four sliders, the watermark, theme and icon buttons, the
// innovative-features card and the help text. A blur of the screen behind is its background; a
// pull down while the content is at its top drags it and closes it.
//
// The operations are grouped in SettingsPopupView.cpp (building and loading),
// SettingsPopupView+Handlers.cpp (what each control does), +Drag.cpp and +Icons.cpp. Main
// thread only.

#include <QPointF>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/ui/CollectionView.h"
#include "platform/ui/ScrollView.h"
#include "platform/ui/View.h"

namespace sorvel {

class BlurView;
class Button;
class InnovativeFeaturesView;
class Label;
class PanGestureRecognizer;
class SegmentedControl;
class Slider;
class StackView;
class Switch;
class TextField;
class ViewController;

// Views the camera screen rebuilds while the panel is open (the guides, the shutter row) are
// added on top of it: this puts the panel's overlay and the panel back above them.
void bringSettingsPanelToFront(ViewController& controller);

class SettingsPopupView : public View, public CollectionViewDataSource, public CollectionViewDelegate {
public:
    SettingsPopupView(const QRectF& frame, std::weak_ptr<ViewController> viewController);
    ~SettingsPopupView() override;

    // Stores the action and attaches it to the close button.
    void setCloseAction(std::function<void()> action);

    // Building
    void setup();
    void setupCloseButton();
    void setupDescriptionLabel();
    void setupSettingsStackView();
    void setupSliders();
    void setupThemeButton();
    void setupInnovativeFeaturesView();
    void setupWatermarkButton();
    void setupChangeIconButton();
    void setupConstraints();
    void setupControlActions();
    void setupPanGesture();
    void loadSettings();

    // Handlers
    void switchValueChanged(Switch* sender);
    void segmentedControlValueChanged(SegmentedControl* sender);
    void sliderValueChanged(Slider* sender);
    void customButtonSwitchChanged(Switch* sender);
    void customButtonTextFieldChanged(TextField* sender);
    void watermarkButtonTapped();
    void openTheme();
    void updateSliderLabel(Slider* slider, Label* label, float value, const QString& title);
    void updateRelatedSettings(bool isDepthEnabled);
    void updateWatermarkButtonTitle();

    // Drag to close
    void handlePanGesture(PanGestureRecognizer& gesture);
    bool gestureRecognizerShouldBegin(QPointF velocity) const;

    // App icons
    void showIconPicker();
    void dismissIconPicker();
    // Nothing names the primary icon.
    void setAppIcon(const std::optional<std::string>& name);
    int numberOfItems(CollectionView& view) override;
    CollectionViewCell* cellForItem(CollectionView& view, int index) override;
    std::optional<QSizeF> sizeForItem(CollectionView& view, int index) override;
    void didSelectItem(CollectionView& view, int index) override;

    // The option rows in order: the title and the row's switch or segmented control.
    struct Setting {
        QString title;
        View* control;
    };
    struct SliderSetting {
        Slider* slider;
        Label* label;
        std::string key;
        QString title;
    };
    std::vector<Setting> settings;
    std::vector<SliderSetting> sliders;
    std::weak_ptr<ViewController> viewController;
    ScrollView* scrollView = nullptr;
    View* contentView = nullptr;
    StackView* settingsStackView = nullptr;
    Button* closeButton = nullptr;
    PanGestureRecognizer* panGestureRecognizer = nullptr;
    QPointF originalPosition;        // the panel's centre when a drag began
    QPointF currentPositionTouched;  // the touch at that moment
    std::function<void()> closeAction;
    Label* DescriptionLabel = nullptr;
    BlurView* blurEffectView = nullptr;
    Button* changeIconButton = nullptr;
    Button* themeSettingsButton = nullptr;
    Button* watermarkButton = nullptr;
    InnovativeFeaturesView* innovativeFeaturesView = nullptr;
    Switch* customButtonSwitch = nullptr;
    TextField* customButtonTextField = nullptr;
    std::vector<QString> iconNames;
    // The picker while it is presented.
    std::shared_ptr<ScreenController> iconPicker;

private:
    // The rows' and sections' heights changed (a row shown or hidden): lay the content out
    // again and size the scroll range to it.
    void relayoutContent();
    void setRowHidden(int tag, bool hidden);
    // The option stack's row view for a tag.
    View* rowView(int tag) const;
    // A drag that reached the panel through its scroll view.
    void scrollViewDragged(const ScrollView::Drag& drag);
    void dragBegan();
    void dragChanged(QPointF translation);
    void dragEnded(QPointF velocity);
    void rebuildCustomButtonRow(bool hideUnlessEnabled);

    StackView* contentStack_ = nullptr;
    StackView* slidersStack_ = nullptr;
    bool dragging_ = false;
};

}  // namespace sorvel
