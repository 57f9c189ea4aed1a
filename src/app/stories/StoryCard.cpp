#include "StoryCard.h"

#include <QFontMetricsF>
#include <QPointer>
#include <cmath>

#include "app/stories/Story.h"
#include "platform/ui/Animation.h"
#include "platform/ui/Button.h"
#include "platform/ui/ImageView.h"
#include "platform/ui/Label.h"
#include "platform/ui/ScrollView.h"
#include "platform/ui/StackView.h"

namespace sorvel {

namespace {

constexpr double kInset = 20;
constexpr double kSpacing = 16;
constexpr double kTailRoom = 120;  // keeps the last lines clear of the button when scrolled to the end

QFont systemFont(int size, QFont::Weight weight = QFont::Normal, bool italic = false) {
    QFont font;
    font.setPixelSize(size);
    font.setWeight(weight);
    font.setItalic(italic);
    return font;
}

// A label of any number of lines, as tall as its text needs at `width`.
Label* makeTextLabel(const QString& text, const QFont& font, const QColor& color, Qt::Alignment alignment, double width,
                     const QString& identifier) {
    auto* label = new Label();
    label->setFont(font);
    label->setTextColor(color);
    label->setAlignment(alignment | Qt::AlignTop);
    label->setNumberOfLines(0);
    label->setText(text);
    label->setAccessibilityIdentifier(identifier);
    QRectF needed = QFontMetricsF(font).boundingRect(QRectF(0, 0, width, 1e6), int(alignment) | Qt::TextWordWrap, text);
    label->setFrame(QRectF(0, 0, width, std::ceil(needed.height())));
    return label;
}

// The lowest alert overlay on `host`: a card goes below it, as below a system alert.
QWidget* lowestAlertOverlay(View* host) {
    for (QObject* child : host->children())
        if (auto* w = qobject_cast<QWidget*>(child); w && w->objectName() == "alertOverlay" && w->isVisible()) return w;
    return nullptr;
}

}  // namespace

View* presentStoryCard(View* host, const StoryCardContent& content, std::function<void(Button&)> okAction) {
    if (!host) return nullptr;
    const QRectF screen = host->bounds();

    auto* overlay = new View(screen);
    overlay->setBackgroundColor(QColor::fromRgbF(0, 0, 0, 0.5));
    overlay->setAccessibilityIdentifier("storyOverlay");
    overlay->setBlocksInput(true);

    const double cardWidth = screen.width() * 0.8, cardHeight = screen.height() * 0.8;
    const QRectF cardFrame((screen.width() - cardWidth) / 2, (screen.height() - cardHeight) / 2, cardWidth, cardHeight);
    auto* card = new View(cardFrame, overlay);
    card->setBackgroundColor(content.cardColor);
    card->setCornerRadius(20);
    card->setAccessibilityIdentifier("storyCard");

    auto* scroll = new ScrollView(QRectF(0, 0, cardWidth, cardHeight), card);
    scroll->setAccessibilityIdentifier("storyScrollView");
    const double columnWidth = cardWidth - 2 * kInset;
    auto* column = new StackView();
    column->setAxis(StackAxis::Vertical);
    column->setAlignment(StackAlignment::Fill);
    column->setSpacing(kSpacing);
    column->setFrame(QRectF(kInset, kInset, columnWidth, 0));
    scroll->addSubview(column);

    if (content.rare)
        column->addArrangedSubview(makeTextLabel("稀有故事，只有很少一部分人会看到", systemFont(14, QFont::Normal, true),
                                                 Qt::gray, Qt::AlignHCenter, columnWidth, "storyRarityLabel"));
    column->addArrangedSubview(
        makeTextLabel(content.title, systemFont(24, QFont::Bold), content.textColor, Qt::AlignHCenter, columnWidth, "storyTitle"));
    column->addArrangedSubview(
        makeTextLabel(content.emojis, systemFont(48), content.textColor, Qt::AlignHCenter, columnWidth, "storyEmojis"));
    QString text = QString::fromStdString(expandPageBreaks(content.content.toStdString()));
    column->addArrangedSubview(
        makeTextLabel(text, systemFont(16), content.textColor, Qt::AlignLeft, columnWidth, "storyContent"));
    column->addArrangedSubview(new View(QRectF(0, 0, columnWidth, kTailRoom)));
    column->layoutArranged();
    // The column's inset applies at its end too.
    scroll->setContentSize(QSizeF(cardWidth, column->frame().bottom() + kInset));

    auto* ok = new Button(QRectF((cardWidth - 100) / 2, cardHeight - 20 - 40, 100, 40), card);
    ok->setTitle("OK✨");
    ok->setTitleColor(Qt::white);
    ok->setBackgroundColor(content.textColor);
    ok->setCornerRadius(20);
    ok->setShadow(content.textColor, 1.0, 8);
    ok->setAccessibilityIdentifier("storyOKButton");
    QPointer<Button> guard = ok;
    ok->addAction("closePopup", [guard, okAction = std::move(okAction)] {
        if (guard && okAction) okAction(*guard);
    });

    // Attached once built: children made inside a widget already on screen would stay hidden.
    if (QWidget* alert = lowestAlertOverlay(host)) host->insertSubviewBelow(overlay, alert);
    else host->addSubview(overlay);
    card->setFrame(cardFrame.translated(0, -screen.height()));
    animate(0.8, [&] { card->setFrame(cardFrame); }, nullptr, AnimationOptions{0, 0.7, 1.0});
    return overlay;
}

void dismissStoryCard(Button& okButton, StoryCardExit exit) {
    auto* card = dynamic_cast<View*>(okButton.parentWidget());
    auto* overlay = card ? dynamic_cast<View*>(card->parentWidget()) : nullptr;
    if (!card || !overlay) return;
    // A second tap while the card is leaving changes nothing.
    okButton.setEnabled(false);

    // The toolkit moves and fades views but does not scale a view with its subviews: the card
    // leaves as a picture of itself, which shrinks about its centre.
    QRectF from = card->presentationFrame();
    auto* picture = new ImageView(from, overlay);
    picture->setImage(card->grab().toImage());
    picture->setContentMode(ContentMode::ScaleToFill);
    picture->setAccessibilityIdentifier("storyCardExit");
    picture->show();
    card->setHidden(true);

    QPointF centre = from.center();
    if (exit == StoryCardExit::ShrinkAndDrop) centre += QPointF(0, 300);
    QRectF to(centre.x() - from.width() * 0.05, centre.y() - from.height() * 0.05, from.width() * 0.1, from.height() * 0.1);
    QPointer<View> overlayGuard = overlay;
    animate(
        1.2,
        [&] {
            picture->setFrame(to);
            picture->setAlpha(0);
            card->setFrame(to);
            card->setAlpha(0);
            overlay->setAlpha(0);
        },
        [overlayGuard](bool) {
            if (!overlayGuard) return;
            View* gone = overlayGuard;
            gone->removeFromSuperview();
            delete gone;
        },
        AnimationOptions{0, 0.7, 1.0});
}

bool scrollTopStoryCard(View* host, double points) {
    if (!host) return false;
    ScrollView* scroll = nullptr;
    for (QObject* child : host->children())
        if (auto* w = qobject_cast<QWidget*>(child); w && w->objectName() == "storyOverlay" && w->isVisible())
            for (QWidget* inner : w->findChildren<QWidget*>())
                if (inner->objectName() == "storyScrollView") scroll = dynamic_cast<ScrollView*>(inner);
    if (!scroll) return false;
    scroll->setContentOffset(QPointF(0, points));
    return true;
}

}  // namespace sorvel
