#include <QFontMetricsF>
#include <array>
#include <QTest>
#include <cmath>

#include "UiTestSupport.h"
#include "platform/capture/AudioSession.h"
#include "platform/ui/Label.h"
#include "platform/ui/ScreenController.h"
#include "platform/ui/Slider.h"
#include "platform/ui/StackView.h"
#include "platform/ui/VolumeView.h"
#include "platform/ui/Window.h"

using namespace sorvel;
using sorvel::testing::opaqueBounds;

namespace {

struct UiControls : sorvel::testing::UiFixture {
    std::vector<float> heard;
    int token = 0;
    void SetUp() override {
        UiFixture::SetUp();
        AudioSession::shared().setOutputVolume(0.5f);
        token = AudioSession::shared().addVolumeObserver([this](float v) { heard.push_back(v); });
    }
    void TearDown() override {
        AudioSession::shared().removeVolumeObserver(token);
        UiFixture::TearDown();
    }
};

}  // namespace

// Code that sets a slider (manual mode restoring a saved ISO) must not run its actions, or
// the app would write settings back while loading them; out-of-range and NaN values must not
// escape the range. A drag is the user's change and does send them.
TEST_F(UiControls, SliderClampsCodeChangesSilentlyAndDragsSendActions) {
    Slider s(QRectF(0, 0, 228, 28));
    s.setRange(100, 10);  // given the wrong way round
    EXPECT_EQ(s.minimumValue(), 10);
    EXPECT_EQ(s.maximumValue(), 100);
    int sent = 0;
    std::vector<float> seen;
    s.addAction("isoChanged", [&] {
        ++sent;
        seen.push_back(s.value());
    });
    s.setValue(500);
    EXPECT_EQ(s.value(), 100);
    s.setValue(-3);
    EXPECT_EQ(s.value(), 10);
    s.setValue(std::nanf(""));
    EXPECT_EQ(s.value(), 10);
    EXPECT_EQ(sent, 0);
    s.setMaximumValue(5);  // below the minimum: the range collapses on it
    EXPECT_EQ(s.minimumValue(), 5);
    EXPECT_EQ(s.value(), 5);
    s.setRange(0, 200);

    s.show();
    // The thumb (radius 14) travels from x 14 to x 214: x 114 is the middle.
    QTest::mousePress(&s, Qt::LeftButton, {}, QPoint(114, 14));
    QTest::mouseMove(&s, QPoint(214, 14));
    QTest::mouseRelease(&s, Qt::LeftButton, {}, QPoint(400, 14));
    ASSERT_GE(sent, 2);
    EXPECT_NEAR(seen.front(), 100, 1e-3);
    EXPECT_EQ(s.value(), 200);
    EXPECT_EQ(seen.back(), 200);
    EXPECT_EQ(s.actionNames(), (std::vector<std::string>{"isoChanged"}));
}

// A picture thumb (pro mode's 40 x 15 bar) stops its centre half its width from each end, and a
// drawing scale of (1, 2) draws it twice as tall about the centre without moving the ends.
TEST_F(UiControls, SliderWithAPictureThumbAndADrawingScale) {
    Slider s(QRectF(0, 0, 200, 30));
    QImage thumb(QSize(120, 45), QImage::Format_ARGB32_Premultiplied);
    thumb.fill(Qt::red);
    thumb.setDevicePixelRatio(3);  // 40 x 15 points
    s.setThumbImage(thumb);
    s.setMaximumTrackTintColor(Qt::transparent);
    s.setMinimumTrackTintColor(Qt::transparent);
    EXPECT_FLOAT_EQ(s.valueAtX(20), 0.0f);
    EXPECT_FLOAT_EQ(s.valueAtX(100), 0.5f);
    EXPECT_FLOAT_EQ(s.valueAtX(180), 1.0f);
    s.setValue(0.5f);
    auto redRows = [&] {
        QImage shot = s.grab().toImage();
        int top = -1, bottom = -1, left = -1, right = -1;
        for (int y = 0; y < shot.height(); ++y)
            for (int x = 0; x < shot.width(); ++x)
                if (qRed(shot.pixel(x, y)) > 200 && qGreen(shot.pixel(x, y)) < 50) {
                    if (top < 0) top = y;
                    bottom = y;
                    left = left < 0 ? x : std::min(left, x);
                    right = std::max(right, x);
                }
        return std::array<int, 4>{left, top, right, bottom};
    };
    const double dpr = s.grab().devicePixelRatio();
    auto plain = redRows();
    EXPECT_NEAR((plain[3] - plain[1] + 1) / dpr, 15, 1.5);
    EXPECT_NEAR((plain[2] - plain[0] + 1) / dpr, 40, 1.5);
    s.setDrawingScale(1.0, 2.0);
    auto tall = redRows();
    EXPECT_NEAR((tall[3] - tall[1] + 1) / dpr, 30, 1.5);
    EXPECT_NEAR((tall[2] - tall[0] + 1) / dpr, 40, 1.5);
    EXPECT_NEAR((tall[0] + tall[2]) / 2.0 / dpr, 100, 1.5) << "still centred on the value";
    EXPECT_FLOAT_EQ(s.valueAtX(20), 0.0f);
}

