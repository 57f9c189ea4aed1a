// The theme screen and the photo picker through real clicks, on a library that the real
// `sorvel-camera shoot` filled.

#include <QTest>
#include <QWindow>
#include <cstdio>

#include "AppHarness.h"
#include "app/themes/ColorHex.h"
#include "app/themes/ThemeManager.h"
#include "app/themes/ThemeSettingsViewController.h"
#include "platform/foundation/SettingsStore.h"
#include "platform/image/HeifStructure.h"
#include "platform/image/ImageSource.h"
#include "platform/image/RenderContext.h"
#include "platform/ui/PictureRendering.h"
#include "platform/photos/PhotoLibrary.h"

using namespace sorvel;
using namespace sorvel::testing;

namespace {

struct ThemeScreen : AppHarness {
    std::shared_ptr<ThemeSettingsViewController> theme;

    // Shoots `count` pictures with the real command into this test's library.
    void shootIntoLibrary(int count) {
        std::string cmd = std::string(SORVEL_BINARY_DIR) + "/src/sorvel-camera --home '" +
                          (folder->path() / "shoot-home").string() + "' --library '" + env->library().string() +
                          "' shoot --set setting_2=false --count " + std::to_string(count) + " >/dev/null 2>&1";
        ASSERT_EQ(std::system(cmd.c_str()), 0);
        PhotoLibrary::setShared(PhotoLibrary::open(env->library()));
        ASSERT_EQ(PhotoLibrary::shared().assets().size(), static_cast<std::size_t>(count));
    }
    ViewController& openTheme() {
        ViewController& vc = loadController();
        vc.view()->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(vc.view()));
        theme = std::make_shared<ThemeSettingsViewController>();
        vc.present(theme);
        advance(0.4);
        return vc;
    }
    void click(QWidget* w) {
        QWidget* top = controller->view();
        QTest::mouseClick(top->windowHandle(), Qt::LeftButton, {}, w->mapTo(top, w->rect().center()));
    }
    // Waits for the decoding blocks on the global queue.
    bool waitFor(const std::function<bool()>& done) {
        for (int i = 0; i < 600 && !done(); ++i) {
            runUntilIdle();
            if (!done()) BackgroundActivity::waitForChange(0.05);
        }
        runUntilIdle();
        return done();
    }
};

}  // namespace

// The four controls show what is stored, and each change is stored at once: the background on
// the main screen at once, the text colour as a new appearance default.
TEST_F(ThemeScreen, ControlsShowTheStoredThemeAndStoreChanges) {
    SettingsStore::standard().setObject(Value("#1af"), "theme_backgroundColor");
    ViewController& vc = openTheme();
    ASSERT_TRUE(theme->backgroundColorPicker->selectedColor());
    EXPECT_EQ(theme->backgroundColorPicker->selectedColor()->rgb(), QColor(0x11, 0xaa, 0xff).rgb());
    EXPECT_EQ(theme->textAndIconColorPicker->selectedColor()->rgb(), QColor(Qt::white).rgb());
    EXPECT_FALSE(theme->useCustomBackgroundSwitch->isOn());
    EXPECT_EQ(theme->backgroundColorLabel->text(), "背景颜色（下滑关闭此页面）");
    EXPECT_EQ(theme->textAndIconColorLabel->text(), "文字和图标颜色（重启后生效）");
    EXPECT_EQ(theme->customBackgroundImageButton->title(), "选择自定义背景图片");
    EXPECT_EQ(theme->useCustomBackgroundLabel->text(), "使用自定义背景");

    // The well opens the chooser; a swatch click picks it.
    click(theme->backgroundColorPicker);
    advance(0.4);
    ColorPickerController* chooser = theme->backgroundColorPicker->presentedPicker();
    ASSERT_NE(chooser, nullptr);
    QRectF swatch = chooser->swatchRect(0, ColorPickerController::kColumns - 1);  // black
    QTest::mouseClick(vc.view()->windowHandle(), Qt::LeftButton, {}, swatch.center().toPoint());
    EXPECT_EQ(SettingsStore::standard().stringForKey("theme_backgroundColor"), "#000000");
    EXPECT_EQ(vc.view()->backgroundColor().rgb(), QColor(Qt::black).rgb());
    chooser->dismiss(Animated::No);

    theme->textAndIconColorPicker->setSelectedColor(QColor(255, 204, 0));
    theme->textAndIconColorChanged();
    EXPECT_EQ(SettingsStore::standard().stringForKey("theme_textAndIconColor"), "#FFCC00");
    EXPECT_EQ(Appearance::current().buttonTitleColor.rgb(), QColor(255, 204, 0).rgb());
    // A well with no colour changes nothing.
    theme->textAndIconColorPicker->setSelectedColor(std::nullopt);
    theme->textAndIconColorChanged();
    EXPECT_EQ(SettingsStore::standard().stringForKey("theme_textAndIconColor"), "#FFCC00");

    // The switch without a stored picture stores the choice and inserts nothing.
    click(theme->useCustomBackgroundSwitch);
    EXPECT_TRUE(SettingsStore::standard().boolForKey("theme_useCustomBackground"));
    EXPECT_EQ(vc.view()->viewWithTag(ThemeManager::kBackgroundImageTag), nullptr);
}

