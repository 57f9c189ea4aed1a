// The live picture: the preview sink drawn 60 points above centre, and the frame handler that
// feeds the waveform monitor and the filtered overlay.

#include "app/PreviewView.h"
#include "app/ViewController.h"
#include "platform/foundation/Clock.h"
#include "platform/foundation/SettingsStore.h"

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

// "VideoDataOutputQueue". While pro mode is on the frame feeds the waveform monitor first, and
// only the frames the monitor takes (five a second at most) go on to the filter preview.
void ViewController::captureOutput(VideoDataOutput&, const SampleBuffer& buffer, CaptureConnection&) {
    if (!buffer.imageBuffer) return;
    const PixelBuffer& pixels = *buffer.imageBuffer;
    image::PixelBuffer wrapped;
    wrapped.width = pixels.width;
    wrapped.height = pixels.height;
    wrapped.bytesPerRow = static_cast<std::size_t>(pixels.bytesPerRow);
    wrapped.data = pixels.bgra.data();
    wrapped.owner = buffer.imageBuffer;
    auto picture = image::Image::fromPixelBuffer(wrapped);
    if (!picture) return;
    // Frames come in sensor orientation (landscape); a quarter turn clockwise (-pi/2) makes them
    // upright. Orientation 6 is exactly that turn, with whole pixels moved and none resampled.
    const image::Image frame = picture->oriented(6);

    if (isWaveformVisible.load()) {
        if (!SettingsStore::standard().boolForKey("setting_6")) return;
        const double now = Clock::current().now();
        // Clock seconds near 2e9 carry ulps of 2e-7: a frame 0.2 s later must not read 0.1999998.
        if (lastWaveformUpdateTime && now - *lastWaveformUpdateTime < 0.2 - 1e-6) return;
        lastWaveformUpdateTime = now;
        DispatchQueue::main().async(
            weakly(shared_from_this(), [frame](ViewController& self) { self.updateWaveform(frame); }));
    }
    updateLiveFilterPreview(frame);
}

}  // namespace sorvel
