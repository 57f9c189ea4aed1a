#include "platform/capture/VideoDataOutput.h"

namespace sorvel {

void VideoDataOutput::setSampleBufferDelegate(std::weak_ptr<VideoFrameDelegate> delegate,
                                              std::shared_ptr<DispatchQueue> queue) {
    std::lock_guard lock(mutex_);
    delegate_ = std::move(delegate);
    queue_ = std::move(queue);
}

void VideoDataOutput::deliver(const SampleBuffer& buffer) {
    std::weak_ptr<VideoFrameDelegate> delegate;
    std::shared_ptr<DispatchQueue> queue;
    {
        std::lock_guard lock(mutex_);
        delegate = delegate_;
        queue = queue_;
    }
    if (!queue || delegate.expired()) return;
    if (discardLate_ && inFlight_->load() > 0) {
        ++dropped_;
        return;
    }
    ++*inFlight_;
    auto self = std::static_pointer_cast<VideoDataOutput>(shared_from_this());
    queue->async([self, delegate, buffer, inFlight = inFlight_] {
        if (auto d = delegate.lock()) {
            if (CaptureConnection* c = self->connection(MediaType::Video)) d->captureOutput(*self, buffer, *c);
        }
        --*inFlight;
    });
}

}  // namespace sorvel
