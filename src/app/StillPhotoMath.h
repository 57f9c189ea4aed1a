#pragma once
// The arithmetic of the normal still path: the output size for a resolution scale, the file
// orientation that makes a sensor-oriented picture upright, and the flash mapping.

#include <cstdint>

namespace sorvel {

struct ScaledPhotoSize {
    double width = 0;
    double height = 0;
    bool roundedToMultipleOf16 = false;
    // min(width / W, height / H): what the Lanczos scaler is asked for.
    double effectiveScale = 0;
};

// W x H scaled by `scale`, floored and at least 2; when either side exceeds 256 both are
// rounded up to multiples of 16 (hardware encoders work in 16-pixel blocks).
ScaledPhotoSize scaledPhotoSize(double sourceWidth, double sourceHeight, double scale);

// File orientation (1 up ... 8 left) for the device orientation at the press (1 portrait,
// 2 upside down, 3 landscape left, 4 landscape right; anything else counts as portrait).
// The front camera's picture is mirrored only when the user asked for it.
int imageOrientationFor(int deviceOrientation, bool isSelfieCamera, bool mirrorSelfies);

// The stored flash choice (0 off, 1 auto, 2 on, 3 torch) as the capture framework's flash mode
// (off 0, on 1, auto 2). The torch is not a flash: it captures with the flash off.
int captureFlashModeFor(std::int64_t storedFlashMode);

}  // namespace sorvel
