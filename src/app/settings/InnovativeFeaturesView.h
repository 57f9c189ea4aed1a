#pragma once
// The card of experimental switches inside the settings panel: extreme mode, story mode and the
// dual shutter button. It stores three booleans and triggers their immediate side effects; what
// the modes do belongs to the features that read the keys. Its background is a pink gradient
// whose colours drift back and forth ("colorChange"); its title glows up and tightens again
// ("shadowAnimations"). Main thread only.

#include <memory>

#include "platform/ui/View.h"

namespace sorvel {

class GradientLayer;
class Label;
class StackView;
class Switch;
class Timer;
class ViewController;

class InnovativeFeaturesView : public View {
public:
    // The card is `width` wide; its height follows from the texts (see sizeToFitContent).
    InnovativeFeaturesView(const QRectF& frame, std::weak_ptr<ViewController> viewController);
    ~InnovativeFeaturesView() override;

    void extremeModeToggled(Switch* sender);
    void storyModeToggled(Switch* sender);
    void dualCaptureModeToggled(Switch* sender);
    // Each switch takes the stored bool of its key.
    void loadSettings();
    // Lays the texts out at the card's width and sets its height to hold them.
    void sizeToFitContent();

    std::weak_ptr<ViewController> viewController;
    Label* titleLabel = nullptr;
    Label* extremeModeLabel = nullptr;
    Switch* extremeModeSwitch = nullptr;
    Label* extremeModeDescription = nullptr;
    Label* storyModeLabel = nullptr;
    Switch* storyModeSwitch = nullptr;
    Label* storyModeDescription = nullptr;
    Label* dualCaptureModeLabel = nullptr;
    Switch* dualCaptureModeSwitch = nullptr;
    Label* dualCaptureModeDescription = nullptr;
    std::shared_ptr<GradientLayer> gradientLayer;
    // Drives the title's glow (see TitleGlow.h) while the card exists.
    std::shared_ptr<Timer> shadowAnimations;

protected:
    // Keeps the gradient the size of the card (the platform's layoutSubviews).
    void resizeEvent(QResizeEvent* event) override;

private:
    void setup();
    void setupActions();
    void startAnimations();
    // A feature's row (label and switch) above its description.
    View* featureSection(Label*& label, Switch*& control, Label*& description, const char* labelKey,
                         const char* descriptionKey);

    StackView* stack_ = nullptr;
};

}  // namespace sorvel
