#include <QBuffer>
#include <QImageWriter>
#include <QPixmap>
#include <random>

#include "AppHarness.h"
#include "app/PreviewView.h"
#include "app/themes/ColorHex.h"
#include "app/themes/ThemeManager.h"
#include "platform/foundation/SettingsStore.h"
#include "platform/ui/Alert.h"
#include "platform/ui/Appearance.h"
#include "platform/ui/Label.h"

using namespace sorvel;
using namespace sorvel::testing;

namespace {

QColor rgba(int r, int g, int b, int a = 255) { return QColor(r, g, b, a); }

// 8-bit channels: what the screen draws.
QRgb rgba8(const QColor& c) { return c.rgba(); }

Bytes jpegOf(const QColor& colour, QSize size = {60, 120}) {
    QImage img(size, QImage::Format_RGB32);
    img.fill(colour);
    QByteArray data;
    QBuffer buffer(&data);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "jpeg");
    writer.setQuality(80);
    EXPECT_TRUE(writer.write(img));
    return Bytes(data.begin(), data.end());
}

}  // namespace

// The colour texts come from the theme screen and from people typing `defaults write`: the
// short and unprefixed forms must mean what they say, alpha must come first in the long form,
// and a malformed length must not be half-read as some other colour.
TEST(ThemeColors, HexFormsAndTheirEdgeCases) {
    EXPECT_EQ(rgba8(colorFromHex("#1af")), rgba8(rgba(0x11, 0xaa, 0xff)));
    EXPECT_EQ(rgba8(colorFromHex("1AF")), rgba8(colorFromHex("11aaff")));
    EXPECT_EQ(rgba8(colorFromHex("#80FF0000")), rgba8(rgba(255, 0, 0, 128)));
    EXPECT_EQ(rgba8(colorFromHex("#12345")), rgba8(rgba(0, 0, 0)));
    EXPECT_EQ(rgba8(colorFromHex("")), rgba8(rgba(0, 0, 0)));
    // Stripped at both ends only: the space inside counts, and reading stops there.
    EXPECT_EQ(rgba8(colorFromHex("  #FFCC00\n")), rgba8(rgba(255, 204, 0)));
    EXPECT_EQ(rgba8(colorFromHex("#12 456")), rgba8(rgba(0, 0, 0x12)));
    // Three characters whose middle is no digit: only the "1" is read.
    EXPECT_EQ(rgba8(colorFromHex("#1g2")), rgba8(rgba(0, 0, 17)));
    EXPECT_EQ(rgba8(colorFromHex("(#00ff00)")), rgba8(rgba(0, 255, 0)));

    EXPECT_EQ(hexString(rgba(0x11, 0xaa, 0xff)), "#11AAFF");
    EXPECT_EQ(hexString(rgba(255, 0, 0, 10)), "#FF0000");  // alpha is not written
    // Halves round away from zero: 0.5 x 255 = 127.5 -> 128.
    EXPECT_EQ(hexString(QColor::fromRgbF(0.5f, 0, 1)), "#8000FF");
}

// What the theme screen stores must come back as the same colour at the next start: every
// 8-bit colour exactly, and colours picked as fractions within half a step.
TEST(ThemeColors, StoredColourReadsBackWithinRounding) {
    std::mt19937 random(7);
    std::uniform_int_distribution<int> channel(0, 255);
    std::uniform_real_distribution<float> fraction(0, 1);
    for (int i = 0; i < 2000; ++i) {
        QColor c = rgba(channel(random), channel(random), channel(random));
        ASSERT_EQ(rgba8(colorFromHex(hexString(c))), rgba8(c)) << hexString(c).toStdString();
        QColor f = QColor::fromRgbF(fraction(random), fraction(random), fraction(random));
        QColor back = colorFromHex(hexString(f));
        EXPECT_NEAR(back.redF(), f.redF(), 0.5 / 255 + 1e-4);
        EXPECT_NEAR(back.greenF(), f.greenF(), 0.5 / 255 + 1e-4);
        EXPECT_NEAR(back.blueF(), f.blueF(), 0.5 / 255 + 1e-4);
    }
}

namespace {

struct Theme : AppHarness {
    // As a new start with these settings: the shared manager reads them when it is made.
    void startWith(const std::map<std::string, Value>& settings) {
        for (const auto& [key, value] : settings) SettingsStore::standard().setObject(value, key);
        ThemeManager::shared().updateColors();
        loadController();
    }
    QImage screen() { return controller->view()->grab().toImage(); }
    View* backgroundPicture() {
        for (QObject* child : controller->view()->children())
            if (auto* v = dynamic_cast<View*>(child); v && v->tag() == ThemeManager::kBackgroundImageTag) return v;
        return nullptr;
    }
};

}  // namespace

