#include "app/settings/InnovativeFeaturesView.h"

#include <QPointer>

#include "app/ViewController.h"
#include "app/settings/PanelText.h"
#include "app/settings/SettingsPopupView.h"
#include "app/settings/TitleGlow.h"
#include "app/settings/ZoomReset.h"
#include "platform/foundation/Clock.h"
#include "platform/foundation/Console.h"
#include "platform/foundation/Dispatch.h"
#include "platform/foundation/Localization.h"
#include "platform/foundation/SettingsStore.h"
#include "platform/ui/Label.h"
#include "platform/ui/Layer.h"
#include "platform/ui/StackView.h"
#include "platform/ui/Switch.h"

namespace sorvel {

namespace {

constexpr double kInset = 20;

}  // namespace

InnovativeFeaturesView::InnovativeFeaturesView(const QRectF& frame, std::weak_ptr<ViewController> controller)
    : View(frame, nullptr), viewController(std::move(controller)) {
    setAccessibilityIdentifier("innovativeFeaturesView");
    setup();
    setupActions();
    loadSettings();
}

View* InnovativeFeaturesView::featureSection(Label*& label, Switch*& control, Label*& description,
                                             const char* labelKey, const char* descriptionKey) {
    const double width = frame().width() - 2 * kInset;
    label = new Label(QRectF(0, 0, 0, Switch::kHeight), nullptr);
    label->setText(localizedText(labelKey));
    label->setFont(systemFont(16));
    label->setTextColor(Qt::white);
    control = new Switch(nullptr);
    control->setOnTintColor(Qt::white);
    // On a white track a white thumb would vanish: it takes the card's deep pink instead.
    control->setThumbTintColor(QColor(255, 20, 147));
    control->setAccessibilityIdentifier(QString::fromUtf8(labelKey));
    auto* row = new StackView(QRectF(0, 0, width, Switch::kHeight), nullptr);
    row->setSpacing(10);
    row->setDistribution(StackDistribution::Fill);
    row->addArrangedSubview(label);
    row->addArrangedSubview(control);
    row->setStretches(label, true);

    description = new Label(QRectF(0, 0, width, 0), nullptr);
    description->setText(localizedText(descriptionKey));
    description->setFont(systemFont(12));
    description->setTextColor(Qt::white);
    description->setNumberOfLines(0);

    auto* section = new StackView(QRectF(0, 0, width, 0), nullptr);
    section->setAxis(StackAxis::Vertical);
    section->setAlignment(StackAlignment::Fill);
    section->setSpacing(5);
    section->addArrangedSubview(row);
    section->addArrangedSubview(description);
    return section;
}

void InnovativeFeaturesView::setup() {
    setCornerRadius(15);
    setClipsToBounds(true);
    gradientLayer = std::make_shared<GradientLayer>();
    gradientLayer->setColors({QColor::fromRgbF(1.0, 182 / 255.0, 193 / 255.0), QColor::fromRgbF(1.0, 102 / 255.0, 204 / 255.0)});
    // Corner to corner, so the drift reads as light moving across the card.
    gradientLayer->setStartPoint(QPointF(0, 0));
    gradientLayer->setEndPoint(QPointF(1, 1));
    gradientLayer->setFrame(bounds());
    insertSublayer(gradientLayer, 0);

    titleLabel = new Label(QRectF(0, 0, frame().width() - 2 * kInset, 26), nullptr);
    titleLabel->setText(localizedText("创新功能"));
    titleLabel->setFont(systemFont(18, true));
    titleLabel->setTextColor(Qt::white);
    titleLabel->setAlignment(Qt::AlignCenter);
    titleLabel->setShadow(Qt::white, 0, 50);

    stack_ = new StackView(QRectF(kInset, kInset, frame().width() - 2 * kInset, 0), nullptr);
    stack_->setAxis(StackAxis::Vertical);
    stack_->setAlignment(StackAlignment::Fill);
    stack_->setSpacing(15);
    stack_->addArrangedSubview(titleLabel);
    stack_->addArrangedSubview(featureSection(extremeModeLabel, extremeModeSwitch, extremeModeDescription, "极端模式", "极端模式介绍"));
    stack_->addArrangedSubview(featureSection(storyModeLabel, storyModeSwitch, storyModeDescription, "灵感故事", "灵感故事介绍"));
    stack_->addArrangedSubview(featureSection(dualCaptureModeLabel, dualCaptureModeSwitch, dualCaptureModeDescription,
                                              "双拍照按钮", "双拍照按钮介绍"));
    addSubview(stack_);
    sizeToFitContent();
    startAnimations();
}

void InnovativeFeaturesView::startAnimations() {
    gradientLayer->addColorsAnimation(
        "colorChange", {QColor::fromRgbF(1.0, 20 / 255.0, 147 / 255.0), QColor::fromRgbF(1.0, 105 / 255.0, 180 / 255.0)},
        10, true, RepeatCount::infinite());
    // The glow runs on the Clock at the display's pace; the toolkit animates layer colours
    // but not a view's shadow, so the card drives the title's shadow itself.
    const double start = Clock::current().now();
    QPointer<Label> title(titleLabel);
    shadowAnimations = Timer::scheduled(1.0 / 30, true, [title, start](Timer& timer) {
        if (!title) {
            timer.invalidate();
            return;
        }
        const TitleGlow glow = titleGlowAt(Clock::current().now() - start);
        title->setShadow(Qt::white, glow.opacity, glow.radius);
    });
}

void InnovativeFeaturesView::sizeToFitContent() {
    const double width = frame().width() - 2 * kInset;
    for (Label* d : {extremeModeDescription, storyModeDescription, dualCaptureModeDescription}) {
        QRectF f = d->frame();
        f.setSize(QSizeF(width, std::ceil(d->textSizeForWidth(width).height())));
        d->setFrame(f);
    }
    stack_->setFrame(QRectF(kInset, kInset, width, 0));
    stack_->layoutArranged();
    QRectF f = frame();
    f.setHeight(kInset + stack_->frame().height() + kInset);
    setFrame(f);
}

InnovativeFeaturesView::~InnovativeFeaturesView() {
    if (shadowAnimations) shadowAnimations->invalidate();
}

void InnovativeFeaturesView::resizeEvent(QResizeEvent* event) {
    View::resizeEvent(event);
    if (gradientLayer) gradientLayer->setFrame(bounds());
}

void InnovativeFeaturesView::setupActions() {
    QPointer<InnovativeFeaturesView> self(this);
    auto bind = [self](Switch* control, void (InnovativeFeaturesView::*handler)(Switch*), const char* name) {
        control->addAction(name, [self, control, handler] {
            if (self) (self->*handler)(control);
        });
    };
    bind(extremeModeSwitch, &InnovativeFeaturesView::extremeModeToggled, "extremeModeToggled");
    bind(storyModeSwitch, &InnovativeFeaturesView::storyModeToggled, "storyModeToggled");
    bind(dualCaptureModeSwitch, &InnovativeFeaturesView::dualCaptureModeToggled, "dualCaptureModeToggled");
}

void InnovativeFeaturesView::loadSettings() {
    SettingsStore& settings = SettingsStore::standard();
    extremeModeSwitch->setOn(settings.boolForKey("innovative_extreme_mode"));
    storyModeSwitch->setOn(settings.boolForKey("innovative_story_mode"));
    dualCaptureModeSwitch->setOn(settings.boolForKey("innovative_dual_capture_mode"));
}

void InnovativeFeaturesView::extremeModeToggled(Switch* sender) {
    SettingsStore::standard().setBool(sender->isOn(), "innovative_extreme_mode");
    if (!sender->isOn()) return;
    if (auto controller = viewController.lock()) resetZoomForLockedMode(*controller);
}

void InnovativeFeaturesView::storyModeToggled(Switch* sender) {
    SettingsStore::standard().setBool(sender->isOn(), "innovative_story_mode");
}

void InnovativeFeaturesView::dualCaptureModeToggled(Switch* sender) {
    SettingsStore::standard().setBool(sender->isOn(), "innovative_dual_capture_mode");
    if (viewController.expired()) {
        consolePrint("viewController 不存在");
        return;
    }
    DispatchQueue::main().async([weak = viewController] {
        auto controller = weak.lock();
        if (!controller) return;
        controller->setupCaptureButton();
        bringSettingsPanelToFront(*controller);
    });
}

}  // namespace sorvel
