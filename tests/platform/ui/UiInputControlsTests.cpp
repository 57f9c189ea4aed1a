#include <QLineEdit>
#include <QTest>

#include "UiTestSupport.h"
#include "platform/ui/GestureRecognizer.h"
#include "platform/ui/SegmentedControl.h"
#include "platform/ui/Switch.h"
#include "platform/ui/TextField.h"
#include "platform/ui/Toolbar.h"

using namespace sorvel;
using sorvel::testing::Pointer;

namespace {

struct UiInput : sorvel::testing::ScreenFixture {
    int rootTaps = 0;
    void SetUp() override {
        ScreenFixture::SetUp();
        // The camera screen's tap-to-focus lies under every control: it must not see their presses.
        root->addGestureRecognizer(std::make_unique<TapGestureRecognizer>([this](GestureRecognizer&) { ++rootTaps; }));
    }
};

}  // namespace

// A switch that toggled on code changes would write settings while a panel loads them; one that
// let the press through would also focus the camera behind it. A click toggles and reports once,
// a touch does the same, and an animated change from code slides on the Clock and reports nothing.
TEST_F(UiInput, SwitchTogglesOnClickAndTouchAndSlidesWhenSetFromCode) {
    auto* s = new Switch(QRectF(100, 100, Switch::kWidth, Switch::kHeight), nullptr);
    root->addSubview(s);
    std::vector<bool> heard;
    s->addAction("toggleFilter", [&] { heard.push_back(s->isOn()); });

    pointer().click(QPoint(125, 115));
    EXPECT_TRUE(s->isOn());
    QPointingDevice* screen = QTest::createTouchDevice();
    QTest::touchEvent(root.get(), screen).press(0, QPoint(110, 110));
    QTest::touchEvent(root.get(), screen).release(0, QPoint(110, 110));
    EXPECT_FALSE(s->isOn());
    EXPECT_EQ(heard, (std::vector<bool>{true, false}));
    EXPECT_EQ(rootTaps, 0);

    s->setOn(true, Animated::Yes);
    EXPECT_TRUE(s->isOn());
    main.advance(Switch::kAnimationDuration / 2);
    double mid = s->presentationThumbPosition();
    EXPECT_GT(mid, 0.1);
    EXPECT_LT(mid, 0.9);
    main.advance(Switch::kAnimationDuration);
    EXPECT_EQ(s->presentationThumbPosition(), 1.0);
    EXPECT_EQ(heard.size(), 2u);

    // Dragging the thumb to the off end and letting go there switches it off once.
    pointer().drag(QPoint(140, 115), QPoint(95, 115));
    EXPECT_FALSE(s->isOn());
    EXPECT_EQ(heard.size(), 3u);

    s->setEnabled(false);
    pointer().click(QPoint(125, 115));
    EXPECT_FALSE(s->isOn());
    EXPECT_EQ(heard.size(), 3u);
}

// The settings panel maps segment indices to stored values: a click must pick the segment under
// it, a click on the chosen one must not rewrite the store, and a bad index from code selects none.
TEST_F(UiInput, SegmentedControlSelectsTheClickedSegmentOnly) {
    auto* c = new SegmentedControl({"无", "全", "9:16", "1:1"}, nullptr);
    c->setFrame(QRectF(20, 300, 200, 32));
    root->addSubview(c);
    int sent = 0;
    c->addAction("segmentedControlValueChanged", [&] { ++sent; });
    c->setSelectedSegmentIndex(1);
    EXPECT_EQ(sent, 0);

    pointer().click(QPoint(20 + 125, 316));  // third segment: 100..150
    EXPECT_EQ(c->selectedSegmentIndex(), 2);
    EXPECT_EQ(sent, 1);
    pointer().click(QPoint(20 + 130, 316));
    EXPECT_EQ(sent, 1);
    // Pressed on one segment and released on another: nothing, as on a phone.
    pointer().press(QPoint(25, 316));
    pointer().release(QPoint(190, 316));
    EXPECT_EQ(c->selectedSegmentIndex(), 2);
    EXPECT_EQ(sent, 1);
    EXPECT_EQ(rootTaps, 0);

    c->setSelectedSegmentIndex(7);
    EXPECT_EQ(c->selectedSegmentIndex(), SegmentedControl::kNoSegment);
    c->insertSegment("新", 0);
    EXPECT_EQ(c->titleForSegment(0), "新");
    EXPECT_EQ(c->numberOfSegments(), 5);
}

