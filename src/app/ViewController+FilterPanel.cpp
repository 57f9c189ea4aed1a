// The filter panel: the button that opens it, the switch that turns filtering on, the list of
// saved filters, and the panel's edit, share, new, import and delete buttons.

#include <QPointer>

#include "app/ViewController.h"
#include "app/filters/FilterEdits.h"
#include "app/filters/SavedFilter.h"
#include "app/themes/ThemeManager.h"
#include "platform/foundation/Console.h"
#include "platform/foundation/Dispatch.h"
#include "platform/foundation/Localization.h"
#include "platform/ui/Alert.h"
#include "platform/ui/Label.h"
#include "platform/ui/PhotoPicker.h"
#include "platform/ui/ScrollView.h"
#include "platform/ui/StackView.h"
#include "platform/ui/Switch.h"

namespace sorvel {

namespace {

constexpr double kListButtonHeight = 40;

QString tr(std::string_view key) { return QString::fromStdString(localized(key)); }

QColor withAlpha(QColor c, double alpha) {
    c.setAlphaF(static_cast<float>(alpha));
    return c;
}

void drawUnselected(Button* b) {
    b->setBackgroundColor(withAlpha(ThemeManager::bgColor(), 0.05));
    b->setBorder(1, withAlpha(ThemeManager::textColor(), 0.5));
}

void drawSelected(Button* b) {
    b->setBackgroundColor(withAlpha(ThemeManager::bgColor(), 0.65));
    b->setBorder(4, ThemeManager::textColor());
}

Label* makeLabel(const QString& text, QRectF frame, int pixelSize, View* parent) {
    auto* label = new Label(frame, parent);
    QFont font = label->font();
    font.setPixelSize(pixelSize);
    label->setFont(font);
    label->setTextColor(ThemeManager::textColor());
    label->setText(text);
    return label;
}

// A button of the filter list, titled with the filter's name, in the unselected look.
Button* makeFilterListButton(const std::string& name, double width, std::weak_ptr<ViewController> weak) {
    auto* button = new Button(QRectF(0, 0, width, kListButtonHeight), nullptr);
    button->setTitle(QString::fromStdString(name));
    button->setTitleColor(ThemeManager::textColor());
    button->setCornerRadius(10);
    drawUnselected(button);
    button->addAction("filterButtonTapped", [weak, guarded = QPointer<Button>(button)] {
        if (auto self = weak.lock(); self && guarded) self->filterButtonTapped(guarded);
    });
    return button;
}

}  // namespace

void ViewController::setupFilterButton() {
    const double w = view()->bounds().width();
    const EdgeInsets safe = safeAreaInsets();
    // The stopwatch's mirror image in the top right corner: the place right of the shutter
    // belongs to the pro-mode button, which this one would cover.
    filterButton = new Button(QRectF(w - safe.right - 50, safe.top + 16, 30, 30), nullptr);
    filterButton->setSymbol("wand.and.stars");
    filterButton->setTintColor(ThemeManager::textColor());
    filterButton->setAccessibilityIdentifier("filterButton");
    filterButton->addAction("toggleFilterView", [weak = weak_from_this()] {
        if (auto self = weak.lock()) self->toggleFilterView();
    });
    view()->addSubview(filterButton);
}

Button* ViewController::configureButtonStyle(const QString& title, const QString& emoji) {
    auto* button = new Button(QRectF(0, 0, 62, 56), nullptr);
    button->setBackgroundColor(withAlpha(ThemeManager::textColor(), 0.08));
    button->setCornerRadius(12);
    auto* top = makeLabel(emoji, QRectF(0, 4, 62, 28), 22, button);
    auto* bottom = makeLabel(title, QRectF(0, 32, 62, 20), 12, button);
    for (Label* l : {top, bottom}) {
        l->setAlignment(Qt::AlignCenter);
        l->setUserInteractionEnabled(false);
    }
    button->setAccessibilityIdentifier(title);
    return button;
}

void ViewController::setupFilterView() {
    const double w = view()->bounds().width(), h = view()->bounds().height();
    const double panelWidth = std::min(w - 30, 420.0), panelHeight = 424;
    // Above the camera buttons, below the zoom label.
    filterView = new View(QRectF((w - panelWidth) / 2, std::max(70.0, h - 230 - panelHeight), panelWidth, panelHeight), nullptr);
    filterView->setBackgroundColor(withAlpha(ThemeManager::bgColor(), 0.85));
    filterView->setCornerRadius(20);
    filterView->setBorder(1, withAlpha(ThemeManager::textColor(), 0.2));
    filterView->setAccessibilityIdentifier("filterView");
    // The panel takes its own presses: a tap on it must not focus the camera underneath.
    filterView->setBlocksInput(true);
    view()->addSubview(filterView);
    filterView->setHidden(true);  // after adding: adding a subview shows it
    auto weak = weak_from_this();
    const double inner = panelWidth - 30;

    makeLabel(tr("当前滤镜"), QRectF(15, 15, 72, 31), 15, filterView);
    filterNameLabel = makeLabel(tr("请选择滤镜"), QRectF(90, 15, inner - 75 - Switch::kWidth - 8, 31), 15, filterView);
    filterNameLabel->setAccessibilityIdentifier("filterNameLabel");
    QFont bold = filterNameLabel->font();
    bold.setBold(true);
    filterNameLabel->setFont(bold);
    filterSwitch = new Switch(QRectF(15 + inner - Switch::kWidth, 15, Switch::kWidth, Switch::kHeight), filterView);
    filterSwitch->setAccessibilityIdentifier("filterSwitch");
    filterSwitch->addAction("toggleFilter", [weak] {
        if (auto self = weak.lock()) self->toggleFilter(self->filterSwitch);
    });

    auto* trash = new Button(QRectF(15, 60, 44, 56), filterView);
    trash->setSymbol("trash");
    trash->setImageInsets(11);
    trash->setTintColor(QColor(255, 69, 58));
    trash->setBackgroundColor(QColor(255, 69, 58, 30));
    trash->setCornerRadius(12);
    trash->setAccessibilityIdentifier("deleteFilterButton");
    trash->addAction("deleteCurrentFilter", [weak] {
        if (auto self = weak.lock()) self->deleteCurrentFilter();
    });
    struct Entry {
        const char* emoji;
        const char* title;
        const char* action;
        void (ViewController::*operation)();
    };
    const Entry entries[] = {
        {"🪒", "编辑", "editCurrentFilter", &ViewController::editCurrentFilter},
        {"🍎", "分享", "shareCurrentFilter", &ViewController::shareCurrentFilter},
        {"🌱", "新建", "addNewFilter", &ViewController::addNewFilter},
        {"💐", "导入", "importFilter", &ViewController::importFilter},
    };
    const double gap = (inner - 44 - 4 * 62) / 4;
    double x = 15 + 44 + gap;
    for (const auto& e : entries) {
        Button* b = configureButtonStyle(tr(e.title), QString::fromUtf8(e.emoji));
        filterView->addSubview(b);
        b->setFrame(QRectF(x, 60, 62, 56));
        b->addAction(e.action, [weak, op = e.operation] {
            if (auto self = weak.lock()) ((*self).*op)();
        });
        x += 62 + gap;
    }

    filterListScrollView = new ScrollView(QRectF(15, 130, inner, 208), filterView);
    filterListScrollView->setAccessibilityIdentifier("filterListScrollView");
    filterListView = new StackView();
    filterListView->setAxis(StackAxis::Vertical);
    filterListView->setAlignment(StackAlignment::Fill);
    filterListView->setSpacing(8);
    filterListView->setFrame(QRectF(0, 0, inner, 0));
    filterListView->setAccessibilityIdentifier("filterListView");
    filterListScrollView->addSubview(filterListView);

    Label* warning = makeLabel(tr("滤镜是Beta版 可能不稳定"), QRectF(15, 346, inner, 20), 12, filterView);
    warning->setTextColor(withAlpha(ThemeManager::textColor(), 0.6));
    makeLabel(tr("用照片"), QRectF(15, 378, 120, 31), 15, filterView);
    filterUsePhotoSwitch = new Switch(QRectF(15 + inner - Switch::kWidth, 378, Switch::kWidth, Switch::kHeight), filterView);
    filterUsePhotoSwitch->setAccessibilityIdentifier("filterUsePhotoSwitch");
    filterUsePhotoSwitch->addAction("testFilterSwitchChanged", [weak] {
        if (auto self = weak.lock()) self->testFilterSwitchChanged(self->filterUsePhotoSwitch);
    });
}

void ViewController::toggleFilterView() {
    if (!filterView) return;
    bool show = filterView->isHidden();
    filterView->setHidden(!show);
    if (show) filterView->raise();
    filterButton->setSymbol(show ? "xmark" : "wand.and.stars");
}

void ViewController::toggleFilter(Switch* sender) {
    if (sender->isOn() && !selectedFilter()) {
        auto alert = Alert::make(tr("提示"), tr("请先选择一个滤镜再开启此功能"));
        alert->addAction(tr("OK"));
        alert->present(view());
        sender->setOn(false, Animated::Yes);
        return;
    }
    setFilterEnabled(sender->isOn());
    filteredImageView->setHidden(!sender->isOn());
}

void ViewController::filterButtonTapped(Button* sender) {
    for (View* v : filterListView->arrangedSubviews())
        if (auto* b = dynamic_cast<Button*>(v)) drawUnselected(b);
    drawSelected(sender);
    const std::string name = sender->title().toStdString();
    filterNameLabel->setText(sender->title());
    if (auto index = indexOfFilterNamed(filters, name)) setSelectedFilter(filters[*index]);
    if (!filterSwitch->isOn()) {
        DispatchQueue::main().async(weakly(shared_from_this(), [](ViewController& self) {
            self.setFilterEnabled(true);
            self.filterSwitch->setOn(true, Animated::Yes);
            self.filteredImageView->setHidden(false);
        }));
    }
}

void ViewController::updateFilterListView() {
    if (!filterListView) return;
    for (View* v : std::vector<View*>(filterListView->arrangedSubviews())) {
        filterListView->removeArrangedSubview(v);
        v->deleteLater();
    }
    auto selected = selectedFilter();
    const std::string* selectedName = selected ? nameOfFilter(*selected) : nullptr;
    auto weak = weak_from_this();
    for (const auto& filter : filters) {
        const std::string* name = nameOfFilter(filter);
        Button* button = makeFilterListButton(name ? *name : std::string(), filterListView->frame().width(), weak);
        if (name && selectedName && *name == *selectedName) button->setBackgroundColor(withAlpha(ThemeManager::bgColor(), 0.65));
        filterListView->addArrangedSubview(button);
    }
    filterListView->layoutArranged();
    filterListScrollView->sizeContentToFit();
}

void ViewController::addNewFilter() {
    auto alert = Alert::make(tr("新建滤镜"), tr("请输入滤镜名称"));
    alert->addTextField([](Alert::TextField& f) { f.placeholder = QString::fromStdString(localized("滤镜名称")); });
    std::weak_ptr<Alert> weakAlert = alert;
    alert->addAction(tr("确定"), AlertActionStyle::Default, [weak = weak_from_this(), weakAlert] {
        auto self = weak.lock();
        auto a = weakAlert.lock();
        if (!self || !a || a->textFields().empty()) return;
        const std::string name = a->textFields()[0].text.toStdString();
        if (!appendNewFilter(self->filters, name)) return;
        self->filterListView->addArrangedSubview(makeFilterListButton(name, self->filterListView->frame().width(), weak));
        self->filterListView->layoutArranged();
        self->filterListScrollView->sizeContentToFit();
        DispatchQueue::main().async(weakly(self, [](ViewController& vc) { vc.filterListScrollView->scrollToEnd(Animated::Yes); }));
    });
    alert->addAction(tr("取消"), AlertActionStyle::Cancel);
    alert->present(view());
}

void ViewController::deleteCurrentFilter() {
    auto selected = selectedFilter();
    if (!deleteSelectedFilter(filters, selected)) return;
    setSelectedFilter(selected);
    updateFilterListView();
    filterNameLabel->setText(tr("请选择滤镜"));
    DispatchQueue::main().async(weakly(shared_from_this(), [](ViewController& self) {
        self.setFilterEnabled(false);
        self.filterSwitch->setOn(false, Animated::Yes);
        self.filteredImageView->setHidden(true);
    }));
}

void ViewController::testFilterSwitchChanged(Switch* sender) {
    isFilterUsePhotoEnabled = sender->isOn();
    if (!sender->isOn()) return;  // the photo is kept for the next time
    auto picker = std::make_shared<PhotoPickerController>(screenProfile());
    auto weak = weak_from_this();
    picker->onPick = [weak](PhotoPickerController& p, const PickedPhoto& photo) {
        p.dismiss();
        if (auto self = weak.lock()) self->imagePickerDidFinishPicking(photo);
    };
    picker->onCancel = [](PhotoPickerController& p) { p.dismiss(); };
    present(picker);
}

void ViewController::imagePickerDidFinishPicking(const PickedPhoto& photo) {
    // Decoding a 12-megapixel picture takes longer than a frame: off the main thread.
    auto weak = weak_from_this();
    DispatchQueue::global().async([weak, data = photo.data, orientation = photo.orientation] {
        auto picture = image::Image::fromBytes(data);
        std::optional<image::Image> upright;
        if (picture) upright = picture->oriented(orientation);
        DispatchQueue::main().async([weak, upright] {
            auto self = weak.lock();
            if (!self) return;
            if (!upright) {
                consolePrint("无法将图片转换为 CIImage");
                return;
            }
            self->setSelectedPhotoCIImage(upright);
            consolePrint("照片已转换为 CIImage，并应用了正确的方向");
        });
    });
}

}  // namespace sorvel
