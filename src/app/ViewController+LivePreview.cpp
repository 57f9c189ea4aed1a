// The live picture: the preview sink drawn 60 points above centre, and the frame handler that
// feeds the filtered overlay.

#include "app/PreviewView.h"
#include "app/ViewController.h"

namespace sorvel {

void ViewController::setupPreviewLayer() {
    View* root = view();
    previewLayer = std::make_unique<PreviewSink>();
    previewLayer->setSession(captureSession.get());
    previewLayer->connection().setVideoOrientation(VideoOrientation::Portrait);
    QRectF frame = root->bounds().translated(0, -60);
    previewView = new PreviewView(frame, *previewLayer, nullptr);
    previewView->setAccessibilityIdentifier("previewLayer");
    previewView->setUserInteractionEnabled(false);
    root->addSubview(previewView);
    previewView->lower();

    filteredImageView = new ImageView(frame, nullptr);
    filteredImageView->setContentMode(ContentMode::AspectFit);
    filteredImageView->setHidden(true);
    filteredImageView->setUserInteractionEnabled(false);
    filteredImageView->setAccessibilityIdentifier("filteredImageView");
    root->addSubview(filteredImageView);
}

// "VideoDataOutputQueue": each frame, turned upright, goes to the filter preview step.
void ViewController::captureOutput(VideoDataOutput&, const SampleBuffer& buffer, CaptureConnection&) {
    if (!buffer.imageBuffer) return;
    const PixelBuffer& frame = *buffer.imageBuffer;
    image::PixelBuffer wrapped;
    wrapped.width = frame.width;
    wrapped.height = frame.height;
    wrapped.bytesPerRow = static_cast<std::size_t>(frame.bytesPerRow);
    wrapped.data = frame.bgra.data();
    wrapped.owner = buffer.imageBuffer;
    auto picture = image::Image::fromPixelBuffer(wrapped);
    if (!picture) return;
    // Frames come in sensor orientation (landscape); the screen shows them upright.
    updateLiveFilterPreview(picture->oriented(6));
}

}  // namespace sorvel
