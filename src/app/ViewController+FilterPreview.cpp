// The frame handler's filter step: the selected filter drawn over the camera picture (or over
// the photo picked for "用照片") in filteredImageView.

#include <QImage>
#include <QRegion>
#include <cmath>
#include <mutex>

#include "app/PictureConversion.h"
#include "app/ViewController.h"
#include "app/filters/FilterChain.h"
#include "app/filters/SavedFilter.h"
#include "platform/foundation/Dispatch.h"

namespace sorvel {

namespace {
// Frames are 1280 pixels on their long side; a picked photo is brought down to that once.
constexpr int kPreviewLongSide = 1280;

// The whole pixels inside `r` (rounded inwards).
QRect coveredPixels(const QRectF& r) {
    return QRect(QPoint(int(std::ceil(r.left())), int(std::ceil(r.top()))),
                 QPoint(int(std::floor(r.right())) - 1, int(std::floor(r.bottom())) - 1));
}
}  // namespace

// What the frame handler hands to the main queue: only the newest picture waits there, so a
// busy main thread skips pictures instead of queueing them up.
struct ViewController::LivePreviewSlot {
    std::mutex mutex;
    std::optional<QImage> picture;  // nothing: hide the overlay
    bool posted = false;

    // "VideoDataOutputQueue" only. The picked photo at preview size, made once per photo, and
    // the last picture made from it: the photo does not change from frame to frame, so it is
    // filtered again only when the filter's values do.
    std::shared_ptr<const image::Node> photoSource;
    std::optional<image::Image> photoAtPreviewSize;
    std::optional<ParameterMap> photoParameters;
    QImage photoPicture;
};

std::shared_ptr<ViewController::LivePreviewSlot> ViewController::makeLivePreviewSlot() {
    return std::make_shared<LivePreviewSlot>();
}

std::optional<image::Image> ViewController::selectedPhotoCIImage() const {
    std::lock_guard lock(sharedStateMutex_);
    return selectedPhoto_;
}

void ViewController::setSelectedPhotoCIImage(std::optional<image::Image> photo) {
    std::lock_guard lock(sharedStateMutex_);
    selectedPhoto_ = std::move(photo);
}

void ViewController::stopCaptureAndWaitForFrames() {
    captureSession->stopRunning();
    if (videoDataOutputQueue) videoDataOutputQueue->sync([] {});
}

void ViewController::updateLiveFilterPreview(const image::Image& frame) {
    std::optional<QImage> picture;
    if (isFilterEnabled()) {
        auto filter = selectedFilter();
        auto parameters = filter ? parametersOfFilter(*filter) : std::nullopt;
        if (!parameters) return;
        auto photo = isFilterUsePhotoEnabled ? selectedPhotoCIImage() : std::nullopt;
        LivePreviewSlot& slot = *livePreviewSlot_;
        if (photo) {
            if (slot.photoSource != photo->node()) {
                slot.photoSource = photo->node();
                slot.photoParameters.reset();
                slot.photoAtPreviewSize = renderReduced(*photo, ciContext, kPreviewLongSide);
            }
            if (!slot.photoAtPreviewSize) return;
            {
                if (slot.photoParameters != parameters) {
                    auto rendered = renderToQImage(applyFilters(*slot.photoAtPreviewSize, *parameters), ciContext, kPreviewLongSide);
                    if (!rendered) return;
                    slot.photoPicture = *rendered;
                    slot.photoParameters = parameters;
                }
                picture = slot.photoPicture;
            }
        }
        if (!picture) picture = renderToQImage(applyFilters(frame, *parameters), ciContext, kPreviewLongSide);
        if (!picture) return;
    }

    auto slot = livePreviewSlot_;
    {
        std::lock_guard lock(slot->mutex);
        slot->picture = std::move(picture);
        if (slot->posted) return;
        slot->posted = true;
    }
    // Weak: taking a strong reference here could make this thread the controller's last owner.
    DispatchQueue::main().async([weak = weak_from_this(), slot] {
        auto self = weak.lock();
        if (!self) return;
        std::optional<QImage> newest;
        {
            std::lock_guard lock(slot->mutex);
            newest = std::move(slot->picture);
            slot->picture.reset();
            slot->posted = false;
        }
        if (!self->filteredImageView) return;
        // Filtering may have been switched off since this picture was made.
        if (!newest || !self->isFilterEnabled()) {
            self->filteredImageView->setHidden(true);
            return;
        }
        // The edit view is opaque: what lies under it need not be drawn again, and redrawing
        // its rows with every frame would cost the main thread more than the picture itself.
        ImageView* overlay = self->filteredImageView;
        QRegion changed(overlay->rect());
        if (View* edit = self->filterEditView; edit && edit->isVisible()) {
            // Less its rounded corners, where the picture shows.
            QRectF f = edit->frame().translated(-overlay->frame().topLeft());
            double r = std::ceil(edit->cornerRadius());
            changed -= QRegion(coveredPixels(f.adjusted(0, r, 0, -r))) + QRegion(coveredPixels(f.adjusted(r, 0, -r, 0)));
        }
        overlay->setImage(*newest, changed);
        overlay->setHidden(false);
    });
}

}  // namespace sorvel
