#include "FirstLaunchManager.h"

#include <QPointer>

#include "app/SettingsKeys.h"
#include "app/stories/StoryCard.h"
#include "platform/foundation/Localization.h"
#include "platform/foundation/SettingsStore.h"
#include "platform/ui/Alert.h"
#include "platform/ui/ScreenController.h"

namespace sorvel {

namespace {
QString text(const std::string& key) { return QString::fromStdString(localized(key)); }
}  // namespace

FirstLaunchManager& FirstLaunchManager::shared() {
    static FirstLaunchManager manager;
    return manager;
}

bool FirstLaunchManager::shouldShowWelcomePopup() const {
    if (SettingsStore::standard().boolForKey(firstLaunchKey)) return debugMode;
    return true;
}

void FirstLaunchManager::setFirstLaunchCompleted() { SettingsStore::standard().setBool(true, firstLaunchKey); }

QString guideContent(const std::string& linePrefix, int count) {
    QStringList lines;
    for (int i = 1; i <= count; ++i) lines << "    " + text(linePrefix + std::to_string(i) + "行");
    return lines.join("\n\n");
}

void FirstLaunchManager::showWelcomePopup(ScreenController& host, ModeCompletion completion) {
    setFirstLaunchCompleted();
    SettingsStore::standard().registerSeeds(settingSeeds());

    auto alert = Alert::make(text("欢迎弹窗标题"), text("欢迎弹窗内容") + "\n\n" + text("你打算怎样使用"));
    // The host owns its view: while the view lives, so does the host.
    QPointer<View> alive = host.view();
    ScreenController* hostPointer = &host;
    alert->addAction(text("简单") + "：" + text("简单使用描述"), AlertActionStyle::Default,
                     [this, alive, hostPointer, completion] {
                         if (alive) showSimpleModeGuide(*hostPointer, completion);
                     });
    alert->addAction(text("专业") + "：" + text("专业使用描述"), AlertActionStyle::Default,
                     [this, alive, hostPointer, completion] {
                         if (alive) showProModeGuide(*hostPointer, completion);
                     });
    alert->present(host.view());
}

void FirstLaunchManager::showSimpleModeGuide(ScreenController& host, ModeCompletion completion) {
    displayPopup(host, text("简单向导"), "✨", guideContent("简单向导第", 4));
    if (completion) completion("simple");
}

void FirstLaunchManager::showProModeGuide(ScreenController& host, ModeCompletion completion) {
    displayPopup(host, text("专业向导"), "🛠", guideContent("专业向导第", 6));
    if (completion) completion("pro");
}

void FirstLaunchManager::displayPopup(ScreenController& host, const QString& storyName, const QString& emojis,
                                      const QString& content) {
    StoryCardContent card;
    card.title = storyName;
    card.emojis = emojis;
    card.content = content;
    card.textColor = Qt::black;
    card.cardColor = Qt::white;
    presentStoryCard(host.view(), card, [](Button& button) { closePopup(button); });
}

void FirstLaunchManager::closePopup(Button& button) { dismissStoryCard(button, StoryCardExit::ShrinkAndDrop); }

}  // namespace sorvel
