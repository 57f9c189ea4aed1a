#include <QTest>
#include <QWheelEvent>

#include "../AppHarness.h"
#include "FixedDraws.h"
#include "app/FirstLaunchManager.h"
#include "app/stories/Stories.h"
#include "app/stories/StoryManager.h"
#include "platform/foundation/Localization.h"
#include "platform/ui/Alert.h"
#include "platform/ui/Button.h"
#include "platform/ui/Label.h"
#include "platform/ui/ScrollView.h"
#include "platform/ui/StackView.h"
#include "platform/ui/Window.h"

using namespace sorvel;
using namespace sorvel::testing;

namespace {

QString text(const char* key) { return QString::fromStdString(localized(key)); }

// The cards as a person finds them on the screen: by what they are called.
template <typename T = View>
T* findNamed(QWidget* root, const QString& identifier) {
    for (QWidget* w : root->findChildren<QWidget*>())
        if (w->objectName() == identifier && w->isVisible())
            if (auto* view = dynamic_cast<T*>(w)) return view;
    return nullptr;
}

int countNamed(QWidget* root, const QString& identifier) {
    int n = 0;
    for (QWidget* w : root->findChildren<QWidget*>()) n += w->objectName() == identifier && w->isVisible();
    return n;
}

Button* buttonTitled(QWidget* root, const QString& title) {
    for (QWidget* w : root->findChildren<QWidget*>())
        if (auto* b = dynamic_cast<Button*>(w); b && b->isVisible() && b->title() == title) return b;
    return nullptr;
}

void click(QWidget* w) { QTest::mouseClick(w, Qt::LeftButton, {}, w->rect().center()); }

void expectNear(QPointF a, QPointF b) {
    EXPECT_NEAR(a.x(), b.x(), 1e-6);
    EXPECT_NEAR(a.y(), b.y(), 1e-6);
}

void expectColour(const QColor& c, double r, double g, double b) {
    EXPECT_NEAR(c.redF(), r, 2e-3);
    EXPECT_NEAR(c.greenF(), g, 2e-3);
    EXPECT_NEAR(c.blueF(), b, 2e-3);
}

class StoryScreens : public AppHarness {
protected:
    void TearDown() override {
        window.reset();
        AppHarness::TearDown();
        StoryManager::shared().stories = Stories::all();
        StoryManager::shared().setRandomSource(nullptr);
    }
    // Loads the camera screen and shows it in a window, as a launch does; the screen's
    // appearance runs the welcome and story checks one main-queue hop later.
    ViewController& launch() {
        auto& vc = loadController();
        window = std::make_unique<Window>(vc);
        window->makeKeyAndVisible();
        runUntilIdle();
        return vc;
    }
    View* root() { return controller->view(); }
    // The screen's repeating timers (the exposure label at 0.2 s, the accelerometer at 0.1 s)
    // would fire over a million times across a 21-hour jump of the clock.
    void stopRepeatingTimers(ViewController& vc) {
        if (vc.exposureUpdateTimer) vc.exposureUpdateTimer->invalidate();
        vc.motionManager->stopAccelerometerUpdates();
    }
    double storyTimestamp() const {
        auto stored = env->settings().objectForKey("lastStoryTimestamp");
        return stored && stored->dateValue() ? stored->dateValue()->secondsSince1970 : 0;
    }
    std::unique_ptr<Window> window;
};

}  // namespace

