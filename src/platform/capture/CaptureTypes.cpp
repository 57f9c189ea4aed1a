#include "platform/capture/CaptureTypes.h"

#include "platform/capture/DeviceDescription.h"

namespace sorvel {

const char* captureErrorCodeName(CaptureErrorCode code) {
    switch (code) {
    case CaptureErrorCode::DeviceNotAvailable: return "device not available";
    case CaptureErrorCode::LockFailed: return "lock failed";
    case CaptureErrorCode::SessionNotRunning: return "session not running";
    case CaptureErrorCode::CaptureFailed: return "capture failed";
    case CaptureErrorCode::MovieFailed: return "movie failed";
    case CaptureErrorCode::UnsupportedSettings: return "unsupported settings";
    case CaptureErrorCode::NotAuthorized: return "not authorized";
    }
    return "unknown";
}

namespace {
struct FaultName {
    CaptureFault fault;
    const char* name;
};
constexpr FaultName kFaultNames[] = {
    {CaptureFault::DeviceInputCreation, "input_creation"}, {CaptureFault::LockFailure, "lock_failure"},
    {CaptureFault::CaptureError, "capture_error"},         {CaptureFault::MissingFileData, "missing_file_data"},
    {CaptureFault::MovieError, "movie_error"},             {CaptureFault::NoBayerRaw, "no_bayer_raw"},
    {CaptureFault::LivePhotoUnsupported, "live_photo_unsupported"},
    {CaptureFault::NoMicrophone, "no_microphone"},         {CaptureFault::NoVideoConnection, "no_video_connection"},
    {CaptureFault::MovieErrorBeforeStill, "movie_error_before_still"}, {CaptureFault::EmptyMovie, "empty_movie"},
};
}  // namespace

std::optional<CaptureFault> parseCaptureFault(const std::string& name) {
    for (auto& f : kFaultNames)
        if (name == f.name) return f.fault;
    return std::nullopt;
}

const char* captureFaultName(CaptureFault fault) {
    for (auto& f : kFaultNames)
        if (f.fault == fault) return f.name;
    return "unknown";
}

}  // namespace sorvel
