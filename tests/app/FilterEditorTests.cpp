// The filter panel and edit view through the running app: real mouse clicks, drags and typed
// keys on the widgets, with what the settings store holds read back by a second store object
// on the same file, as another process would see it.

#include <QApplication>
#include <QClipboard>
#include <QLineEdit>
#include <QTest>
#include <cmath>
#include <fstream>

#include "../platform/ui/UiTestSupport.h"
#include "AppHarness.h"
#include "app/PictureConversion.h"
#include "app/filters/FilterChain.h"
#include "app/filters/FilterCodec.h"
#include "app/filters/FilterParameter.h"
#include "app/filters/SavedFilter.h"
#include "app/themes/ThemeManager.h"
#include "platform/foundation/Localization.h"
#include "platform/foundation/SettingsStore.h"
#include "platform/image/ImageDestination.h"
#include "platform/image/ImageSource.h"
#include "platform/photos/PhotoLibrary.h"
#include "platform/ui/Alert.h"
#include "platform/ui/CollectionView.h"
#include "platform/ui/PhotoPicker.h"
#include "platform/ui/Label.h"
#include "platform/ui/Pasteboard.h"
#include "platform/ui/ScrollView.h"
#include "platform/ui/Slider.h"
#include "platform/ui/StackView.h"
#include "platform/ui/Switch.h"
#include "platform/ui/TextField.h"
#include "platform/ui/Toolbar.h"

using namespace sorvel;
using namespace sorvel::testing;

namespace {

const char* const kSeaweed = "🌊海草ccd";

// The toolkit's views carry no Qt meta-object of their own, so findChildren<Button*> would
// hand back every widget: look them up by their C++ type.
template <typename T>
std::vector<T*> descendants(const QObject* root) {
    std::vector<T*> found;
    for (QObject* o : root->findChildren<QObject*>())
        if (auto* t = dynamic_cast<T*>(o)) found.push_back(t);
    return found;
}
template <typename T>
T* firstDescendant(const QObject* root) {
    auto all = descendants<T>(root);
    return all.empty() ? nullptr : all.front();
}
const char* const kColour = "🟡只有你是彩色的";

class FilterEditor : public AppHarness {
protected:
    ViewController& open() {
        ViewController& vc = startCamera();
        showTopLevel(*vc.view());
        runUntilIdle();
        return vc;
    }
    Pointer pointer() { return Pointer{controller->view()}; }
    QPoint centreOf(QWidget* w) { return w->mapTo(controller->view(), w->rect().center()); }
    // A click where a person would aim: the middle of the widget, through the window.
    void click(QWidget* w) {
        ASSERT_TRUE(w && w->isVisible()) << "not on screen: " << (w ? w->objectName().toStdString() : "null");
        pointer().click(centreOf(w));
        runUntilIdle();
    }
    template <typename T = View>
    T* named(const QString& id) {
        for (T* t : descendants<T>(controller->view()))
            if (t->objectName() == id) return t;
        return nullptr;
    }
    Button* listButton(const std::string& name) {
        for (View* v : controller->filterListView->arrangedSubviews())
            if (auto* b = dynamic_cast<Button*>(v); b && b->title() == QString::fromStdString(name)) return b;
        return nullptr;
    }
    // The button of the newest alert on screen with this title.
    View* topAlertOverlay() {
        auto overlays = descendants<View>(controller->view());
        for (auto it = overlays.rbegin(); it != overlays.rend(); ++it)
            if ((*it)->objectName() == "alertOverlay" && (*it)->isVisible()) return *it;
        return nullptr;
    }
    Button* alertButton(const QString& title) {
        View* overlay = topAlertOverlay();
        if (!overlay) return nullptr;
        for (Button* b : descendants<Button>(overlay))
            if (b->title() == title) return b;
        return nullptr;
    }
    QLineEdit* alertField() {
        View* overlay = topAlertOverlay();
        return overlay ? overlay->findChild<QLineEdit*>() : nullptr;
    }
    std::shared_ptr<Alert> topAlert() {
        auto all = Alert::presented();
        return all.empty() ? nullptr : all.back();
    }
    Slider* sliderOf(int id) { return firstDescendant<Slider>(named(QString("parameterRow%1").arg(id))); }
    TextField* fieldOf(int id) { return firstDescendant<TextField>(named(QString("parameterRow%1").arg(id))); }
    Button* resetOf(int id) {
        for (Button* b : descendants<Button>(named(QString("parameterRow%1").arg(id))))
            if (b->title() == "↺") return b;
        return nullptr;
    }

