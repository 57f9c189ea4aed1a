#pragma once
// Common part of the outputs a session can hold: the session it belongs to and the video
// connection it gets while the session has a camera input.

#include <atomic>
#include <memory>

#include "platform/capture/CaptureConnection.h"

namespace sorvel {

class CaptureSession;

// Outputs are owned by shared_ptr (the app and the session share them).
class CaptureOutput : public std::enable_shared_from_this<CaptureOutput> {
public:
    virtual ~CaptureOutput() = default;

    // The video connection, or nullptr while the output has none (no camera input, or the
    // device cannot connect). Borrowed: lives as long as the output. Any thread.
    CaptureConnection* connection(MediaType media);

    // Session side: set by add/remove of the output. Any thread.
    void attach(CaptureSession* session) { session_ = session; }
    CaptureSession* session() const { return session_.load(); }

protected:
    CaptureConnection videoConnection_;

private:
    std::atomic<CaptureSession*> session_{nullptr};
};

}  // namespace sorvel
