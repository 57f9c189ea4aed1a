#pragma once
// One photo delivered to a capture delegate.

#include <optional>

#include "platform/capture/PhotoSettings.h"
#include "platform/foundation/Value.h"

namespace sorvel {

struct CapturedPhoto {
    // The encoded file: HEIC for processed photos, DNG for RAW. May be missing.
    std::optional<Bytes> fileData;
    // Image properties: "{Exif}", "{GPS}", "{TIFF}", "Orientation", pixel sizes.
    Dictionary metadata;
    bool isRawPhoto = false;
    double timestamp = 0;  // Clock seconds of the exposure
    ResolvedPhotoSettings resolvedSettings;

    const std::optional<Bytes>& fileDataRepresentation() const { return fileData; }
};

}  // namespace sorvel
