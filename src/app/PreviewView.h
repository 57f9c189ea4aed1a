#pragma once
// The live camera picture: draws the preview sink's newest frame, turned upright and fitted
// aspect-fit into the view.

#include <atomic>

#include "platform/capture/PreviewSink.h"
#include "platform/ui/View.h"

namespace sorvel {

class PreviewView : public View {
public:
    PreviewView(const QRectF& frame, PreviewSink& sink, QWidget* parent = nullptr);
    ~PreviewView() override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    PreviewSink& sink_;
    // Shared with the frame handler, which may run after this view is gone.
    std::shared_ptr<std::atomic<PreviewView*>> self_;
    std::shared_ptr<std::atomic<bool>> repaintQueued_;
};

}  // namespace sorvel
