#include "platform/capture/CaptureAuthorization.h"

#include "platform/foundation/Dispatch.h"

namespace sorvel {

AuthorizationStatus CaptureAuthorization::authorizationStatus(MediaType media) {
    return Permissions::status(media == MediaType::Video ? "camera" : "microphone");
}

void CaptureAuthorization::requestAccess(MediaType media, std::function<void(bool granted)> handler) {
    if (!handler) return;
    DispatchQueue::global().async([media, handler = std::move(handler)] {
        handler(authorizationStatus(media) == AuthorizationStatus::Authorized);
    });
}

}  // namespace sorvel