// The volume shutter restores the volume by setting the hidden view's slider: that value must
// reach the audio session (and its observers), and volume changes from elsewhere must move the
// slider, which must be findable as a Slider child. A destroyed view must stop listening.
TEST_F(UiControls, VolumeViewSliderDrivesAndFollowsTheOutputVolume) {
    auto view = std::make_unique<VolumeView>();
    Slider* found = nullptr;
    for (QObject* child : view->children())
        if ((found = dynamic_cast<Slider*>(child))) break;
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(found, view->slider());
    EXPECT_FLOAT_EQ(found->value(), 0.5f);

    found->setValue(0.25f);
    EXPECT_FLOAT_EQ(AudioSession::shared().outputVolume(), 0.25f);
    EXPECT_EQ(heard, (std::vector<float>{0.25f}));

    AudioSession::shared().setOutputVolume(0.75f);
    EXPECT_FLOAT_EQ(found->value(), 0.75f);
    EXPECT_EQ(heard.size(), 2u);  // following the session did not set the volume again

    found->setValue(3.0f);
    EXPECT_FLOAT_EQ(AudioSession::shared().outputVolume(), 1.0f);

    view.reset();
    AudioSession::shared().setOutputVolume(0.1f);  // would reach a dead slider if still observed
    EXPECT_EQ(heard.back(), 0.1f);
}

// The hardware volume keys (and + = - on a keyboard) move the output volume by 1/16; at the
// top a further press must change nothing and tell no observer, or the volume shutter would
// fire where a phone stays silent.
TEST_F(UiControls, VolumeKeysStepTheOutputVolume) {
    ScreenController controller(ScreenProfile::phone());
    Window window(controller);
    QTest::keyClick(&window, Qt::Key_VolumeUp);
    EXPECT_FLOAT_EQ(AudioSession::shared().outputVolume(), 0.5f + 1.0f / 16);
    QTest::keyClick(&window, Qt::Key_Minus);
    QTest::keyClick(&window, Qt::Key_VolumeDown);
    EXPECT_FLOAT_EQ(AudioSession::shared().outputVolume(), 0.5f - 1.0f / 16);
    QTest::keyClick(&window, Qt::Key_Plus);
    QTest::keyClick(&window, Qt::Key_Equal);
    EXPECT_FLOAT_EQ(AudioSession::shared().outputVolume(), 0.5f + 1.0f / 16);
    EXPECT_EQ(heard.size(), 5u);

    AudioSession::shared().setOutputVolume(1.0f);
    heard.clear();
    QTest::keyClick(&window, Qt::Key_VolumeUp);
    EXPECT_TRUE(heard.empty());
    QTest::keyClick(&window, Qt::Key_VolumeDown);
    EXPECT_EQ(heard, (std::vector<float>{15.0f / 16}));
    AudioSession::shared().setOutputVolume(0.03f);
    QTest::keyClick(&window, Qt::Key_VolumeDown);
    EXPECT_EQ(AudioSession::shared().outputVolume(), 0.0f);
    QTest::keyClick(&window, Qt::Key_A);  // other keys leave the volume alone
    EXPECT_EQ(AudioSession::shared().outputVolume(), 0.0f);
}

// The custom button row: widths plus spacing, the tallest child's height, children centred
// vertically, hidden children taking no room, and the stack's origin kept so the app can
// centre it.
TEST_F(UiControls, StackViewLaysOutItsRow) {
    StackView stack(QRectF(30, 500, 0, 0));
    stack.setSpacing(8);
    EXPECT_EQ(stack.fittingSize(), QSizeF(0, 0));
    View* a = new View(QRectF(0, 0, 40, 40));
    View* b = new View(QRectF(0, 0, 60, 30));
    View* c = new View(QRectF(0, 0, 40, 40));
    stack.addArrangedSubview(a);
    stack.addArrangedSubview(b);
    stack.addArrangedSubview(c);
    stack.addArrangedSubview(b);  // already there: no second place
    stack.layoutArranged();
    EXPECT_EQ(stack.arrangedSubviews().size(), 3u);
    EXPECT_EQ(stack.frame(), QRectF(30, 500, 156, 40));
    EXPECT_EQ(a->frame(), QRectF(0, 0, 40, 40));
    EXPECT_EQ(b->frame(), QRectF(48, 5, 60, 30));
    EXPECT_EQ(c->frame(), QRectF(116, 0, 40, 40));
    EXPECT_EQ(b->parentWidget(), &stack);

    b->setHidden(true);
    stack.layoutArranged();
    EXPECT_EQ(stack.frame().size(), QSizeF(88, 40));
    EXPECT_EQ(c->frame().x(), 48);

    stack.removeArrangedSubview(a);
    std::unique_ptr<View> removed(a);
    stack.layoutArranged();
    EXPECT_EQ(stack.fittingSize(), QSizeF(40, 40));
    EXPECT_EQ(a->parentWidget(), nullptr);
}

