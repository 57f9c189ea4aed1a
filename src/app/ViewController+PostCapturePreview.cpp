// The floating card that shows the picture just taken, and the thin progress bar at the top.

#include <QPainter>
#include <QTransform>

#include "app/PictureConversion.h"
#include "app/PreviewCardLayout.h"
#include "app/ViewController.h"
#include "platform/foundation/Console.h"
#include "platform/foundation/SettingsStore.h"
#include "platform/ui/Animation.h"

namespace sorvel {

void ViewController::setupProgressView() {
    View* root = view();
    progressView = new ProgressBar(QRectF(20, 120 - 4, root->bounds().width() - 40, 4), nullptr);
    progressView->setAlpha(0.0);
    progressView->setProgressTintColor(Qt::red);
    QColor track = Qt::lightGray;
    track.setAlphaF(0.2f);
    progressView->setTrackTintColor(track);
    progressView->setProgress(0.5);
    progressView->setUserInteractionEnabled(false);
    progressView->setAccessibilityIdentifier("progressView");
    root->addSubview(progressView);
}

void ViewController::showPreview(const std::optional<image::Image>& picture, double /*duration*/) {
    if (!picture) return;
    std::int64_t setting = SettingsStore::standard().integerForKey("photo_preview");
    View* root = view();
    auto layout = previewCardLayout(root->bounds().size(), setting);
    if (!layout) return;

    // The card is at most a third of the screen wide on a 3x screen: render no more than it shows.
    int maxSide = static_cast<int>(std::max(layout->frame.width(), layout->frame.height()) * screenProfile().scale);
    auto rendered = renderToQImage(*picture, ciContext, std::max(maxSide, 64));
    if (!rendered) return;
    QImage shown = rotateImage(*rendered, layout->frame.size(), currentDeviceOrientation.load());

    auto* card = new ImageView(layout->frame, nullptr);
    card->setContentMode(ContentMode::AspectFill);
    card->setImage(shown);
    QColor background = Qt::black;
    background.setAlphaF(0.7f);
    card->setBackgroundColor(background);
    card->setCornerRadius(10);
    card->setClipsToBounds(true);
    card->setBorder(2, Qt::white);
    card->setAlpha(0.0);
    card->setAccessibilityIdentifier("previewCard");

    View* timerView = root->findChild<View*>("timerView", Qt::FindDirectChildrenOnly);
    if (timerView) root->insertSubviewBelow(card, timerView);
    else root->addSubview(card);

    double display = layout->displaySeconds;
    animate(0.3, [card] { card->setAlpha(1.0); }, [card, display](bool) {
        animate(0.3, [card] { card->setAlpha(0.0); }, [card](bool) {
            card->removeFromSuperview();
            card->deleteLater();
        }, AnimationOptions{display});
    });
}

QImage ViewController::rotateImage(const QImage& picture, QSizeF frame, int orientation) {
    consolePrint(std::to_string(orientation));
    double radians = previewRotation(picture.size(), frame, orientation);
    if (radians == 0.0) return picture;
    return picture.transformed(QTransform().rotateRadians(radians), Qt::SmoothTransformation);
}

void ViewController::completeProgressBar() {
    progressView->setProgressTintColor(QColor::fromRgbF(0.9f, 1.0f, 0.9f, 1.0f));
    progressView->setShadow(QColor::fromRgbF(0.3f, 1.0f, 0.3f, 1.0f), 1.0, 15);
    auto weak = weak_from_this();
    DispatchQueue::main().asyncAfter(0.1, [weak] {
        auto self = weak.lock();
        if (!self) return;
        ProgressBar* bar = self->progressView;
        transitionCrossDissolve(bar, 1.0, [bar] {
            bar->setProgressTintColor(QColor::fromRgbF(0.1f, 1.0f, 0.1f, 1.0f));
            bar->setShadow(QColor::fromRgbF(0, 1, 0, 1), 0, 0);
        });
    });
    DispatchQueue::main().asyncAfter(2.0, [weak] {
        if (auto self = weak.lock()) {
            ProgressBar* bar = self->progressView;
            animate(0.3, [bar] { bar->setAlpha(0.0); });
        }
    });
}

}  // namespace sorvel
