#include "platform/capture/CaptureOutput.h"

#include "platform/capture/CaptureSession.h"

namespace sorvel {

CaptureConnection* CaptureOutput::connection(MediaType media) {
    if (media != MediaType::Video) return nullptr;
    CaptureSession* s = session();
    if (!s) return nullptr;
    auto device = s->videoDevice();
    if (!device || device->hasFault(CaptureFault::NoVideoConnection)) return nullptr;
    return &videoConnection_;
}

}  // namespace sorvel
