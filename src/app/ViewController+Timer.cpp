// Countdown and interval shooting: the stopwatch button, the small timer panel with the four
// countdown buttons, the interval field and switch, and the big number in the middle of the
// screen. The timing itself is TimedShooting's (app/timer/); this file is the screen side.

#include <QPointer>

#include "app/themes/ThemeManager.h"
#include "app/ViewController.h"
#include "platform/capture/AudioSession.h"
#include "platform/foundation/Console.h"
#include "platform/foundation/Localization.h"
#include "platform/ui/Alert.h"
#include "platform/ui/Animation.h"
#include "platform/ui/Label.h"
#include "platform/ui/StackView.h"
#include "platform/ui/Switch.h"
#include "platform/ui/TextField.h"
#include "platform/ui/Toolbar.h"

namespace sorvel {

namespace {

constexpr int kCountdownFontSize = 200;
constexpr double kPanelWidth = 216, kPadding = 10;

QString text(const char* literal) { return QString::fromStdString(localized(literal)); }

QFont systemFont(int size, QFont::Weight weight = QFont::Normal) {
    QFont font;
    font.setPixelSize(size);
    font.setWeight(weight);
    return font;
}

QColor withAlpha(QColor colour, double alpha) {
    colour.setAlphaF(static_cast<float>(alpha));
    return colour;
}

Label* addCaption(View* panel, const char* title, double y) {
    auto* caption = new Label(QRectF(kPadding, y, kPanelWidth - 2 * kPadding, 17), nullptr);
    caption->setText(text(title));
    caption->setFont(systemFont(14));
    caption->setTextColor(ThemeManager::textColor());
    caption->setAlpha(0.8);
    caption->setUserInteractionEnabled(false);
    panel->addSubview(caption);
    return caption;
}

// The big number of one countdown, centred on the screen; gone with this object.
class CountdownLabel final : public CountdownDisplay {
public:
    CountdownLabel(View* root, int seconds) : root_(root) {
        label_ = new Label(QRectF(), nullptr);
        label_->setFont(systemFont(kCountdownFontSize, QFont::DemiBold));
        label_->setTextColor(Qt::white);
        label_->setAlignment(Qt::AlignCenter);
        label_->setShadow(Qt::black, 0.5, 0, QPointF(5, 5));
        label_->setUserInteractionEnabled(false);
        label_->setAccessibilityIdentifier("countdownLabel");
        root->addSubview(label_);
        setText(QString::number(seconds));
    }
    ~CountdownLabel() override {
        if (!label_) return;
        label_->removeFromSuperview();
        label_->deleteLater();
    }
    void show(int remaining) override { setText(remaining < 1 ? QString() : QString::number(remaining)); }

private:
    // Centred on the screen whatever the width of the number.
    void setText(const QString& number) {
        if (!label_ || !root_) return;
        label_->setText(number);
        const QSizeF size = label_->textSize();
        const QRectF bounds = root_->bounds();
        label_->setFrame(QRectF(bounds.center().x() - size.width() / 2, bounds.center().y() - size.height() / 2,
                                size.width(), size.height()));
    }
    QPointer<View> root_;
    QPointer<Label> label_;
};

}  // namespace

void ViewController::setupTimerButton() {
    const EdgeInsets safe = safeAreaInsets();
    timerButton = new Button(QRectF(safe.left + 20, safe.top + 16, 30, 30), nullptr);
    timerButton->setSymbol("stopwatch");
    timerButton->setTintColor(ThemeManager::textColor());
    timerButton->setAccessibilityIdentifier("timerButton");
    timerButton->addAction("toggleTimerView", [weak = weak_from_this()] {
        if (auto self = weak.lock()) self->toggleTimerView();
    });
    view()->addSubview(timerButton);
    timedShooting = TimedShooting::make(weak_from_this());
}

void ViewController::setupTimerView() {
    const EdgeInsets safe = safeAreaInsets();
    auto weak = weak_from_this();
    // Below the stopwatch, clear of the buttons along the bottom.
    timerView = new View(QRectF(safe.left + 20, safe.top + 56, kPanelWidth, 0), nullptr);
    timerView->setCornerRadius(10);
    timerView->setBackgroundColor(withAlpha(ThemeManager::bgColor(), 0.2));
    timerView->setAccessibilityIdentifier("timerView");

    double y = kPadding;
    addCaption(timerView, "倒计时", y);
    y += 17 + 5;
    auto* row = new StackView(QRectF(kPadding, y, kPanelWidth - 2 * kPadding, 34), nullptr);
    row->setSpacing(5);
    row->setDistribution(StackDistribution::FillEqually);
    row->setAccessibilityIdentifier("countdownButtons");
    countdownButtons.clear();
    for (int seconds : {1, 3, 6, 12}) {
        auto* button = new Button(QRectF(0, 0, 44, 34), nullptr);
        button->setTitle(QString::number(seconds) + "s");
        button->setTitleFont(systemFont(14));
        button->setTitleColor(ThemeManager::textColor());
        button->setCornerRadius(5);
        button->setBackgroundColor(withAlpha(ThemeManager::bgColor(), 0.5));
        button->setAccessibilityIdentifier(QString::number(seconds) + "s");
        button->addAction("startCountdown", [weak, button] {
            if (auto self = weak.lock()) self->startCountdown(button);
        });
        row->addArrangedSubview(button);
        countdownButtons.push_back(button);
    }
    timerView->addSubview(row);
    row->layoutArranged();
    y += 34 + kPadding;
    addCaption(timerView, "间隔拍摄", y);
    y += 17 + 5;

    intervalShootingInput = new TextField(QRectF(kPadding, y, 70, 35), nullptr);
    intervalShootingInput->setText("5");
    intervalShootingInput->setPlaceholder(text("秒"));
    intervalShootingInput->setTextFont(systemFont(14));
    intervalShootingInput->setTextColor(ThemeManager::textColor());
    intervalShootingInput->setBorderStyle(TextFieldBorderStyle::RoundedRect);
    intervalShootingInput->setKeyboardType(KeyboardType::NumberPad);
    intervalShootingInput->setAccessibilityIdentifier("intervalShootingInput");
    auto* bar = new Toolbar();
    bar->setItems({BarButtonItem::flexibleSpace(),
                   BarButtonItem::titled(text("完成"), BarButtonStyle::Done, "dismissKeyboard", [weak] {
                       if (auto self = weak.lock()) self->dismissKeyboard();
                   })});
    intervalShootingInput->setInputAccessoryView(bar);
    timerView->addSubview(intervalShootingInput);

    intervalSwitch = new Switch(QRectF(kPanelWidth - kPadding - Switch::kWidth, y + (35 - Switch::kHeight) / 2,
                                       Switch::kWidth, Switch::kHeight),
                                nullptr);
    intervalSwitch->setAccessibilityIdentifier("intervalSwitch");
    intervalSwitch->addAction("toggleIntervalShooting", [weak] {
        if (auto self = weak.lock()) self->toggleIntervalShooting(self->intervalSwitch);
    });
    timerView->addSubview(intervalSwitch);
    y += 35 + kPadding;

    QRectF frame = timerView->frame();
    frame.setHeight(y);
    timerView->setFrame(frame);
    view()->addSubview(timerView);
    timerView->setHidden(true);
}

void ViewController::toggleTimerView() {
    if (!timerView) return;
    const bool wasHidden = timerView->isHidden();
    if (auto error = AudioSession::shared().setAllowHapticsAndSystemSoundsDuringRecording(true))
        consolePrint("设置触觉反馈和系统声音允许失败: " + error->description);
    if (zoomFeedbackGenerator) {
        zoomFeedbackGenerator->impactOccurred();
        zoomFeedbackGenerator->prepare();
    }
    if (timerButton) timerButton->setSymbol(wasHidden ? "xmark" : "stopwatch");
    if (wasHidden) {
        timerView->setAlpha(0);
        timerView->setHidden(false);
    }
    QPointer<View> panel(timerView);
    animate(0.1, [panel, wasHidden] {
        if (panel) panel->setAlpha(wasHidden ? 1.0 : 0.0);
    }, [panel, wasHidden](bool) {
        if (panel && !wasHidden) panel->setHidden(true);
    });
    updateTimerViewControls();
}

void ViewController::updateTimerViewControls() {
    if (!timedShooting) return;
    const TimerControlStates states =
        timerControlStates(timedShooting->isCountdownActive, timedShooting->intervalShootingEnabled);
    auto apply = [](View* control, const ControlState& state) {
        if (!control) return;
        control->setEnabled(state.enabled);
        control->setAlpha(state.alpha);
    };
    for (Button* button : countdownButtons) apply(button, states.countdownButtons);
    apply(intervalSwitch, states.intervalSwitch);
    apply(intervalShootingInput, states.intervalInput);
    apply(timerButton, states.timerButton);
}

void ViewController::startCountdown(Button* button) {
    if (!timedShooting || !button || timedShooting->isBusy()) return;
    auto seconds = countdownSecondsFromTitle(button->title().toStdString());
    if (!seconds) return;
    timedShooting->startCountdown(*seconds);
}

void ViewController::startCountdownTimer(int seconds) {
    if (timedShooting) timedShooting->startCountdownTimer(seconds);
}

void ViewController::countdownSkipped() { consolePrint("正在拍摄raw,跳过本次开始倒计时"); }

std::unique_ptr<CountdownDisplay> ViewController::countdownBegan(int seconds) {
    if (zoomFeedbackGenerator) {
        zoomFeedbackGenerator->impactOccurred();
        zoomFeedbackGenerator->prepare();
    }
    return std::make_unique<CountdownLabel>(view(), seconds);
}

void ViewController::countdownFinished() { 按下拍照按钮(); }

void ViewController::toggleIntervalShooting(Switch* sender) {
    if (!timedShooting || !sender) return;
    timedShooting->intervalShootingEnabled = sender->isOn();
    if (zoomFeedbackGenerator) {
        zoomFeedbackGenerator->impactOccurred();
        zoomFeedbackGenerator->prepare();
    }
    if (sender->isOn())
        startIntervalShooting();
    else
        stopIntervalShooting();
    updateTimerViewControls();
}

void ViewController::startIntervalShooting() {
    if (!timedShooting) return;
    dismissKeyboard();
    std::optional<std::string> typed;
    if (intervalShootingInput) typed = intervalShootingInput->text().toStdString();
    const IntervalChoice choice = intervalFromText(typed);
    if (choice.raisedToMinimum) {
        if (intervalShootingInput) intervalShootingInput->setText("5");
        auto alert = Alert::make(text("至少间隔五秒,已改为间隔五秒"), QString());
        alert->addAction(text("确定"), AlertActionStyle::Default);
        alert->present(view());
    }
    timedShooting->startIntervalShooting(choice.seconds);
}

void ViewController::stopIntervalShooting() {
    if (!timedShooting) return;
    timedShooting->stopIntervalShooting();
    // Every countdown number still on the screen goes, whichever countdown it belonged to.
    const QObjectList children = view()->children();
    for (QObject* child : children) {
        auto* label = dynamic_cast<Label*>(child);
        if (!label || label->font().pixelSize() != kCountdownFontSize) continue;
        label->removeFromSuperview();
        label->deleteLater();
    }
    DispatchQueue::main().async(weakly(shared_from_this(), [](ViewController& self) {
        if (self.intervalSwitch) self.intervalSwitch->setOn(false, Animated::Yes);
        self.updateTimerViewControls();
    }));
}

void ViewController::dismissKeyboard() { view()->endEditing(true); }

}  // namespace sorvel
