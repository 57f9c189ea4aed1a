#include "ScreenshotCommand.h"

#include <QPixmap>
#include <QTimer>
#include <iostream>

#include "app/AppEnvironment.h"
#include "app/AppMain.h"
#include "app/FirstLaunchManager.h"
#include "app/ViewController.h"
#include "app/cli/CommandSettings.h"
#include "app/cli/ProModeOptions.h"
#include "app/cli/ShootOptions.h"
#include "app/cli/SettingsPanelScreenshot.h"
#include "app/themes/ThemeSettingsViewController.h"
#include "platform/ui/PhotoPicker.h"
#include "app/stories/Stories.h"
#include "app/stories/StoryCard.h"
#include "app/stories/StoryManager.h"
#include "platform/foundation/Console.h"
#include "platform/ui/Application.h"
#include "platform/ui/StackView.h"
#include "platform/ui/Window.h"

namespace sorvel {

const char* const kScreenshotUsage =
    "usage: sorvel-camera [OPTIONS] screenshot FILE.png [--camera front|ultrawide|wide|tele] [--set KEY=VALUE]...\n"
    "                     [--after SECONDS] [--settings-open] [--settings-scroll POINTS|end]\n"
    "                     [--innovative] [--icon-picker] [--theme-open] [--photo-picker-open]\n"
    "                     [--story INDEX | --guide simple|pro] [--card-scroll POINTS]\n"
    "                     [--filter panel|edit|share|import] [--pro] [--countdown 1|3|6|12]\n"
    "  Runs the camera screen headless until SECONDS (default 1.5) after its first camera frame and\n"
    "  saves the window as a PNG. --settings-scroll scrolls the open settings panel's content to\n"
    "  POINTS from its top (or to its end); --innovative scrolls it to the innovative-features\n"
    "  card; --icon-picker opens the app icon picker from it. --theme-open shows the theme screen\n"
    "  over the camera, --photo-picker-open the photo picker on the library. --story shows that story\n"
    "  of the catalogue (0 to 21) and --guide a first-launch guide, without touching the story\n"
    "  schedule; --card-scroll scrolls the card's text. A home that was never welcomed shows the\n"
    "  welcome alert (--set isFirstLaunch=true skips it). --filter opens the filter panel with the\n"
    "  first saved filter selected (filtering on), its edit view, its share dialog, or the import dialog.\n"
    "  --pro presses the pro-mode button 0.7 s after the first frame (with --set setting_6=true the\n"
    "  waveform monitor comes with it); --countdown opens the timer panel then and presses its\n"
    "  countdown button (the shot is SECONDS later, the picture none).";

namespace {

// The filter screens as a person reaches them: the panel, a tap on the first filter, then the
// edit, share or import button.
void showFilterScreen(ViewController& controller, const std::string& state) {
    controller.toggleFilterView();
    if (controller.filterListView && !controller.filterListView->arrangedSubviews().empty())
        if (auto* first = dynamic_cast<Button*>(controller.filterListView->arrangedSubviews().front()))
            controller.filterButtonTapped(first);
    if (state == "edit") controller.editCurrentFilter();
    if (state == "share") controller.shareCurrentFilter();
    if (state == "import") controller.importFilter();
}

}  // namespace

int runScreenshotCommand(const CommandLine& line, int& argc, char** argv) {
    std::string file;
    double after = 1.5;
    bool settingsOpen = false, themeOpen = false, pickerOpen = false;
    std::optional<int> storyIndex;
    std::string guide;
    double cardScroll = 0;
    SettingsPanelState panelState;
    std::string filterState;
    bool proMode = false;
    int countdown = 0;
    std::vector<std::string> rest;
    for (std::size_t i = 0; i < line.arguments.size(); ++i) {
        const std::string& a = line.arguments[i];
        if (a == "--after" && i + 1 < line.arguments.size()) {
            auto seconds = parseNumber(line.arguments[++i]);
            if (!seconds || *seconds < 0 || *seconds > 60) {
                std::cerr << "screenshot: --after takes 0 to 60 seconds\n" << kScreenshotUsage << "\n";
                return 2;
            }
            after = *seconds;
        } else if (a == "--settings-open") {
            settingsOpen = true;
        } else if (auto handled = parseSettingsPanelOption(line.arguments, i, panelState)) {
            if (!handled->empty()) {
                std::cerr << "screenshot: " << *handled << "\n" << kScreenshotUsage << "\n";
                return 2;
            }
            settingsOpen = true;
        } else if (a == "--theme-open") {
            themeOpen = true;
        } else if (a == "--photo-picker-open") {
            pickerOpen = true;
        } else if (a == "--story" && i + 1 < line.arguments.size()) {
            auto index = parseNumber(line.arguments[++i]);
            int count = static_cast<int>(Stories::all().size());
            if (!index || *index != static_cast<int>(*index) || *index < 0 || *index >= count) {
                std::cerr << "screenshot: --story takes a catalogue index from 0 to " << count - 1 << "\n"
                          << kScreenshotUsage << "\n";
                return 2;
            }
            storyIndex = static_cast<int>(*index);
        } else if (a == "--guide" && i + 1 < line.arguments.size()) {
            guide = line.arguments[++i];
            if (guide != "simple" && guide != "pro") {
                std::cerr << "screenshot: --guide takes simple or pro\n" << kScreenshotUsage << "\n";
                return 2;
            }
        } else if (a == "--card-scroll" && i + 1 < line.arguments.size()) {
            auto points = parseNumber(line.arguments[++i]);
            if (!points || *points < 0) {
                std::cerr << "screenshot: --card-scroll takes a distance in points\n" << kScreenshotUsage << "\n";
                return 2;
            }
            cardScroll = *points;
        } else if (a == "--filter" && i + 1 < line.arguments.size()) {
            filterState = line.arguments[++i];
            if (filterState != "panel" && filterState != "edit" && filterState != "share" && filterState != "import") {
                std::cerr << "screenshot: --filter takes panel, edit, share or import\n" << kScreenshotUsage << "\n";
                return 2;
            }
        } else if (a == "--pro") {
            proMode = true;
        } else if (a == "--countdown" && i + 1 < line.arguments.size()) {
            const std::string& n = line.arguments[++i];
            if (n != "1" && n != "3" && n != "6" && n != "12") {
                std::cerr << "screenshot: --countdown takes 1, 3, 6 or 12\n" << kScreenshotUsage << "\n";
                return 2;
            }
            countdown = std::stoi(n);
        } else if (file.empty() && !a.empty() && a[0] != '-') {
            file = a;
        } else {
            rest.push_back(a);
        }
    }
    ShootOptionsResult parsed = parseShootOptions(rest);
    if (file.empty() || !parsed.options) {
        std::cerr << "screenshot: " << (file.empty() ? "no output file given" : parsed.error) << "\n"
                  << kScreenshotUsage << "\n";
        return 2;
    }
    setConsoleStream(stderr);
    Application app(argc, argv, DisplayMode::Headless);
    AppEnvironment env(line.home, line.library);
    applyCommandSettings(env.settings(), parsed.options->settings);
    if (auto error = prepareCameraAndLibrary(line, env, RigMode::RealTime)) {
        std::cerr << "screenshot: " << *error << "\n";
        return 2;
    }
    auto controller = std::make_shared<ViewController>(ScreenProfile::phone());
    Window window(*controller);
    window.makeKeyAndVisible();
    if (!parsed.options->camera.empty())
        if (auto camera = cameraNamed(parsed.options->camera, controller->getAllCameras()))
            controller->switchToCamera(camera);
    if (settingsOpen) controller->openSettings();
    if (settingsOpen) applySettingsPanelState(*controller, panelState);
    std::shared_ptr<ThemeSettingsViewController> theme;
    if (themeOpen) {
        theme = std::make_shared<ThemeSettingsViewController>(ScreenProfile::phone());
        controller->present(theme, Animated::No);
    }
    if (pickerOpen) {
        auto picker = std::make_shared<PhotoPickerController>(ScreenProfile::phone());
        picker->onCancel = [](PhotoPickerController& p) { p.dismiss(); };
        controller->present(picker, Animated::No);
    }
    if (storyIndex) {
        if (auto story = Story::parse(Stories::all()[*storyIndex])) StoryManager::shared().presentStory(*controller, *story);
    }
    if (guide == "simple") FirstLaunchManager::shared().showSimpleModeGuide(*controller, nullptr);
    if (guide == "pro") FirstLaunchManager::shared().showProModeGuide(*controller, nullptr);
    if (cardScroll > 0) scrollTopStoryCard(controller->view(), cardScroll);
    if (!filterState.empty()) showFilterScreen(*controller, filterState);

    // The moment counts from the first camera frame, so a slow start (a loaded machine, a
    // sanitizer build) still shows a live preview; a camera that never delivers is given 20 s.
    bool saved = false;
    QTimer poll;
    int waited = 0;
    auto shoot = [&] {
        saved = window.grab().save(QString::fromStdString(file), "PNG");
        app.quit();
    };
    QObject::connect(&poll, &QTimer::timeout, [&] {
        waited += 50;
        bool live = controller->previewLayer && controller->previewLayer->currentFrame();
        if (!live && waited < 20000) return;
        poll.stop();
        // Buttons are pressed once focus and exposure have settled, as a person framing the
        // shot would (pro mode keeps the exposure it finds).
        const int settle = proMode || countdown ? 700 : 0;
        QTimer::singleShot(settle, [&] {
            if (proMode) clickInMiddle(controller->proModeButton);
            if (countdown) {
                clickInMiddle(controller->timerButton);
                for (Button* button : controller->countdownButtons)
                    if (button->title() == QString::number(countdown) + "s") clickInMiddle(button);
            }
            QTimer::singleShot(static_cast<int>(after * 1000), shoot);
        });
    });
    poll.start(50);
    app.exec();
    controller->stopCaptureAndWaitForFrames();
    if (!saved) {
        std::cerr << "screenshot: could not write " << file << "\n";
        return 1;
    }
    std::cout << file << "\n";
    return 0;
}

}  // namespace sorvel
