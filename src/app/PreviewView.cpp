#include "PreviewView.h"

#include <QPainter>

#include "platform/foundation/Dispatch.h"
#include "platform/ui/ImageView.h"

namespace sorvel {

PreviewView::PreviewView(const QRectF& frame, PreviewSink& sink, QWidget* parent)
    : View(frame, parent),
      sink_(sink),
      self_(std::make_shared<std::atomic<PreviewView*>>(this)),
      repaintQueued_(std::make_shared<std::atomic<bool>>(false)) {
    sink_.setBounds(frame.width(), frame.height());
    // Frames arrive on the camera's thread; one repaint at a time is queued to the main queue,
    // so a slow screen drops frames instead of piling them up.
    sink_.setFrameHandler([self = self_, queued = repaintQueued_] {
        if (queued->exchange(true)) return;
        DispatchQueue::main().async([self, queued] {
            queued->store(false);
            if (PreviewView* v = self->load()) v->update();
        });
    });
}

PreviewView::~PreviewView() {
    self_->store(nullptr);
    sink_.setFrameHandler(nullptr);
}

void PreviewView::resizeEvent(QResizeEvent* event) {
    View::resizeEvent(event);
    sink_.setBounds(width(), height());
}

void PreviewView::paintEvent(QPaintEvent* event) {
    View::paintEvent(event);
    auto frame = sink_.currentFrame();
    if (!frame || frame->width <= 0 || frame->height <= 0) return;
    QImage picture(frame->bgra.data(), frame->width, frame->height, frame->bytesPerRow, QImage::Format_ARGB32);
    QPainter p(this);
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    p.drawImage(ImageView::fittedRect(picture.size(), bounds(), ContentMode::AspectFit), picture);
}

}  // namespace sorvel
