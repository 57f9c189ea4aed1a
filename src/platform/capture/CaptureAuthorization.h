#pragma once
// Camera and microphone access, answered from the permissions file.

#include <functional>

#include "platform/capture/CaptureTypes.h"
#include "platform/foundation/Permissions.h"

namespace sorvel {

class CaptureAuthorization {
public:
    // Any thread.
    static AuthorizationStatus authorizationStatus(MediaType media);
    // Answers true when access is authorised, on the global queue (never the caller's thread).
    // A desktop shows no prompt, so an undetermined answer stays a refusal.
    static void requestAccess(MediaType media, std::function<void(bool granted)> handler);
};

}  // namespace sorvel
