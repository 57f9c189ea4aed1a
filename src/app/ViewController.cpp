#include "ViewController.h"

#include "app/FirstLaunchManager.h"
#include "platform/foundation/Console.h"
#include "platform/foundation/Dispatch.h"
#include "platform/foundation/NotificationCenter.h"

namespace sorvel {

ViewController::ViewController(ScreenProfile profile) : ScreenController(profile) {}

ViewController::~ViewController() { NotificationCenter::defaultCenter().removeObserver(this); }

// Screen loading. The order of the steps matters: later steps read what earlier ones built
// (the session before the preview, the views before the gestures on them), and views added
// later lie above earlier ones.
void ViewController::viewDidLoad() {
    view()->setBackgroundColor(Qt::black);
    registerApplicationObservers();
}

void ViewController::registerApplicationObservers() {
    auto& center = NotificationCenter::defaultCenter();
    center.addObserver(this, notifications::kWillResignActive, [this] { appWillResignActive(); });
    center.addObserver(this, notifications::kDidBecomeActive, [this] { appDidBecomeActive(); });
}

void ViewController::viewDidAppear() {
    // One hop, so that the prompts come after the appearance has finished.
    DispatchQueue::main().async(weakly(shared_from_this(), [](ViewController& self) {
        auto& firstLaunch = FirstLaunchManager::shared();
        if (firstLaunch.shouldShowWelcomePopup())
            firstLaunch.showWelcomePopup(self, [](const std::string& mode) { consolePrint("Selected mode: " + mode); });
    }));
}

void ViewController::appDidBecomeActive() {}

void ViewController::appWillResignActive() {}

}  // namespace sorvel
