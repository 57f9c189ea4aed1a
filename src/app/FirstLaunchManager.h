#pragma once
// The first-launch welcome. "isFirstLaunch" true means the welcome has been shown (despite the
// name). Showing it also registers the twenty setting defaults. Main thread only.

#include <functional>
#include <string>

namespace sorvel {

class ViewController;

class FirstLaunchManager {
public:
    static FirstLaunchManager& shared();

    bool shouldShowWelcomePopup() const;
    void setFirstLaunchCompleted();
    // Marks the welcome as shown and registers the defaults (only keys without a value are
    // written); `completion` receives the mode the user picks.
    void showWelcomePopup(ViewController& host, std::function<void(const std::string&)> completion);

    const char* firstLaunchKey = "isFirstLaunch";
    bool debugMode = false;
};

}  // namespace sorvel