    // Wheels the edit view's list until the row of `id` is wholly in sight, as a person
    // scrolls to it.
    void scrollToRow(int id) {
        View* row = named(QString("parameterRow%1").arg(id));
        auto* scroll = named<ScrollView>("filterParameterScrollView");
        ASSERT_TRUE(row && scroll);
        for (int i = 0; i < 60; ++i) {
            QRect inScroll(row->mapTo(scroll, QPoint(0, 0)), row->size());
            if (inScroll.top() >= 0 && inScroll.bottom() <= scroll->height()) return;
            QPoint notch(0, inScroll.top() < 0 ? 120 : -120);
            pointer().wheel(centreOf(scroll), notch);
            runUntilIdle();
        }
        FAIL() << "row " << id << " never came into sight";
    }

    // Types into a row's field as a person does: a click in it, the old text selected and
    // replaced, then "完成" on the keyboard's toolbar.
    void typeInto(TextField* field, const QString& text) {
        if (QWidget* row = field->parentWidget(); row && row->objectName().startsWith("parameterRow"))
            scrollToRow(row->objectName().mid(12).toInt());
        click(field);
        ASSERT_TRUE(field->isEditing());
        field->lineEdit()->selectAll();
        QTest::keyClicks(field->lineEdit(), text);
        auto* bar = dynamic_cast<Toolbar*>(field->inputAccessoryView());
        ASSERT_NE(bar, nullptr);
        Button* done = bar->buttonForItem(1);
        ASSERT_TRUE(done && done->title() == "完成");
        click(done);
        EXPECT_FALSE(field->isEditing());
    }
    // The x inside `slider` where it stands for `value`.
    double xFor(Slider* slider, float value) {
        double lo = 0, hi = slider->width();
        for (int i = 0; i < 60; ++i) {
            double mid = (lo + hi) / 2;
            (slider->valueAtX(mid) < value ? lo : hi) = mid;
        }
        return hi;
    }
    QPoint pointOn(Slider* slider, double x) { return slider->mapTo(controller->view(), QPoint(int(std::lround(x)), slider->height() / 2)); }

    // The saved filters as a second store object on the same file reads them.
    std::vector<Dictionary> storedFilters() {
        auto store = SettingsStore::open(AppEnvironment::settingsFile(env->home()));
        std::vector<Dictionary> list;
        if (auto array = store->arrayForKey("savedFilters"))
            for (const auto& v : *array)
                if (v.dictionaryValue()) list.push_back(*v.dictionaryValue());
        return list;
    }
    std::optional<ParameterMap> storedParameters(const std::string& name) {
        auto list = storedFilters();
        auto index = indexOfFilterNamed(list, name);
        if (!index) return std::nullopt;
        return parametersOfFilter(list[*index]);
    }
    void selectInPanel(const std::string& name) {
        if (controller->filterView->isHidden()) click(controller->filterButton);
        click(listButton(name));
    }
};

// Mean absolute difference of the colour channels on a coarse grid, in 8-bit steps.
double meanDifference(const QImage& a, const QImage& b) {
    if (a.size() != b.size()) return 255;
    double sum = 0;
    int n = 0;
    for (int y = 5; y < a.height(); y += 20)
        for (int x = 5; x < a.width(); x += 20) {
            QColor p = a.pixelColor(x, y), q = b.pixelColor(x, y);
            sum += std::abs(p.red() - q.red()) + std::abs(p.green() - q.green()) + std::abs(p.blue() - q.blue());
            n += 3;
        }
    return sum / n;
}

}  // namespace

