#pragma once
// Where the composition guides go, without a screen: the 4:3 photo area of the preview, the
// crop frame inside it and the lines of a grid. Rectangles in points, origin top-left.

#include <QRectF>
#include <optional>
#include <vector>

namespace sorvel {

// The preview lies 60 points above the view; the photo is as wide as it and 4:3 tall, centred
// on it vertically.
QRectF guidePhotoArea(const QRectF& viewBounds);

// The crop frame in a container of `size`: an aspect ratio (width / height) fits the largest
// such rectangle, else a scale factor shrinks the container, else the container itself;
// always centred.
QRectF cropIndicatorFrame(const QSizeF& size, std::optional<double> scaleFactor, std::optional<double> aspectRatio);

// The inner lines of a rows x columns grid over `within`: vertical lines first, each 1 point
// thick and centred on its division. A count below 2 gives no lines in that direction.
std::vector<QRectF> gridLineFrames(int rows, int columns, const QRectF& within);

}  // namespace sorvel