// The zoom label is one line of runs in different fonts and colours: its text must be the
// runs joined, its size their summed advances, and painting must put each run in its own
// colour, side by side, centred as a whole.
TEST_F(UiControls, AttributedLabelJoinsMeasuresAndPaintsRuns) {
    QFont big;
    big.setPixelSize(18);
    QFont small;
    small.setPixelSize(12);
    Label label(QRectF(10, 20, 300, 40));
    label.setAlignment(Qt::AlignCenter);
    label.setAttributedText({{"WIDE", big, QColor(255, 0, 0)}, {" 2.0x", small, QColor(0, 0, 255)}});
    EXPECT_EQ(label.text(), "WIDE 2.0x");
    ASSERT_EQ(label.attributedText().size(), 2u);

    QImage image(300, 40, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    label.render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
    QImage argb = image.convertToFormat(QImage::Format_ARGB32);
    int reddest = -1, bluest = -1;
    for (int y = 0; y < argb.height(); ++y)
        for (int x = 0; x < argb.width(); ++x) {
            QRgb px = argb.pixel(x, y);
            if (qAlpha(px) < 200) continue;
            if (qRed(px) > 200 && qBlue(px) < 50) reddest = std::max(reddest, x);
            if (qBlue(px) > 200 && qRed(px) < 50) bluest = std::max(bluest, x);
        }
    ASSERT_GE(reddest, 0);
    ASSERT_GE(bluest, 0);
    EXPECT_LT(reddest, bluest);  // the red run comes first
    double width = QFontMetricsF(big).horizontalAdvance("WIDE") + QFontMetricsF(small).horizontalAdvance(" 2.0x");
    QRect drawn = opaqueBounds(image, 100);
    EXPECT_NEAR(drawn.center().x(), 150, 4);
    EXPECT_LE(drawn.width(), width + 2);

    label.sizeToFit();
    EXPECT_EQ(label.frame().topLeft(), QPointF(10, 20));
    EXPECT_EQ(label.frame().width(), std::ceil(width));
    EXPECT_EQ(label.frame().height(), std::ceil(QFontMetricsF(big).height()));

    label.setText("🔒1x");
    EXPECT_TRUE(label.attributedText().empty());
    EXPECT_EQ(label.text(), "🔒1x");
}

// The settings help text is wrapped paragraphs of runs: a narrower label must need more height,
// line spacing must add height per line, "\n" must start paragraphs, and each run must be drawn
// in its own colour top to bottom (a heading above its body), nothing past the label's bottom.
TEST_F(UiControls, MultiLineAttributedLabelWrapsParagraphs) {
    QFont heading;
    heading.setPixelSize(18);
    heading.setBold(true);
    QFont body;
    body.setPixelSize(14);
    const QString words = "拍下传感器的原始数据，在本机关闭锐化、按固定的降噪参数自己显影，画面更干净。";
    Label label(QRectF(0, 0, 300, 10));
    label.setNumberOfLines(0);
    label.setAttributedText({{"标题\n", heading, QColor(255, 0, 0), 10}, {words + "\n", body, QColor(0, 0, 255), 6}});
    const QSizeF wide = label.textSizeForWidth(300);
    const QSizeF narrow = label.textSizeForWidth(120);
    EXPECT_GT(narrow.height(), wide.height() * 1.5);
    EXPECT_LE(wide.width(), 300);

    Label tight(QRectF(0, 0, 300, 10));
    tight.setNumberOfLines(0);
    tight.setAttributedText({{"标题\n", heading, QColor(255, 0, 0)}, {words + "\n", body, QColor(0, 0, 255)}});
    EXPECT_GT(wide.height(), tight.textSizeForWidth(300).height()) << "line spacing adds height";

    label.setFrame(QRectF(0, 0, 120, std::ceil(narrow.height())));
    QImage image(120, static_cast<int>(std::ceil(narrow.height())), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    label.render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
    int lowestRed = -1, highestBlue = image.height(), lowestBlue = -1;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            QRgb px = image.pixel(x, y);
            if (qAlpha(px) < 200) continue;
            if (qRed(px) > 200 && qBlue(px) < 50) lowestRed = std::max(lowestRed, y);
            if (qBlue(px) > 200 && qRed(px) < 50) {
                highestBlue = std::min(highestBlue, y);
                lowestBlue = std::max(lowestBlue, y);
            }
        }
    ASSERT_GE(lowestRed, 0);
    ASSERT_GE(lowestBlue, 0);
    EXPECT_LT(lowestRed, highestBlue) << "the heading paragraph lies above the body";
    EXPECT_GT(lowestBlue - highestBlue, 3 * 14) << "the body wrapped onto several lines";

    // A one-line label keeps its one-line size whatever the width.
    Label single(QRectF(0, 0, 50, 20));
    single.setText(words);
    EXPECT_EQ(single.textSizeForWidth(50), single.textSize());
}