// The way in: the button opens and closes the panel; the switch refuses to turn on with nothing
// selected; a tap on a filter selects it in the theme's colours and switches filtering on, and
// the overlay then shows the camera picture through the filter.
TEST_F(FilterEditor, PanelSwitchAndSelection) {
    auto& vc = open();
    ASSERT_EQ(vc.filterButton->symbolName(), "wand.and.stars");
    ASSERT_TRUE(vc.filterView->isHidden());
    EXPECT_TRUE(vc.filterEditView->isHidden());
    click(vc.filterButton);
    EXPECT_TRUE(vc.filterView->isVisible());
    EXPECT_EQ(vc.filterButton->symbolName(), "xmark");
    ASSERT_EQ(vc.filterListView->arrangedSubviews().size(), 3u) << "the first launch's presets are listed";
    EXPECT_EQ(vc.filterNameLabel->text(), "请选择滤镜");

    click(vc.filterSwitch);
    auto alert = topAlert();
    ASSERT_TRUE(alert);
    EXPECT_EQ(alert->title(), "提示");
    EXPECT_EQ(alert->message(), QString::fromStdString(localized("请先选择一个滤镜再开启此功能")));
    EXPECT_FALSE(vc.filterSwitch->isOn());
    EXPECT_FALSE(vc.isFilterEnabled());
    click(alertButton("OK"));
    EXPECT_TRUE(Alert::presented().empty());

    Button* colour = listButton(kColour);
    Button* seaweed = listButton(kSeaweed);
    click(colour);
    click(seaweed);
    EXPECT_EQ(vc.filterNameLabel->text(), kSeaweed);
    ASSERT_TRUE(vc.selectedFilter());
    EXPECT_EQ(*nameOfFilter(*vc.selectedFilter()), kSeaweed);
    EXPECT_EQ(vc.selectedFilter(), storedFilters()[0]);
    EXPECT_TRUE(vc.filterSwitch->isOn());
    EXPECT_TRUE(vc.isFilterEnabled());
    const QColor bg = ThemeManager::bgColor();
    EXPECT_EQ(seaweed->borderWidth(), 4);
    EXPECT_EQ(seaweed->backgroundColor().rgb(), bg.rgb());
    EXPECT_EQ(seaweed->backgroundColor().alpha(), qRound(0.65 * 255));
    EXPECT_EQ(colour->borderWidth(), 1) << "the earlier selection goes back to the plain look";
    EXPECT_EQ(colour->backgroundColor().alpha(), qRound(0.05 * 255));

    ASSERT_TRUE(pumpUntil([&] { return !vc.filteredImageView->isHidden() && !vc.filteredImageView->image().isNull(); }, 20));
    // The overlay shows the frame through the filter: upright, and close to the newest frame
    // through the selected filter, far from the frame as it is.
    QImage shown = vc.filteredImageView->image();
    EXPECT_EQ(shown.size(), QSize(960, 1280));
    auto frame = vc.previewLayer->currentFrame();
    ASSERT_TRUE(frame);
    image::PixelBuffer wrapped{frame->width, frame->height, static_cast<std::size_t>(frame->bytesPerRow), frame->bgra.data(), frame};
    auto upright = image::Image::fromPixelBuffer(wrapped);
    ASSERT_TRUE(upright);
    auto filtered = renderToQImage(applyFilters(*upright, *parametersOfFilter(*vc.selectedFilter())), vc.ciContext, 1280);
    auto plain = renderToQImage(*upright, vc.ciContext, 1280);
    ASSERT_TRUE(filtered && plain);
    EXPECT_LT(meanDifference(shown, *filtered), 6.0);
    EXPECT_GT(meanDifference(shown, *plain), 3 * meanDifference(shown, *filtered) + 4);

    click(vc.filterSwitch);
    EXPECT_FALSE(vc.isFilterEnabled());
    EXPECT_TRUE(vc.filteredImageView->isHidden());
    pumpUntil([] { return false; }, 3);
    EXPECT_TRUE(vc.filteredImageView->isHidden()) << "frames while filtering is off keep the overlay hidden";

    click(vc.filterButton);
    EXPECT_TRUE(vc.filterView->isHidden());
    EXPECT_EQ(vc.filterButton->symbolName(), "wand.and.stars");
}