// A first launch greets with the alert (its localised title, the message with the question
// after a blank line, the two answers) and has stored the defaults before the user answers;
// the next appearance of the screen greets no more.
TEST_F(StoryScreens, FirstShowingWelcomesOnceAndRegistersTheDefaults) {
    env->settings().setBool(false, "setting_2");
    launch();
    auto alerts = Alert::presented();
    ASSERT_EQ(alerts.size(), 1u);
    EXPECT_EQ(alerts[0]->title(), text("欢迎弹窗标题"));
    EXPECT_NE(alerts[0]->title(), "欢迎弹窗标题") << "the table has a greeting";
    EXPECT_EQ(alerts[0]->message(), text("欢迎弹窗内容") + "\n\n" + text("你打算怎样使用"));
    ASSERT_EQ(alerts[0]->actions().size(), 2u);
    EXPECT_EQ(alerts[0]->actions()[0].title, text("简单") + "：" + text("简单使用描述"));
    EXPECT_EQ(alerts[0]->actions()[1].title, text("专业") + "：" + text("专业使用描述"));
    EXPECT_NE(buttonTitled(root(), alerts[0]->actions()[1].title), nullptr) << "the answers are on the screen";

    auto& store = env->settings();
    EXPECT_TRUE(store.boolForKey("isFirstLaunch")) << "marked before the user answers";
    EXPECT_FALSE(store.boolForKey("setting_2")) << "the user's own value survives the defaults";
    EXPECT_EQ(store.stringForKey("save_format"), "HEIC");
    EXPECT_FLOAT_EQ(store.floatForKey("quality_setting"), 0.65f);
    EXPECT_TRUE(consoleLinesStartingWith("Selected mode: ").empty()) << "nothing chosen yet";

    Alert::dismissAll();
    controller->viewDidAppear();
    runUntilIdle();
    EXPECT_TRUE(Alert::presented().empty());
    EXPECT_EQ(findNamed(root(), "storyOverlay"), nullptr);
}

// "简单" opens the four-line guide with "✨" in black on white, reports "simple", and the card
// springs in from above; its OK button drops it 300 points while it shrinks and fades, and the
// overlay is gone at the end.
TEST_F(StoryScreens, SimpleAnswerShowsTheFourLineGuideAndOKDropsIt) {
    launch();
    auto alerts = Alert::presented();
    ASSERT_EQ(alerts.size(), 1u);
    Button* simple = buttonTitled(root(), alerts[0]->actions()[0].title);
    ASSERT_NE(simple, nullptr);
    click(simple);
    runUntilIdle();
    EXPECT_TRUE(Alert::presented().empty());
    EXPECT_EQ(consoleLinesStartingWith("Selected mode: "), std::vector<std::string>{"Selected mode: simple"});

    View* overlay = findNamed(root(), "storyOverlay");
    ASSERT_NE(overlay, nullptr);
    EXPECT_EQ(overlay->frame(), QRectF(0, 0, 390, 844));
    EXPECT_EQ(overlay->backgroundColor().rgb(), QColor(Qt::black).rgb());
    EXPECT_NEAR(overlay->backgroundColor().alphaF(), 0.5, 1e-3);
    View* card = findNamed(overlay, "storyCard");
    ASSERT_NE(card, nullptr);
    const QRectF place(39, 84.4, 312, 675.2);
    EXPECT_EQ(card->frame(), place);
    EXPECT_LT(card->presentationFrame().top(), 0) << "the entrance starts a screen height above";
    EXPECT_EQ(card->backgroundColor(), QColor(Qt::white));
    EXPECT_EQ(card->cornerRadius(), 20);

    auto* title = findNamed<Label>(card, "storyTitle");
    auto* emojis = findNamed<Label>(card, "storyEmojis");
    auto* content = findNamed<Label>(card, "storyContent");
    ASSERT_TRUE(title && emojis && content);
    EXPECT_EQ(title->text(), text("简单向导"));
    EXPECT_EQ(emojis->text(), "✨");
    QStringList lines = content->text().split("\n\n");
    ASSERT_EQ(lines.size(), 4);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(lines[i], "    " + text(("简单向导第" + std::to_string(i + 1) + "行").c_str()));
        EXPECT_FALSE(lines[i].contains("向导第")) << "the table has line " << i + 1;
    }
    EXPECT_EQ(content->textColor(), QColor(Qt::black));
    EXPECT_EQ(title->textColor(), QColor(Qt::black));
    EXPECT_EQ(findNamed(card, "storyRarityLabel"), nullptr);

    advance(0.8);
    EXPECT_EQ(card->presentationFrame(), place);

    auto* ok = findNamed<Button>(card, "storyOKButton");
    ASSERT_NE(ok, nullptr);
    EXPECT_EQ(ok->title(), "OK✨");
    EXPECT_EQ(ok->frame(), QRectF(106, 675.2 - 60, 100, 40));
    click(ok);
    runUntilIdle();
    View* leaving = findNamed(overlay, "storyCardExit");
    ASSERT_NE(leaving, nullptr) << "the card leaves as its picture";
    expectNear(leaving->frame().center(), place.center() + QPointF(0, 300));
    EXPECT_NEAR(leaving->frame().width(), place.width() * 0.1, 1e-9);
    EXPECT_EQ(leaving->alpha(), 0);
    EXPECT_EQ(overlay->alpha(), 0);
    EXPECT_GT(overlay->presentationAlpha(), 0.5) << "fading, not gone at once";
    advance(1.3);
    runUntilIdle();
    EXPECT_EQ(findNamed(root(), "storyOverlay"), nullptr);
    EXPECT_EQ(findNamed(root(), "storyCard"), nullptr);
}