// A theme stored by an earlier run must be on the screen when the camera opens: the root's
// pixels in the stored colour, the shutter in the text colour, and later labels and buttons in
// it too, while an alert's text stays readable on its own card.
TEST_F(Theme, StoredThemeIsAppliedAtStartUp) {
    startWith({{"theme_backgroundColor", Value("#1af")}, {"theme_textAndIconColor", Value("#FFCC00")}});
    EXPECT_EQ(rgba8(controller->view()->backgroundColor()), rgba8(rgba(0x11, 0xaa, 0xff)));
    QImage img = screen();
    // Below the preview area, clear of the controls.
    EXPECT_EQ(img.pixel(5, 830) & 0xffffff, 0x11aaffu);
    // The shutter ring's border, left of its centre (x 148..242, y 704..798; border 4).
    QRgb ring = img.pixel(150, 751);
    EXPECT_GT(qRed(ring), 200);
    EXPECT_GT(qGreen(ring), 150);
    EXPECT_LT(qBlue(ring), 120);

    EXPECT_EQ(rgba8(Appearance::current().labelTextColor), rgba8(rgba(255, 204, 0)));
    EXPECT_EQ(rgba8(Appearance::current().navigationBarTintColor), rgba8(rgba(255, 204, 0)));
    Label later;
    EXPECT_EQ(rgba8(later.textColor()), rgba8(rgba(255, 204, 0)));
    auto alert = Alert::make("需要权限", "说明");
    alert->addAction("好");
    alert->present(controller->view());
    // Our views carry no meta-object of their own: findChildren<Label*> would match any widget.
    int alertLabels = 0;
    for (QWidget* w : controller->view()->findChildren<QWidget*>()) {
        auto* l = dynamic_cast<Label*>(w);
        if (!l || (l->text() != "需要权限" && l->text() != "说明")) continue;
        ++alertLabels;
        EXPECT_EQ(rgba8(l->textColor()), rgba8(QColor(Qt::white)));
    }
    EXPECT_EQ(alertLabels, 2);
}

// The background picture must lie under every control, the camera picture included: one
// inserted above the preview would hide the camera. Without the option, or without a stored
// picture, nothing is inserted.
TEST_F(Theme, CustomBackgroundPictureLiesBelowEveryControl) {
    startWith({{"theme_useCustomBackground", Value(true)},
               {"theme_customBackgroundImage", Value(jpegOf(QColor(0, 200, 0)))}});
    View* picture = backgroundPicture();
    ASSERT_NE(picture, nullptr);
    EXPECT_EQ(picture->frame(), controller->view()->bounds());
    const QObjectList children = controller->view()->children();
    auto indexOf = [&](const QObject* o) { return children.indexOf(const_cast<QObject*>(o)); };
    ASSERT_NE(controller->previewView, nullptr);
    EXPECT_LT(indexOf(picture), indexOf(controller->previewView));
    for (QObject* child : children) {
        auto* w = qobject_cast<QWidget*>(child);
        if (!w || w == picture || w->isWindow()) continue;
        EXPECT_LT(indexOf(picture), indexOf(child)) << w->objectName().toStdString();
    }
    QRgb shown = screen().pixel(5, 830);
    EXPECT_LT(qRed(shown), 30);
    EXPECT_GT(qGreen(shown), 170);
    // The shutter is still drawn over it.
    EXPECT_GT(qGray(screen().pixel(150, 751)), 200);

    ThemeManager::shared().removeCustomBackgroundImage();
    runUntilIdle();
    EXPECT_EQ(backgroundPicture(), nullptr);
}

TEST_F(Theme, NoPictureWithoutTheOptionOrWithoutStoredBytes) {
    startWith({{"theme_useCustomBackground", Value(false)},
               {"theme_customBackgroundImage", Value(jpegOf(QColor(0, 200, 0)))}});
    EXPECT_EQ(backgroundPicture(), nullptr);
    SettingsStore::standard().setBool(true, "theme_useCustomBackground");
    SettingsStore::standard().removeObjectForKey("theme_customBackgroundImage");
    ThemeManager::shared().applyCustomBackgroundImage();
    EXPECT_EQ(backgroundPicture(), nullptr);
    // Bytes that are no picture are ignored too.
    SettingsStore::standard().setObject(Value(Bytes{1, 2, 3, 4}), "theme_customBackgroundImage");
    ThemeManager::shared().applyCustomBackgroundImage();
    EXPECT_EQ(backgroundPicture(), nullptr);
}
