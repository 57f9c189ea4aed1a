#pragma once
// The theme's background picture as stored: the picked photo turned upright, no larger than
// the screen needs, encoded as JPEG at quality 0.8.

#include <optional>

#include "platform/foundation/Value.h"

namespace sorvel {

// `picked` as stored in its file, `orientation` its orientation tag (1..8). Nothing when it
// does not decode or encode. Any thread.
std::optional<Bytes> backgroundPictureJPEG(const Bytes& picked, int orientation, int maxSide);

}  // namespace sorvel
