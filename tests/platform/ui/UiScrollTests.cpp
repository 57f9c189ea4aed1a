#include <QTest>

#include "UiTestSupport.h"
#include "platform/ui/Button.h"
#include "platform/ui/CollectionView.h"
#include "platform/ui/Label.h"
#include "platform/ui/ScrollView.h"
#include "platform/ui/Slider.h"
#include "platform/ui/StackView.h"

using namespace sorvel;
using sorvel::testing::Pointer;

namespace {

using UiScroll = sorvel::testing::ScreenFixture;

}  // namespace

// The settings list is taller than its sheet: a drag must move the content by the finger's
// travel (clamped at both ends, never past), the wheel must scroll by notches, and a drag that
// starts on a button must scroll without pressing it; a click on the button still presses it.
TEST_F(UiScroll, DragAndWheelScrollTallContentAndADragFromAButtonDoesNotPressIt) {
    auto* scroll = new ScrollView(QRectF(0, 100, 390, 400), nullptr);
    root->addSubview(scroll);
    auto* tall = new Label(QRectF(0, 0, 390, 1000), nullptr);
    tall->setText("rows");
    scroll->addSubview(tall);
    auto* button = new Button(QRectF(20, 150, 200, 44), nullptr);
    scroll->addSubview(button);
    int pressed = 0, scrolled = 0;
    button->addAction("openTheme", [&] { ++pressed; });
    scroll->addScrollAction("didScroll", [&] { ++scrolled; });
    scroll->sizeContentToFit();
    EXPECT_EQ(scroll->contentSize(), QSizeF(390, 1000));
    EXPECT_EQ(scroll->maximumContentOffset(), QPointF(0, 600));
    EXPECT_TRUE(scroll->canScrollVertically());
    EXPECT_FALSE(scroll->canScrollHorizontally());

    pointer().drag(QPoint(300, 450), QPoint(300, 250));  // on the label
    EXPECT_EQ(scroll->contentOffset(), QPointF(0, 200));
    EXPECT_GT(scrolled, 0);
    // The content's top-left is where the offset says, on screen too.
    EXPECT_EQ(tall->mapTo(root.get(), QPoint(0, 0)), QPoint(0, 100 - 200));

    pointer().wheel(QPoint(200, 300), QPoint(0, -240));  // two notches down
    EXPECT_EQ(scroll->contentOffset(), QPointF(0, 200 + 2 * ScrollView::kWheelStep));
    pointer().drag(QPoint(300, 200), QPoint(300, 490));  // far past the top
    EXPECT_EQ(scroll->contentOffset(), QPointF(0, 10));
    pointer().drag(QPoint(300, 200), QPoint(300, 490));
    EXPECT_EQ(scroll->contentOffset(), QPointF(0, 0));

    // The button's top-left is now at (20, 250) on screen.
    pointer().drag(QPoint(100, 270), QPoint(100, 170));
    EXPECT_EQ(scroll->contentOffset(), QPointF(0, 100));
    EXPECT_EQ(pressed, 0);
    EXPECT_FALSE(button->isHighlighted());
    pointer().click(QPoint(100, 170));
    EXPECT_EQ(pressed, 1);

    scroll->scrollToEnd();
    EXPECT_EQ(scroll->contentOffset(), QPointF(0, 600));
    scroll->setContentOffset(QPointF(0, 5000));
    EXPECT_EQ(scroll->contentOffset(), QPointF(0, 600));
}

// The custom-button row is wider than the screen: it must scroll sideways by a drag, by a
// touch, and by the ordinary vertical wheel; a slider inside keeps its own drags.
TEST_F(UiScroll, WideContentScrollsSidewaysAndASliderKeepsItsDrag) {
    auto* row = new ScrollView(QRectF(0, 700, 390, 44), nullptr);
    root->addSubview(row);
    auto* strip = new View(QRectF(0, 0, 900, 44), nullptr);
    row->addSubview(strip);
    row->sizeContentToFit();
    ASSERT_TRUE(row->canScrollHorizontally());
    EXPECT_FALSE(row->canScrollVertically());

    pointer().drag(QPoint(300, 720), QPoint(100, 725));
    EXPECT_EQ(row->contentOffset(), QPointF(200, 0));
    pointer().wheel(QPoint(200, 720), QPoint(0, -120));
    EXPECT_EQ(row->contentOffset(), QPointF(200 + ScrollView::kWheelStep, 0));

    QPointingDevice* screen = QTest::createTouchDevice();
    QTest::touchEvent(root.get(), screen).press(0, QPoint(100, 720));
    for (int x = 110; x <= 200; x += 10) QTest::touchEvent(root.get(), screen).move(0, QPoint(x, 720));
    QTest::touchEvent(root.get(), screen).release(0, QPoint(200, 720));
    EXPECT_EQ(row->contentOffset(), QPointF(150, 0));

    auto* scroll = new ScrollView(QRectF(0, 0, 390, 300), nullptr);
    root->addSubview(scroll);
    auto* content = new View(QRectF(0, 0, 390, 900), nullptr);
    scroll->addSubview(content);
    auto* slider = new Slider(QRectF(20, 100, 300, 30), nullptr);
    scroll->addSubview(slider);
    scroll->sizeContentToFit();
    int moved = 0;
    slider->addAction("sliderValueChanged", [&] { ++moved; });
    pointer().drag(QPoint(40, 115), QPoint(200, 60));
    EXPECT_GT(moved, 0);
    EXPECT_EQ(scroll->contentOffset(), QPointF(0, 0));
}

