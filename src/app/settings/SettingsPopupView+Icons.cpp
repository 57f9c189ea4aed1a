// The app icon picker: "更改图标" presents a list of the fifteen icons; a row switches the
// launcher icon through the platform's alternate icons.

#include <QPointer>

#include "app/ViewController.h"
#include "app/settings/PanelText.h"
#include "app/settings/AppIconChoices.h"
#include "app/settings/IconCell.h"
#include "app/settings/SettingsPopupView.h"
#include "platform/foundation/Console.h"
#include "platform/foundation/Localization.h"
#include "platform/ui/Alert.h"
#include "platform/ui/AlternateIcons.h"
#include "platform/ui/CollectionView.h"
#include "platform/ui/Haptics.h"
#include "platform/ui/ImageView.h"
#include "platform/ui/NavigationController.h"

namespace sorvel {

namespace {

CollectionView* pickerList(const std::shared_ptr<ScreenController>& picker) {
    auto* navigation = dynamic_cast<NavigationController*>(picker.get());
    if (!navigation) return nullptr;
    auto* list = dynamic_cast<CollectionViewController*>(&navigation->rootController());
    return list ? list->collectionView() : nullptr;
}
}  // namespace

void SettingsPopupView::showIconPicker() {
    auto controller = viewController.lock();
    if (!controller || iconPicker) return;
    FlowLayout layout;
    layout.minimumInteritemSpacing = 10;
    auto list = std::make_shared<CollectionViewController>(controller->screenProfile(), layout);
    list->loadViewIfNeeded();
    CollectionView* collection = list->collectionView();
    collection->registerCell(IconCell::kReuseIdentifier, [] { return std::make_unique<IconCell>(); });
    collection->setDataSource(this);
    collection->setDelegate(this);
    collection->setAccessibilityIdentifier("iconPickerList");
    QPointer<SettingsPopupView> self(this);
    list->navigationItem().title = localizedText("选一个图标");
    list->navigationItem().rightBarButtonItem =
        BarButtonItem::titled(localizedText("完成"), BarButtonStyle::Done, "dismissIconPicker", [self] {
            if (self) self->dismissIconPicker();
        });
    auto navigation = std::make_shared<NavigationController>(list);
    // A swipe down dismisses it too: the list must let go of the panel then as well.
    navigation->onDismiss = [self] {
        if (!self || !self->iconPicker) return;
        if (CollectionView* shown = pickerList(self->iconPicker)) {
            shown->setDataSource(nullptr);
            shown->setDelegate(nullptr);
        }
        self->iconPicker.reset();
    };
    iconPicker = navigation;
    collection->reloadData();
    controller->present(navigation);
}

void SettingsPopupView::dismissIconPicker() {
    if (!iconPicker) return;
    std::shared_ptr<ScreenController> picker = std::move(iconPicker);
    if (CollectionView* list = pickerList(picker)) {
        list->setDataSource(nullptr);
        list->setDelegate(nullptr);
    }
    picker->dismiss();
}

int SettingsPopupView::numberOfItems(CollectionView&) { return static_cast<int>(iconNames.size()); }

CollectionViewCell* SettingsPopupView::cellForItem(CollectionView& view, int index) {
    auto* cell = static_cast<IconCell*>(view.dequeueReusableCell(IconCell::kReuseIdentifier, index));
    if (!cell || index < 0 || index >= static_cast<int>(iconNames.size())) return cell;
    cell->iconNameLabel->setText(iconNames[index]);
    // The 64-pixel rendering stays sharp at 32 points on a 2x screen.
    if (auto picture = AlternateIcons::iconPicture(alternateIconNameForRow(index), 64))
        cell->iconImageView->setImage(QImage(QString::fromStdString(picture->string())));
    return cell;
}

std::optional<QSizeF> SettingsPopupView::sizeForItem(CollectionView& view, int) {
    return QSizeF(view.frame().width(), 40);
}

void SettingsPopupView::didSelectItem(CollectionView& view, int index) {
    setAppIcon(alternateIconNameForRow(index));
    view.deselectItem(index, Animated::Yes);
}

void SettingsPopupView::setAppIcon(const std::optional<std::string>& name) {
    if (!AlternateIcons::supportsAlternateIcons()) {
        consolePrint("This device does not support alternate icons");
        return;
    }
    std::weak_ptr<ViewController> owner = viewController;
    AlternateIcons::setAlternateIconName(name, [name, owner](const std::optional<std::string>& error) {
        if (!error) {
            consolePrint("Successfully changed app icon to: " + name.value_or("default"));
            NotificationFeedbackGenerator generator;
            generator.notificationOccurred(NotificationFeedback::Success);
            return;
        }
        consolePrint("Error setting app icon: " + *error);
        auto controller = owner.lock();
        if (!controller) return;
        auto alert = Alert::make("Error", QString::fromStdString("Failed to change app icon: " + *error));
        alert->addAction("OK");
        // Over the picker, which covers the camera screen while it is open.
        ScreenController* top = controller.get();
        while (top->presentedController()) top = top->presentedController();
        alert->present(top->view());
    });
}

}  // namespace sorvel