// Typed values are taken only when they are numbers of the row's kind and inside the range;
// out-of-range text is refused and rewritten, never clamped. Every accepted value, every step
// of a slider drag and every reset is in the store at once.
TEST_F(FilterEditor, EditingValuesWritesTheStoreAtOnce) {
    auto& vc = open();
    selectInPanel(kSeaweed);
    click(named<Button>("编辑"));
    ASSERT_TRUE(vc.filterEditView->isVisible());
    EXPECT_TRUE(vc.filterView->isHidden());
    EXPECT_TRUE(vc.filterButton->isHidden());
    EXPECT_EQ(vc.filterNameTextField->text(), kSeaweed);
    ASSERT_EQ(vc.filterParameterRowsView->arrangedSubviews().size(), 25u);
    auto preset = storedParameters(kSeaweed);
    ASSERT_TRUE(preset);
    // The rows show the selected filter's values in their formats.
    EXPECT_FLOAT_EQ(sliderOf(1)->value(), preset->at("1"));
    EXPECT_EQ(fieldOf(8)->text(), QString::number(std::lround(preset->at("8"))));
    EXPECT_EQ(fieldOf(1)->text(), QString::asprintf("%.2f", preset->at("1")));
    EXPECT_EQ(fieldOf(1)->keyboardType(), KeyboardType::DecimalPad);
    EXPECT_EQ(fieldOf(8)->keyboardType(), KeyboardType::NumberPad);

    const float exposureBefore = sliderOf(1)->value();
    typeInto(fieldOf(1), "12.345");
    EXPECT_EQ(sliderOf(1)->value(), exposureBefore);
    EXPECT_EQ(fieldOf(1)->text(), QString::asprintf("%.2f", exposureBefore));
    EXPECT_FLOAT_EQ(storedParameters(kSeaweed)->at("1"), exposureBefore);

    typeInto(fieldOf(1), "3.5");
    EXPECT_EQ(sliderOf(1)->value(), 3.5f);
    EXPECT_EQ(storedParameters(kSeaweed)->at("1"), 3.5f);
    EXPECT_EQ(vc.selectedFilter(), storedFilters()[0]);

    const float temperatureBefore = sliderOf(8)->value();
    auto storeBefore = storedFilters();
    typeInto(fieldOf(8), "7000.5");
    EXPECT_EQ(sliderOf(8)->value(), temperatureBefore);
    EXPECT_EQ(fieldOf(8)->text(), "7000.5") << "text that is not a whole number changes nothing";
    EXPECT_EQ(storedFilters(), storeBefore);
    typeInto(fieldOf(8), "9001");
    EXPECT_EQ(sliderOf(8)->value(), temperatureBefore);
    EXPECT_EQ(fieldOf(8)->text(), QString::number(std::lround(temperatureBefore)));

    // A drag of the temperature slider: pick a point that stands for a value with a fraction
    // above one half, so that rounding down or truncating would show.
    scrollToRow(8);
    Slider* temperature = sliderOf(8);
    double x = xFor(temperature, 6543.6f);
    while (std::fmod(temperature->valueAtX(std::round(x)), 1.0f) <= 0.5f) x += 1;
    x = std::round(x);
    const float aimed = temperature->valueAtX(x);
    ASSERT_GT(aimed - std::floor(aimed), 0.5f);
    const float expected = std::round(aimed);
    QPoint from = pointOn(temperature, xFor(temperature, temperatureBefore));
    pointer().press(from);
    pointer().move(pointOn(temperature, x));
    runUntilIdle();
    EXPECT_EQ(temperature->value(), expected);
    EXPECT_EQ(fieldOf(8)->text(), QString::number(static_cast<int>(expected)));
    EXPECT_EQ(storedParameters(kSeaweed)->at("8"), expected);
    pointer().release(pointOn(temperature, x));

    // Every move of a drag is in the store before the next one.
    scrollToRow(1);
    Slider* exposure = sliderOf(1);
    pointer().press(pointOn(exposure, xFor(exposure, 3.5f)));
    for (int step = 1; step <= 6; ++step) {
        pointer().move(pointOn(exposure, xFor(exposure, 3.5f) - step * 7));
        runUntilIdle();
        EXPECT_EQ(storedParameters(kSeaweed)->at("1"), exposure->value()) << "step " << step;
        EXPECT_EQ(fieldOf(1)->text(), QString::asprintf("%.2f", exposure->value()));
    }
    pointer().release(pointOn(exposure, xFor(exposure, 3.5f) - 42));
    EXPECT_LT(exposure->value(), 3.5f);

    click(resetOf(1));
    EXPECT_EQ(exposure->value(), 0.0f);
    EXPECT_EQ(fieldOf(1)->text(), "0.00");
    EXPECT_EQ(storedParameters(kSeaweed)->at("1"), 0.0f);
    EXPECT_EQ(storedParameters(kSeaweed)->at("8"), expected) << "a reset touches only its own parameter";
}

