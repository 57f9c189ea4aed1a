#include "platform/capture/PhotoSettings.h"

#include <atomic>

namespace sorvel {

namespace {
std::atomic<std::int64_t> nextUniqueID{1};
}

PhotoSettings::PhotoSettings() : uniqueID_(nextUniqueID.fetch_add(1)) {}

PhotoSettings PhotoSettings::withFormat(VideoCodec codec) {
    PhotoSettings s;
    s.codec_ = codec;
    return s;
}

PhotoSettings PhotoSettings::withRawPixelFormat(std::uint32_t rawPixelFormatType) {
    PhotoSettings s;
    s.rawFormat_ = rawPixelFormatType;
    s.isAutoStillImageStabilizationEnabled = false;
    return s;
}

}  // namespace sorvel
