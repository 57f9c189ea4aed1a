#pragma once
// The first-launch welcome. "isFirstLaunch" true means the welcome has been shown (despite the
// name). Showing it registers the twenty setting defaults and asks how the app will be used;
// each answer opens a short guide in the story card (black on white, no rarity label, nothing
// stored). The choice writes no setting. Main thread only.

#include <QString>
#include <functional>
#include <string>

namespace sorvel {

class Button;
class ScreenController;

class FirstLaunchManager {
public:
    using ModeCompletion = std::function<void(const std::string& mode)>;
    static FirstLaunchManager& shared();

    bool shouldShowWelcomePopup() const;
    void setFirstLaunchCompleted();
    // Marks the welcome as shown and registers the defaults (only keys without a value are
    // written) before anything is presented, so closing the app here does not bring it back;
    // then the alert. `completion` receives "simple" or "pro" once the user picked.
    void showWelcomePopup(ScreenController& host, ModeCompletion completion);
    void showSimpleModeGuide(ScreenController& host, ModeCompletion completion);
    void showProModeGuide(ScreenController& host, ModeCompletion completion);
    // The guide card on `host`'s view.
    void displayPopup(ScreenController& host, const QString& storyName, const QString& emojis, const QString& content);
    // The card's "OK✨" action: the card drops 300 points while shrinking and fading with its
    // overlay, which is then removed.
    static void closePopup(Button& button);

    const char* firstLaunchKey = "isFirstLaunch";
    bool debugMode = false;
};

// A guide's text: the localised lines "<prefix>1行" … "<prefix><count>行", each indented by
// four spaces, a blank line between them.
QString guideContent(const std::string& linePrefix, int count);

}  // namespace sorvel