// New filters come with every parameter at its default and are not selected; renaming to a
// taken name counts up; saving closes the editor and returns to the panel.
TEST_F(FilterEditor, CreateRenameAndSaveAndClose) {
    auto& vc = open();
    click(vc.filterButton);
    click(named<Button>("新建"));
    ASSERT_TRUE(topAlert());
    EXPECT_EQ(topAlert()->title(), "新建滤镜");
    QLineEdit* field = alertField();
    ASSERT_NE(field, nullptr);
    EXPECT_EQ(field->placeholderText(), "滤镜名称");
    field->setFocus();
    QTest::keyClicks(field, "A");
    click(alertButton("确定"));
    ASSERT_EQ(vc.filterListView->arrangedSubviews().size(), 4u);
    EXPECT_NE(listButton("A"), nullptr);
    EXPECT_EQ(storedParameters("A"), defaultParameterMap());
    EXPECT_FALSE(vc.selectedFilter()) << "a new filter is not selected";
    EXPECT_EQ(vc.filterListScrollView->contentOffset(), vc.filterListScrollView->maximumContentOffset());

    // An empty name adds nothing; cancel adds nothing.
    click(named<Button>("新建"));
    click(alertButton("确定"));
    click(named<Button>("新建"));
    click(alertButton("取消"));
    EXPECT_EQ(storedFilters().size(), 4u);

    for (const char* preset : {kSeaweed, kColour}) {
        click(listButton(preset));
        click(named<Button>("编辑"));
        click(vc.filterNameTextField);
        vc.filterNameTextField->lineEdit()->selectAll();
        QTest::keyClicks(vc.filterNameTextField->lineEdit(), "A");
        typeInto(fieldOf(3), "0.5");
        click(named<Button>("saveFilterButton"));
        EXPECT_TRUE(vc.filterEditView->isHidden());
        EXPECT_TRUE(vc.filterView->isVisible());
        EXPECT_TRUE(vc.filterButton->isVisible());
    }
    std::vector<std::string> names;
    for (const auto& f : storedFilters()) names.push_back(*nameOfFilter(f));
    EXPECT_EQ(names, (std::vector<std::string>{"A1", "A2", "🍀自然柔和", "A"}));
    EXPECT_EQ(storedParameters("A2")->at("3"), 0.5f);
    EXPECT_EQ(vc.filterNameLabel->text(), "A2");
    EXPECT_EQ(*nameOfFilter(*vc.selectedFilter()), "A2");
    ASSERT_NE(listButton("A2"), nullptr);
    EXPECT_EQ(listButton("A2")->backgroundColor().alpha(), qRound(0.65 * 255)) << "the rebuilt list marks the selection";

    // Saving without a new name keeps it.
    click(named<Button>("编辑"));
    click(named<Button>("saveFilterButton"));
    EXPECT_EQ(*nameOfFilter(storedFilters()[1]), "A2");
}

// Deleting removes the first filter of the selected name, switches filtering off and leaves
// nothing selected: switching on again asks for a selection instead of reviving the deleted
// filter.
TEST_F(FilterEditor, DeleteSwitchesFilteringOffAndForgetsTheSelection) {
    auto& vc = open();
    selectInPanel(kColour);
    ASSERT_TRUE(vc.isFilterEnabled());
    click(named<Button>("deleteFilterButton"));
    EXPECT_EQ(vc.filterNameLabel->text(), "请选择滤镜");
    EXPECT_FALSE(vc.isFilterEnabled());
    EXPECT_FALSE(vc.filterSwitch->isOn());
    EXPECT_TRUE(vc.filteredImageView->isHidden());
    EXPECT_FALSE(vc.selectedFilter());
    EXPECT_EQ(storedFilters().size(), 2u);
    EXPECT_FALSE(storedParameters(kColour));
    EXPECT_EQ(listButton(kColour), nullptr);

    click(vc.filterSwitch);
    ASSERT_TRUE(topAlert());
    EXPECT_EQ(topAlert()->title(), "提示");
    EXPECT_FALSE(vc.isFilterEnabled());
    click(alertButton("OK"));

    console->clear();
    click(named<Button>("deleteFilterButton"));
    EXPECT_TRUE(console->contains("没有选中任何滤镜"));
    click(named<Button>("编辑"));
    EXPECT_TRUE(console->contains("没有选中的滤镜"));
    EXPECT_TRUE(vc.filterEditView->isHidden());
    EXPECT_EQ(storedFilters().size(), 2u);
}