// A picture chosen in the picker becomes the stored JPEG background and turns the option on;
// the picker closes, and switching the option off and on hides and shows the picture.
TEST_F(ThemeScreen, PictureChosenInThePickerBecomesTheBackground) {
    shootIntoLibrary(2);
    ViewController& vc = openTheme();
    click(theme->customBackgroundImageButton);
    advance(0.4);
    auto* picker = dynamic_cast<PhotoPickerController*>(theme->presentedController());
    ASSERT_NE(picker, nullptr);
    ASSERT_EQ(picker->assets().size(), 2u);
    ASSERT_TRUE(waitFor([&] { return picker->thumbnailsLoaded() == 2; })) << picker->thumbnailsLoaded();
    const QImage* first = picker->thumbnail(0);
    ASSERT_NE(first, nullptr);
    EXPECT_GE(std::min(first->width(), first->height()), picker->thumbnailPixels() - 1);
    EXPECT_LE(std::min(first->width(), first->height()), picker->thumbnailPixels() + 1);

    CollectionViewCell* cell = picker->collectionView()->cellForItem(1);
    ASSERT_NE(cell, nullptr);
    click(cell);
    auto stored = SettingsStore::standard().dataForKey("theme_customBackgroundImage");
    ASSERT_TRUE(stored.has_value());
    auto source = image::ImageSource::make(*stored);
    ASSERT_TRUE(source.has_value());
    EXPECT_EQ(source->type(), "public.jpeg");
    EXPECT_LE(std::max(source->width(), source->height()), 844 * 3);
    EXPECT_TRUE(SettingsStore::standard().boolForKey("theme_useCustomBackground"));
    EXPECT_TRUE(theme->useCustomBackgroundSwitch->isOn());
    advance(0.4);
    EXPECT_EQ(theme->presentedController(), nullptr);

    click(theme->useCustomBackgroundSwitch);  // off
    EXPECT_EQ(vc.view()->viewWithTag(ThemeManager::kBackgroundImageTag), nullptr);
    click(theme->useCustomBackgroundSwitch);  // on: the new picture is shown
    View* picture = vc.view()->viewWithTag(ThemeManager::kBackgroundImageTag);
    ASSERT_NE(picture, nullptr);
    EXPECT_EQ(vc.view()->children().indexOf(picture), 0);

    // Cancelling the picker stores nothing new.
    click(theme->customBackgroundImageButton);
    advance(0.4);
    picker = dynamic_cast<PhotoPickerController*>(theme->presentedController());
    ASSERT_NE(picker, nullptr);
    click(picker->navigationBar()->leftButton());
    advance(0.4);
    EXPECT_EQ(theme->presentedController(), nullptr);
    EXPECT_EQ(SettingsStore::standard().dataForKey("theme_customBackgroundImage"), stored);
}