// "专业" opens the six-line guide with "🛠" and reports "pro".
TEST_F(StoryScreens, ProAnswerShowsTheSixLineGuide) {
    launch();
    auto alerts = Alert::presented();
    ASSERT_EQ(alerts.size(), 1u);
    click(buttonTitled(root(), alerts[0]->actions()[1].title));
    runUntilIdle();
    EXPECT_EQ(consoleLinesStartingWith("Selected mode: "), std::vector<std::string>{"Selected mode: pro"});
    View* card = findNamed(root(), "storyCard");
    ASSERT_NE(card, nullptr);
    EXPECT_EQ(findNamed<Label>(card, "storyTitle")->text(), text("专业向导"));
    EXPECT_EQ(findNamed<Label>(card, "storyEmojis")->text(), "🛠");
    QStringList lines = findNamed<Label>(card, "storyContent")->text().split("\n\n");
    ASSERT_EQ(lines.size(), 6);
    for (const QString& line : lines) {
        EXPECT_TRUE(line.startsWith("    ") && !line.startsWith("     ")) << line.toStdString();
        EXPECT_FALSE(line.contains("向导第"));
    }
}

// With story mode on at the very first launch both checks run: the welcome alert and the
// opening story; the alert stays above the card, as a system alert would, and answering it
// puts the guide above the story.
TEST_F(StoryScreens, StoryModeAtFirstLaunchShowsTheOpeningStoryBelowTheWelcome) {
    useDraws(1);
    env->settings().setBool(true, "innovative_story_mode");
    launch();
    ASSERT_EQ(Alert::presented().size(), 1u);
    EXPECT_TRUE(console->contains("处理稀有故事并展示开头故事"));
    View* story = findNamed(root(), "storyOverlay");
    ASSERT_NE(story, nullptr);
    EXPECT_EQ(findNamed<Label>(story, "storyTitle")->text().toStdString(), Story::parse(Stories::all()[0])->name);
    auto order = root()->children();
    QObject* alertOverlay = findNamed(root(), "alertOverlay");
    ASSERT_NE(alertOverlay, nullptr);
    EXPECT_LT(order.indexOf(story), order.indexOf(alertOverlay));

    click(buttonTitled(root(), Alert::presented()[0]->actions()[0].title));
    runUntilIdle();
    EXPECT_EQ(countNamed(root(), "storyOverlay"), 2);
    QWidget* top = nullptr;
    for (QObject* child : root()->children())
        if (auto* w = qobject_cast<QWidget*>(child); w && w->objectName() == "storyOverlay" && w->isVisible()) top = w;
    ASSERT_NE(top, nullptr);
    EXPECT_EQ(findNamed<Label>(top, "storyEmojis")->text(), "✨") << "the guide lies above the story";
}