// A shared code copied to the clipboard and pasted into the import dialog gives a filter with
// the values the code carries, in both forms; a code that does not decode adds nothing.
TEST_F(FilterEditor, ShareThenImportThroughTheClipboard) {
    auto& vc = open();
    selectInPanel(kSeaweed);
    click(named<Button>("编辑"));
    typeInto(fieldOf(1), "1.5");
    click(named<Button>("saveFilterButton"));
    ParameterMap shared = *storedParameters(kSeaweed);

    struct Copy {
        const char* button;
        const char* confirmation;
    };
    std::vector<ParameterMap> imported;
    for (const Copy& copy : {Copy{"复制滤镜代码", "✅已经复制好了喔!"}, Copy{"复制滤镜代码(汉字版)", "✅汉字版 已经复制好了喔!"}}) {
        Pasteboard::general().setString("stale");
        click(named<Button>("分享"));
        auto alert = topAlert();
        ASSERT_TRUE(alert);
        EXPECT_EQ(alert->title(), "🍎分享滤镜");
        ASSERT_TRUE(alertButton("关闭"));
        click(alertButton(copy.button));
        auto code = Pasteboard::general().string();
        ASSERT_TRUE(code && *code != "stale");
        EXPECT_TRUE(alert->message().contains(*code)) << "the dialog shows the code it copies";
        ASSERT_TRUE(topAlert());
        EXPECT_EQ(topAlert()->title(), copy.confirmation);
        EXPECT_EQ(topAlert()->message(), QString::fromStdString(localized("复制消息")));
        click(alertButton("确定"));

        click(named<Button>("导入"));
        ASSERT_TRUE(topAlert());
        EXPECT_EQ(topAlert()->title(), "💐导入滤镜");
        QLineEdit* field = alertField();
        ASSERT_NE(field, nullptr);
        pointer().click(field->mapTo(vc.view(), field->rect().center()));
        QTest::keySequence(field, QKeySequence::Paste);
        EXPECT_EQ(field->text(), *code);
        click(alertButton("✨导入"));
        std::string name = "导入" + std::to_string(imported.size() + 1);
        ASSERT_NE(listButton(name), nullptr);
        auto values = storedParameters(name);
        ASSERT_TRUE(values);
        EXPECT_EQ(*values, *parametersOfFilter(*decodeFilter(code->toStdString())));
        imported.push_back(*values);
    }
    EXPECT_EQ(imported[0], imported[1]) << "both forms carry the same values";
    for (const auto& p : filterParameterCatalogue()) {
        SCOPED_TRACE(p.id);
        const std::string id = std::to_string(p.id);
        EXPECT_NEAR(imported[0].at(id), shared.at(id), (p.max - p.min) / 1295.0 / 2 + 1e-4);
    }
    EXPECT_FALSE(vc.selectedFilter() && *nameOfFilter(*vc.selectedFilter()) != kSeaweed) << "an import is not selected";

    const std::size_t before = storedFilters().size();
    click(named<Button>("导入"));
    alertField()->setFocus();
    QTest::keyClicks(alertField(), "Aa09");
    click(alertButton("✨导入"));
    ASSERT_TRUE(topAlert());
    EXPECT_EQ(topAlert()->title(), "错误");
    EXPECT_EQ(topAlert()->message(), "无效的滤镜代码");
    click(alertButton("确定"));
    EXPECT_EQ(storedFilters().size(), before);
    EXPECT_EQ(vc.filterListView->arrangedSubviews().size(), before);
}

namespace {

// The photo preview needs pictures in the library: the real binary shoots them, as a person's
// earlier pictures would be there.
class FilterPhotoPreview : public FilterEditor {
protected:
    void SetUp() override {
        FilterEditor::SetUp();
        PhotoLibrary::setShared(nullptr);  // the shooting process takes the library's lock
        std::string cmd = std::string(SORVEL_BINARY_DIR) + "/src/sorvel-camera --home '" + (folder->path() / "shooter").string() +
                          "' --library '" + env->library().string() +
                          "' shoot --set setting_2=false --set normal_resolution_scale=0.25 >/dev/null 2>&1";
        ASSERT_EQ(std::system(cmd.c_str()), 0);
        PhotoLibrary::setShared(PhotoLibrary::open(env->library()));
        ASSERT_EQ(PhotoLibrary::shared().assets().size(), 1u);
    }
    PhotoPickerController* openPicker() {
        click(controller->filterUsePhotoSwitch);
        advance(0.5);  // the picker slides up
        auto* picker = dynamic_cast<PhotoPickerController*>(controller->presentedController());
        return picker;
    }
    image::Image storedPhotoUpright() {
        auto asset = PhotoLibrary::shared().assets().front();
        auto bytes = PhotoLibrary::shared().resourceData(asset.localIdentifier, 0);
        auto source = image::ImageSource::make(*bytes);
        return image::Image::fromBytes(*bytes)->oriented(source->orientation());
    }
    QImage rendered(const image::Image& picture) {
        return *renderToQImage(picture, controller->ciContext, 100000);
    }
};

}  // namespace

