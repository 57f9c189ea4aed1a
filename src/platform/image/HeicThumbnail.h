#pragma once
// The small picture every HEIC of ours carries beside its primary picture (a 'thmb' item), so
// that a grid of photos can be drawn without decoding each photo at full size.

#include <optional>

#include "platform/image/Bitmap.h"

namespace sorvel::image {

// The long side a thumbnail has at least: the photo picker's cells are 96 points wide on a 3x
// screen, 288 pixels, and a 4:3 picture filling one (its short side across the cell) needs 384.
inline constexpr int kHeicThumbnailSide = 384;

// `rgba` (8-bit RGBA, one of its byte layouts) reduced by the largest whole factor k >= 2 that
// keeps its long side at least `minLongSide`: each pixel is the mean of a k x k block, and the
// size is rounded down to even numbers (4:2:0 coding keeps those whole), so up to 2k - 1
// columns and rows at the right and bottom edges are left out. Nothing when the picture is
// less than twice `minLongSide` on its long side (a thumbnail would save little) or
// `minLongSide` < 16. Any thread.
std::optional<Bitmap> reduceForThumbnail(const Bitmap& rgba, int minLongSide);

}  // namespace sorvel::image