// The opening story comes at the first showing in its pink scheme; the screen shown again
// the same day, or exactly 76,324 s later, brings none; a second later the next one comes.
TEST_F(StoryScreens, OpeningStoryThenTheNextOnlyAfterTheInterval) {
    useDraws(1);
    env->settings().setBool(true, "isFirstLaunch");
    env->settings().setBool(true, "innovative_story_mode");
    auto& vc = launch();
    EXPECT_TRUE(Alert::presented().empty());
    View* card = findNamed(root(), "storyCard");
    ASSERT_NE(card, nullptr);
    auto opening = Story::parse(Stories::all()[0]);
    EXPECT_EQ(findNamed<Label>(card, "storyTitle")->text().toStdString(), opening->name);
    EXPECT_EQ(findNamed<Label>(card, "storyEmojis")->text().toStdString(), opening->emojis);
    expectColour(findNamed<Label>(card, "storyContent")->textColor(), 0.905, 0.447, 0.58);
    expectColour(findNamed<Button>(card, "storyOKButton")->backgroundColor(), 0.905, 0.447, 0.58);
    EXPECT_EQ(card->backgroundColor(), QColor(Qt::white));
    EXPECT_EQ(findNamed(card, "storyRarityLabel"), nullptr);

    advance(1);
    click(findNamed<Button>(card, "storyOKButton"));
    advance(1.3);
    runUntilIdle();
    EXPECT_EQ(findNamed(root(), "storyOverlay"), nullptr);

    vc.viewDidAppear();
    runUntilIdle();
    EXPECT_TRUE(console->contains("未到展示新故事的时间"));
    EXPECT_EQ(findNamed(root(), "storyOverlay"), nullptr);

    stopRepeatingTimers(vc);
    const double shownAt = storyTimestamp();
    clock->setNow(shownAt + 76324);
    vc.viewDidAppear();
    runUntilIdle();
    EXPECT_EQ(findNamed(root(), "storyOverlay"), nullptr) << "exactly the interval is not enough";
    clock->setNow(shownAt + 76325);
    vc.viewDidAppear();
    runUntilIdle();
    View* next = findNamed(root(), "storyCard");
    ASSERT_NE(next, nullptr);
    EXPECT_TRUE(console->contains("展示普通故事"));
    EXPECT_NE(findNamed<Label>(next, "storyTitle")->text().toStdString(), opening->name);
}