// "用照片": the picked picture, turned upright, replaces the camera in the overlay, filtered;
// the shutter then saves that picture through the filter instead of taking one. The saved HEIC
// holds the filtered pixels.
TEST_F(FilterPhotoPreview, PickedPhotoIsPreviewedAndTheShutterSavesItFiltered) {
    auto& vc = open();
    selectInPanel(kSeaweed);
    PhotoPickerController* picker = openPicker();
    ASSERT_NE(picker, nullptr);
    EXPECT_TRUE(vc.isFilterUsePhotoEnabled);
    ASSERT_EQ(picker->assets().size(), 1u);
    CollectionViewCell* cell = picker->collectionView()->cellForItem(0);
    ASSERT_NE(cell, nullptr);
    click(cell);
    advance(0.5);
    runUntilIdle();
    EXPECT_EQ(vc.presentedController(), nullptr) << "the picker closes after the pick";
    EXPECT_TRUE(console->contains("照片已转换为 CIImage，并应用了正确的方向"));
    auto photo = vc.selectedPhotoCIImage();
    ASSERT_TRUE(photo);
    image::Image upright = storedPhotoUpright();
    EXPECT_EQ(photo->extent().width, upright.extent().width);
    EXPECT_EQ(photo->extent().height, upright.extent().height);
    EXPECT_EQ(meanDifference(rendered(*photo), rendered(upright)), 0.0);

    // The overlay shows the photo through the filter, not the camera.
    const ParameterMap parameters = *parametersOfFilter(*vc.selectedFilter());
    auto reduced = renderReduced(*photo, vc.ciContext, 1280);
    QImage expected = *renderToQImage(applyFilters(*reduced, parameters), vc.ciContext, 1280);
    ASSERT_TRUE(pumpUntil([&] { return vc.filteredImageView->image().size() == expected.size(); }, 20));
    EXPECT_LT(meanDifference(vc.filteredImageView->image(), expected), 0.5);
    EXPECT_FALSE(vc.filteredImageView->isHidden());

    console->clear();
    const std::size_t before = PhotoLibrary::shared().assets().size();
    click(vc.captureButton);
    ASSERT_TRUE(pumpUntil([&] { return PhotoLibrary::shared().assets().size() > before && !outcomes().empty(); }, 100));
    for (const char* line : {"正在使用照片测试滤镜，准备应用滤镜并保存", "滤镜应用成功，准备保存图片", "滤镜应用后的照片已保存到相册",
                             "HEIC 图片已保存到相册"})
        EXPECT_TRUE(console->contains(line)) << line;
    EXPECT_TRUE(outcomes().back().success);
    EXPECT_TRUE(vc.isFilterUsePhotoEnabled) << "the mode stays on";
    auto bytes = PhotoLibrary::shared().resourceData(outcomes().back().assetIdentifier, 0);
    ASSERT_TRUE(bytes);
    auto source = image::ImageSource::make(*bytes);
    ASSERT_TRUE(source);
    EXPECT_EQ(source->type(), image::kTypeHEIC);
    auto decoded = image::Image::fromBytes(*bytes);
    ASSERT_TRUE(decoded);
    QImage savedPixels = rendered(*decoded);
    QImage filteredPixels = rendered(applyFilters(*photo, parameters));
    ASSERT_EQ(savedPixels.size(), filteredPixels.size());
    const double offFiltered = meanDifference(savedPixels, filteredPixels);
    EXPECT_LT(offFiltered, 3.0) << "the saved pixels are the filtered photo (up to the HEIC's loss)";
    EXPECT_GT(meanDifference(savedPixels, rendered(*photo)), 3 * offFiltered + 3) << "and not the photo as it was";

    // Switching the mode off keeps the photo but goes back to the camera.
    click(vc.filterUsePhotoSwitch);
    EXPECT_FALSE(vc.isFilterUsePhotoEnabled);
    EXPECT_TRUE(vc.selectedPhotoCIImage());
    ASSERT_TRUE(pumpUntil([&] { return vc.filteredImageView->image().size() == QSize(960, 1280); }, 20));
}