// The picker's thumbnails of stills the app saved come from the thumbnail item each still
// carries (large enough for the picker's cells), and show the picture: a thumbnail decoded
// from the wrong bytes, turned the wrong way or left blank would differ from the whole
// picture reduced to the same size.
TEST_F(ThemeScreen, PickerThumbnailsOfSavedStillsShowThePicture) {
    shootIntoLibrary(1);
    PhotoLibrary& library = PhotoLibrary::shared();
    const PhotoAsset asset = library.assets().front();
    auto file = library.resourceData(asset.localIdentifier, 0);
    ASSERT_TRUE(file);
    auto source = image::ImageSource::make(*file);
    ASSERT_TRUE(source);

    openTheme();
    click(theme->customBackgroundImageButton);
    advance(0.4);
    auto* picker = dynamic_cast<PhotoPickerController*>(theme->presentedController());
    ASSERT_NE(picker, nullptr);
    ASSERT_TRUE(waitFor([&] { return picker->thumbnailsLoaded() == 1; }));
    const QImage* shown = picker->thumbnail(0);
    ASSERT_NE(shown, nullptr);

    const int side = picker->thumbnailPixels();
    const int longSide = static_cast<int>(
        std::ceil(side * double(std::max(source->width(), source->height())) / std::min(source->width(), source->height())));
    auto structure = image::isobmff::HeifStructure::read(file->data(), file->size());
    ASSERT_TRUE(structure);
    const auto thumbs = structure->referencing(structure->primary(), image::isobmff::fourcc("thmb"));
    ASSERT_EQ(thumbs.size(), 1u);
    const image::isobmff::Box* ispe = structure->property(thumbs[0], image::isobmff::fourcc("ispe"));
    ASSERT_NE(ispe, nullptr);
    EXPECT_GE(std::max(image::isobmff::readBE(ispe->body + 4, 4), image::isobmff::readBE(ispe->body + 8, 4)),
              std::uint64_t(longSide))
        << "the still's thumbnail does not cover a picker cell";

    image::RenderContext context;
    auto whole = renderToQImage(source->image()->oriented(source->orientation()), context, longSide);
    ASSERT_TRUE(whole);
    // Reduced from 402 x 302 or from 4032 x 3024, the sides may round apart by a pixel.
    ASSERT_LE(std::abs(whole->width() - shown->width()) + std::abs(whole->height() - shown->height()), 1);
    const int w = std::min(whole->width(), shown->width()), h = std::min(whole->height(), shown->height());
    // Against the picture upside down too: the scale of a difference that means "wrong picture".
    double difference = 0, turned = 0, mean = 0, spread = 0;
    const int n = w * h;
    const auto distance = [](QRgb a, QRgb b) {
        return std::abs(qRed(a) - qRed(b)) + std::abs(qGreen(a) - qGreen(b)) + std::abs(qBlue(a) - qBlue(b));
    };
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            difference += distance(shown->pixel(x, y), whole->pixel(x, y));
            turned += distance(shown->pixel(x, y), whole->pixel(w - 1 - x, h - 1 - y));
            mean += qGray(shown->pixel(x, y));
        }
    mean /= n;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) spread += std::abs(qGray(shown->pixel(x, y)) - mean);
    // The thumbnail is box-reduced before the picker's Lanczos: textures differ by a few levels.
    EXPECT_LT(difference / (3.0 * n), 10.0) << "the thumbnail is not the picture";
    EXPECT_LT(difference * 3, turned) << "the thumbnail is turned";
    EXPECT_GT(spread / n, 5.0) << "the thumbnail is flat";
    picker->cancel();
    advance(0.4);
}
