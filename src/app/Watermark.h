#pragma once
// The text watermark: the user's line in a large thin face and, unless hidden, lens, time (and
// place), shutter, ISO and mode, white at 13-15 % with a soft shadow, drawn as a transparent
// layer of the picture's size and laid over it. Runs on the capture callback thread.

#include <optional>
#include <string>
#include <vector>

#include "platform/foundation/Value.h"
#include "platform/image/Image.h"
#include "platform/location/Location.h"

namespace sorvel {

// The text lines for this picture's metadata (and, without "{GPS}", the current location),
// reading the watermark settings; `now` is the time printed.
std::vector<std::string> watermarkLines(const Dictionary& metadata, const std::optional<Location>& currentLocation,
                                        Date now);

// The block's size in points when its lines are laid out within `maxWidth` points, wrapping at
// word boundaries (anywhere in a word longer than the width); each given line may become
// several. Line 0 is the user's line, in customFontSize.
struct WatermarkTextSize {
    double width = 0, height = 0;
    std::vector<int> wrappedLines;  // how many lines each given line takes
};
WatermarkTextSize measureWatermarkText(const std::vector<std::string>& lines, double fontSize, double customFontSize,
                                       double maxWidth);
// Line 0 in the "thin" system weight, the others in the lighter "ultra-light": Qt's
// ExtraLight (200) and Thin (100).
int watermarkFontWeight(std::size_t lineIndex);

// A transparent image of W x H with the text block 20 pixels from the right and 10 above the
// bottom. The block is drawn at `screenScale` pixels per point.
image::Image createWatermarkLayer(const std::vector<std::string>& lines, double fontSize, double customFontSize,
                                  double width, double height, double screenScale);

// The layer composited over `picture`; a mirrored deep picture lies at negative x, so its layer
// is moved by (-W + 20, +10) to land on it. `time` is the time printed (the Clock's now when
// not given).
image::Image addWatermarkInternal(const image::Image& picture, const Dictionary& metadata,
                                  const std::optional<Location>& currentLocation, bool mirroredDeepPicture,
                                  double screenScale, std::optional<Date> time = std::nullopt);

}  // namespace sorvel