// A picture stored sideways (Exif orientation 6, as a phone's portrait JPEG) is turned upright
// when picked; a picture that cannot be decoded leaves the previous one in place.
TEST_F(FilterPhotoPreview, PickedPictureIsTurnedUprightByItsStoredOrientation) {
    auto& vc = open();
    selectInPanel(kSeaweed);
    // 64 x 48 stored, left half red, right half blue: upright it is 48 x 64, red on top.
    auto bitmap = image::Bitmap::make(64, 48, image::PixelFormat::RGBA8, image::ColorSpace::SRGB);
    for (int y = 0; y < 48; ++y)
        for (int x = 0; x < 64; ++x) {
            std::uint8_t* p = bitmap->mutableRow(y) + x * 4;
            p[0] = x < 32 ? 220 : 20;
            p[2] = x < 32 ? 20 : 220;
            p[1] = 20;
            p[3] = 255;
        }
    Bytes jpeg;
    auto destination = image::ImageDestination::make(jpeg, image::kTypeJPEG, 1);
    destination->addImage(*bitmap, {{image::kOrientation, 6}, {image::kLossyCompressionQuality, 0.95}});
    ASSERT_TRUE(destination->finalize());
    std::filesystem::path file = folder->path() / "sideways.jpg";
    std::ofstream(file, std::ios::binary).write(reinterpret_cast<const char*>(jpeg.data()), static_cast<std::streamsize>(jpeg.size()));

    PhotoPickerController* picker = openPicker();
    ASSERT_NE(picker, nullptr);
    ASSERT_TRUE(picker->pickFile(file));
    advance(0.5);
    runUntilIdle();
    auto photo = vc.selectedPhotoCIImage();
    ASSERT_TRUE(photo);
    EXPECT_EQ(photo->extent().width, 48);
    EXPECT_EQ(photo->extent().height, 64);
    QImage upright = rendered(*photo);
    EXPECT_GT(upright.pixelColor(24, 8).red(), 150) << "orientation 6: the stored left edge is the top";
    EXPECT_GT(upright.pixelColor(24, 56).blue(), 150);

    console->clear();
    vc.imagePickerDidFinishPicking(PickedPhoto{"", file, Bytes{'n', 'o', 't'}, 1});
    runUntilIdle();
    EXPECT_TRUE(console->contains("无法将图片转换为 CIImage"));
    ASSERT_TRUE(vc.selectedPhotoCIImage());
    EXPECT_EQ(vc.selectedPhotoCIImage()->node(), photo->node()) << "the previous photo stays";
}

// Cancelling the picker leaves the camera in the overlay; a press in the mode without a photo
// switches the mode off and saves nothing.
TEST_F(FilterPhotoPreview, CancellingThePickerKeepsTheCameraPicture) {
    auto& vc = open();
    selectInPanel(kSeaweed);
    PhotoPickerController* picker = openPicker();
    ASSERT_NE(picker, nullptr);
    Button* cancel = nullptr;
    for (Button* b : descendants<Button>(picker->view()))
        if (b->title() == "取消") cancel = b;
    ASSERT_NE(cancel, nullptr);
    click(cancel);
    advance(0.5);
    runUntilIdle();
    EXPECT_EQ(vc.presentedController(), nullptr);
    EXPECT_FALSE(vc.selectedPhotoCIImage());
    pumpUntil([] { return false; }, 4);
    EXPECT_EQ(vc.filteredImageView->image().size(), QSize(960, 1280)) << "the camera frame, not a photo";

    console->clear();
    const std::size_t before = PhotoLibrary::shared().assets().size();
    click(vc.captureButton);
    pumpUntil([] { return false; }, 5);
    EXPECT_TRUE(console->contains("未选择照片或照片未转换为 CIImage"));
    EXPECT_FALSE(vc.isFilterUsePhotoEnabled);
    EXPECT_TRUE(vc.filterUsePhotoSwitch->isOn()) << "the press changes the mode, not the switch";
    EXPECT_EQ(PhotoLibrary::shared().assets().size(), before);
}