// The settings sheet's column: rows fill the column's width, hidden rows take no room, a Fill
// row gives its label what the switch leaves, and the scroll view's content follows the column.
TEST_F(UiScroll, VerticalStackLaysOutRowsInsideAScrollView) {
    auto* scroll = new ScrollView(QRectF(0, 0, 390, 300), nullptr);
    root->addSubview(scroll);
    auto* column = new StackView(QRectF(20, 20, 350, 0));
    column->setAxis(StackAxis::Vertical);
    column->setAlignment(StackAlignment::Fill);
    column->setSpacing(15);
    scroll->addSubview(column);
    std::vector<StackView*> rows;
    std::vector<View*> labels, controls;
    for (int i = 0; i < 12; ++i) {
        auto* row = new StackView(QRectF(0, 0, 0, 31));
        row->setDistribution(StackDistribution::Fill);
        row->setSpacing(10);
        auto* label = new View(QRectF(0, 0, 100, 20));
        auto* control = new View(QRectF(0, 0, 51, 31));
        row->addArrangedSubview(label);
        row->addArrangedSubview(control);
        row->setStretches(label, true);
        column->addArrangedSubview(row);
        rows.push_back(row);
        labels.push_back(label);
        controls.push_back(control);
    }
    rows[1]->setHidden(true);
    column->layoutArranged();
    scroll->sizeContentToFit();

    EXPECT_EQ(rows[0]->frame(), QRectF(0, 0, 350, 31));
    EXPECT_EQ(rows[2]->frame().top(), 31 + 15);  // the hidden row takes no room
    EXPECT_EQ(labels[0]->frame(), QRectF(0, 5.5, 350 - 10 - 51, 20));
    EXPECT_EQ(controls[0]->frame(), QRectF(299, 0, 51, 31));
    const double height = 11 * 31 + 10 * 15;
    EXPECT_EQ(column->frame(), QRectF(20, 20, 350, height));
    EXPECT_EQ(scroll->contentSize(), QSizeF(370, 20 + height));
    scroll->scrollToEnd();
    EXPECT_EQ(scroll->contentOffset().y(), 20 + height - 300);

    // The default stack is unchanged: a row that fits its subviews, centred across.
    StackView plain;
    plain.setSpacing(8);
    auto* a = new View(QRectF(0, 0, 40, 40));
    auto* b = new View(QRectF(0, 0, 30, 20));
    plain.addArrangedSubview(a);
    plain.addArrangedSubview(b);
    plain.layoutArranged();
    EXPECT_EQ(plain.frame().size(), QSizeF(78, 40));
    EXPECT_EQ(b->frame(), QRectF(48, 10, 30, 20));
}

namespace {

struct NamedCell : CollectionViewCell {
    Label* label;
    int reused = 0;
    NamedCell() { label = new Label(QRectF(20, 0, 200, 40), contentView()); }
    void prepareForReuse() override {
        ++reused;
        label->setText({});
    }
};

struct Names : CollectionViewDataSource, CollectionViewDelegate {
    std::vector<QString> names;
    std::vector<int> selected;
    int numberOfItems(CollectionView&) override { return static_cast<int>(names.size()); }
    CollectionViewCell* cellForItem(CollectionView& view, int index) override {
        auto* cell = static_cast<NamedCell*>(view.dequeueReusableCell("IconCell", index));
        cell->label->setText(names[static_cast<std::size_t>(index)]);
        return cell;
    }
    std::optional<QSizeF> sizeForItem(CollectionView& view, int) override { return QSizeF(view.frame().width(), 40); }
    void didSelectItem(CollectionView& view, int index) override {
        selected.push_back(index);
        view.deselectItem(index, Animated::Yes);
    }
};

}  // namespace

// The icon picker's list: a click picks the row under it (counting the scroll), a drag scrolls
// and picks nothing, and reloading reuses the cells after clearing them.
TEST_F(UiScroll, CollectionViewSelectsTheClickedRowAndReusesCells) {
    Names names;
    for (int i = 1; i <= 15; ++i) names.names.push_back(QString("图标%1").arg(i));
    FlowLayout layout;
    layout.minimumInteritemSpacing = 10;
    auto* list = new CollectionView(QRectF(0, 100, 390, 400), layout, nullptr);
    root->addSubview(list);
    list->registerCell("IconCell", [] { return std::make_unique<NamedCell>(); });
    list->setDataSource(&names);
    list->setDelegate(&names);
    list->reloadData();
    ASSERT_EQ(list->numberOfItems(), 15);
    EXPECT_EQ(list->frameForItem(2), QRectF(0, 100, 390, 40));
    EXPECT_EQ(list->contentSize().height(), 15 * 40 + 14 * 10);

    pointer().click(QPoint(200, 100 + 125));  // third row: 100..140
    EXPECT_EQ(names.selected, (std::vector<int>{2}));
    EXPECT_TRUE(list->selectedItems().empty());  // the delegate deselected it

    pointer().drag(QPoint(200, 450), QPoint(200, 150));
    EXPECT_EQ(list->contentOffset(), QPointF(0, 300));
    EXPECT_EQ(names.selected.size(), 1u);
    pointer().click(QPoint(200, 100 + 5));  // content y 305: the seventh row (300..340)
    EXPECT_EQ(names.selected.back(), 6);

    auto* first = static_cast<NamedCell*>(list->cellForItem(0));
    names.names.resize(3);
    list->reloadData();
    EXPECT_EQ(list->numberOfItems(), 3);
    std::set<CollectionViewCell*> shown{list->cellForItem(0), list->cellForItem(1), list->cellForItem(2)};
    int reusedCount = 0;
    for (auto* c : shown) reusedCount += static_cast<NamedCell*>(c)->reused;
    EXPECT_EQ(reusedCount, 3);
    EXPECT_TRUE(shown.count(first) || first->reused == 0);
    EXPECT_EQ(static_cast<NamedCell*>(list->cellForItem(1))->label->text(), "图标2");
}
