#pragma once
// Delivers preview frames to a delegate on the delegate's serial queue.

#include <memory>
#include <mutex>

#include "platform/capture/CaptureOutput.h"
#include "platform/capture/SampleBuffer.h"
#include "platform/foundation/Dispatch.h"

namespace sorvel {

class VideoDataOutput;

class VideoFrameDelegate {
public:
    virtual ~VideoFrameDelegate() = default;
    // On the queue given with the delegate. The buffer may be kept.
    virtual void captureOutput(VideoDataOutput& output, const SampleBuffer& buffer, CaptureConnection& connection) = 0;
};

class VideoDataOutput : public CaptureOutput {
public:
    // The delegate is held weakly: frames stop once it is gone. Main thread.
    void setSampleBufferDelegate(std::weak_ptr<VideoFrameDelegate> delegate, std::shared_ptr<DispatchQueue> queue);

    // When true (the default) a frame is dropped while the delegate is still busy with the
    // previous one, so a slow handler never builds a backlog.
    bool alwaysDiscardsLateVideoFrames() const { return discardLate_; }
    void setAlwaysDiscardsLateVideoFrames(bool discard) { discardLate_ = discard; }

    // Backend side, on the frame thread.
    void deliver(const SampleBuffer& buffer);
    std::uint64_t droppedFrameCount() const { return dropped_; }

private:
    std::mutex mutex_;
    std::weak_ptr<VideoFrameDelegate> delegate_;
    std::shared_ptr<DispatchQueue> queue_;
    std::atomic<bool> discardLate_{true};
    std::shared_ptr<std::atomic<int>> inFlight_ = std::make_shared<std::atomic<int>>(0);
    std::atomic<std::uint64_t> dropped_{0};
};

}  // namespace sorvel
