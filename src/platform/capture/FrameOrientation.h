#pragma once
// Pictures leave the sensor in its own orientation (long side horizontal). The file
// orientation tag (1 up ... 8 left, as in Exif) says how to turn them upright; it follows from
// the connection's orientation and mirroring.

#include "platform/capture/CaptureTypes.h"
#include "platform/capture/SampleBuffer.h"

namespace sorvel {

// The Exif orientation that shows a sensor picture as the connection asks.
int exifOrientationFor(VideoOrientation orientation, bool mirrored);

// Normalised display point (u right, v down, 0..1) to the sensor point it shows.
CapturePoint displayToSensor(int exifOrientation, double u, double v);

// Whether the orientation swaps width and height.
inline bool swapsAxes(int exifOrientation) { return exifOrientation >= 5 && exifOrientation <= 8; }

// The frame turned as the orientation tag says.
PixelBuffer orientFrame(const PixelBuffer& sensorFrame, int exifOrientation);

}  // namespace sorvel
