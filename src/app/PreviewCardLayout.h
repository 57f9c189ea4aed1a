#pragma once
// Where the post-capture preview card goes, for how long, and how its picture is turned.

#include <QRectF>
#include <QSizeF>
#include <cstdint>
#include <optional>

namespace sorvel {

struct PreviewCardLayout {
    QRectF frame;
    double displaySeconds = 0;
};

// Nothing for `photo_preview` 0; 1 is a large card centred 60 points above the middle, shown
// for a second; any other value a small card at the top right for three seconds.
std::optional<PreviewCardLayout> previewCardLayout(QSizeF viewSize, std::int64_t photoPreview);

// The turn (radians) that shows a picture in a card: a picture whose landscape-ness differs
// from the card's is turned a quarter (clockwise for landscape right, otherwise
// anticlockwise); a matching one is turned half a turn only upside down.
double previewRotation(QSizeF image, QSizeF frame, int deviceOrientation);

}  // namespace sorvel