// The filter editor's fields act when editing ends; if "完成" or a press elsewhere did not end it,
// typed values would never be applied. Every keystroke reports a change, code does not, and the
// keyboard type reaches the input method as Qt's hints.
TEST_F(UiInput, TextFieldTypesAndEndsEditingByDoneAndByATouchElsewhere) {
    root->setEndsEditingOnTouch(true);
    auto* field = new TextField(QRectF(40, 200, 120, 35), nullptr);
    field->setPlaceholder("秒");
    field->setKeyboardType(KeyboardType::NumberPad);
    root->addSubview(field);
    auto* bar = new Toolbar();
    bar->setItems({BarButtonItem::flexibleSpace(),
                   BarButtonItem::titled("完成", BarButtonStyle::Done, "doneButtonAction", [&] { root->endEditing(true); })});
    field->setInputAccessoryView(bar);
    int changed = 0, ended = 0, began = 0;
    std::vector<QString> endedWith;
    field->addAction(TextFieldEvent::EditingChanged, "customButtonTextFieldChanged", [&] { ++changed; });
    field->addAction(TextFieldEvent::EditingDidBegin, "begin", [&] { ++began; });
    field->addAction(TextFieldEvent::EditingDidEnd, "intTextFieldValueChanged", [&] {
        ++ended;
        endedWith.push_back(field->text());
    });

    EXPECT_EQ(field->lineEdit()->inputMethodHints(), Qt::ImhDigitsOnly);
    field->setKeyboardType(KeyboardType::DecimalPad);
    EXPECT_EQ(field->lineEdit()->inputMethodQuery(Qt::ImHints).toInt(), int(Qt::ImhFormattedNumbersOnly));
    field->setText("5");
    EXPECT_EQ(changed, 0);

    pointer().click(QPoint(100, 217));
    ASSERT_TRUE(field->isEditing());
    EXPECT_EQ(began, 1);
    // The toolbar lies across the window's bottom while editing.
    ASSERT_TRUE(bar->isVisible());
    EXPECT_EQ(bar->frame(), QRectF(0, 844 - Toolbar::kHeight, 390, Toolbar::kHeight));
    field->lineEdit()->selectAll();
    QTest::keyClicks(field->lineEdit(), "12.5");
    EXPECT_EQ(field->text(), "12.5");
    EXPECT_EQ(changed, 4);

    Button* done = bar->buttonForItem(1);
    ASSERT_NE(done, nullptr);
    EXPECT_EQ(done->title(), "完成");
    QPoint doneCentre = done->mapTo(root.get(), done->rect().center());
    pointer().click(doneCentre);
    EXPECT_FALSE(field->isEditing());
    EXPECT_EQ(endedWith, (std::vector<QString>{"12.5"}));
    EXPECT_FALSE(bar->isVisible());

    // Editing again, then a press on an empty part of the screen ends it.
    pointer().click(QPoint(60, 217));
    ASSERT_TRUE(field->isEditing());
    QTest::keyClick(field->lineEdit(), Qt::Key_End);
    QTest::keyClicks(field->lineEdit(), "7");
    pointer().click(QPoint(300, 600));
    EXPECT_FALSE(field->isEditing());
    EXPECT_EQ(ended, 2);
    EXPECT_EQ(endedWith.back(), "12.57");
    // Nothing is being edited: ending again reports nothing.
    EXPECT_FALSE(root->endEditing(true));
    EXPECT_EQ(ended, 2);
}

// Two fields: moving from one to the other ends the first (its value is applied) and begins the
// second, without the touch-anywhere rule ending the one just begun.
TEST_F(UiInput, PressingAnotherFieldMovesTheEditing) {
    root->setEndsEditingOnTouch(true);
    auto* a = new TextField(QRectF(20, 100, 100, 34), nullptr);
    auto* b = new TextField(QRectF(20, 160, 100, 34), nullptr);
    root->addSubview(a);
    root->addSubview(b);
    int aEnded = 0;
    a->addAction(TextFieldEvent::EditingDidEnd, "a", [&] { ++aEnded; });
    pointer().click(QPoint(60, 117));
    ASSERT_TRUE(a->isEditing());
    pointer().click(QPoint(60, 177));
    EXPECT_EQ(aEnded, 1);
    EXPECT_TRUE(b->isEditing());
    EXPECT_EQ(TextField::current(), b);
    QTest::keyClick(b->lineEdit(), Qt::Key_Return);
    EXPECT_EQ(TextField::current(), nullptr);
}