// A rare story carries the rarity label at the top of its column and a drawn colour pair;
// its page break is fifty line breaks, so the text after it is out of sight until the reader
// scrolls down with the wheel. OK shrinks it where it is.
TEST_F(StoryScreens, RareStoryHasItsLabelColoursAndPageBreak) {
    const int rare = 4;  // "稀有 随机", with a page break
    ASSERT_EQ(Story::parse(Stories::all()[rare])->rarity, "稀有");
    Array shown{Value(0)};
    for (int i = 2; i < 22; ++i)
        if (i != rare && i != 5 && i != 6) shown.emplace_back(i);
    env->settings().setObject(Value(std::move(shown)), "shownStories");
    env->settings().setBool(true, "isFirstLaunch");
    env->settings().setBool(true, "innovative_story_mode");
    useDraws(0, {0, 2});  // the first candidate, the third colour pair
    launch();

    View* card = findNamed(root(), "storyCard");
    ASSERT_NE(card, nullptr);
    auto story = Story::parse(Stories::all()[rare]);
    EXPECT_EQ(findNamed<Label>(card, "storyTitle")->text().toStdString(), story->name);
    expectColour(card->backgroundColor(), 1.0, 0.87, 0.87);
    expectColour(findNamed<Label>(card, "storyTitle")->textColor(), 0.6, 0.2, 0.2);

    auto* rarity = findNamed<Label>(card, "storyRarityLabel");
    ASSERT_NE(rarity, nullptr);
    EXPECT_EQ(rarity->text(), "稀有故事，只有很少一部分人会看到");
    EXPECT_TRUE(rarity->font().italic());
    EXPECT_EQ(rarity->font().pixelSize(), 14);
    auto* title = findNamed<Label>(card, "storyTitle");
    EXPECT_LT(rarity->frame().top(), title->frame().top());

    auto* content = findNamed<Label>(card, "storyContent");
    QString shownText = content->text();
    EXPECT_FALSE(shownText.contains("huanhang"));
    EXPECT_TRUE(shownText.contains(QString(50, '\n')));
    EXPECT_EQ(shownText.count('\n'), QString::fromStdString(story->content).count('\n') + 50);

    auto* scroll = findNamed<ScrollView>(card, "storyScrollView");
    ASSERT_NE(scroll, nullptr);
    advance(0.8);
    // Where the text after the break starts, in the scroll view's coordinates.
    int breakAt = shownText.indexOf(QString(50, '\n'));
    QString before = shownText.left(breakAt);
    QFontMetricsF fm(content->font());
    double afterTop = content->mapTo(scroll, QPoint(0, 0)).y() +
                      fm.boundingRect(QRectF(0, 0, content->width(), 1e6), Qt::TextWordWrap, before + QString(50, '\n')).height();
    EXPECT_GT(afterTop, scroll->height()) << "the rest waits below the card";
    const double needed = afterTop - scroll->height() + 20;
    for (int i = 0; i < 100 && scroll->contentOffset().y() < needed; ++i) {
        QWheelEvent wheel(QPointF(100, 300), scroll->mapToGlobal(QPointF(100, 300)), QPoint(), QPoint(0, -120), Qt::NoButton,
                          Qt::NoModifier, Qt::NoScrollPhase, false);
        QCoreApplication::sendEvent(scroll, &wheel);
        runUntilIdle();
    }
    EXPECT_GE(scroll->contentOffset().y(), needed) << "the wheel brings the text after the break into view";

    View* overlay = findNamed(root(), "storyOverlay");
    QRectF place = card->frame();
    click(findNamed<Button>(card, "storyOKButton"));
    View* leaving = findNamed(overlay, "storyCardExit");
    ASSERT_NE(leaving, nullptr);
    expectNear(leaving->frame().center(), place.center());
    advance(1.3);
    runUntilIdle();
    EXPECT_EQ(findNamed(root(), "storyOverlay"), nullptr);
}

// A catalogue text whose header has three words never produces a card, whichever way it
// comes: as the opening story or picked later. Story mode off asks nothing at all.
TEST_F(StoryScreens, ThreeWordHeaderNeverProducesAPopup) {
    useDraws(1);
    auto& stories = StoryManager::shared().stories;
    stories = {"普通  粉色\n开头\n🎞️\n正文", "普通 粉色\n结尾\n🎞️\n正文", "普通 黑白 多余\n坏的\n📷\n正文",
               "普通 黑白\n好的\n📷\n正文"};
    env->settings().setBool(true, "isFirstLaunch");
    auto& vc = launch();
    EXPECT_FALSE(console->contains("处理稀有故事并展示开头故事")) << "story mode is off";

    env->settings().setBool(true, "innovative_story_mode");
    vc.viewDidAppear();
    runUntilIdle();
    EXPECT_TRUE(console->contains("没有可用的故事"));
    EXPECT_EQ(findNamed(root(), "storyOverlay"), nullptr);

    useDraws(0);  // the picks take the first candidate: the broken one
    stopRepeatingTimers(vc);
    clock->setNow(storyTimestamp() + 76325);
    vc.viewDidAppear();
    runUntilIdle();
    EXPECT_TRUE(console->contains("展示普通故事"));
    auto lines = console->lines();
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "没有可用的故事"), 2);
    EXPECT_EQ(findNamed(root(), "storyOverlay"), nullptr);
}
