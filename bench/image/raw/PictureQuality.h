#pragma once
// What a developed picture of the rig's chart and star looks like beside the truth.
//
// Each developer has its own exposure, white balance and tone curve, so its picture is first
// put on the truth's scale: per channel, the curve through the six grey patches (mean out ->
// truth, log-log, proportional below the darkest) maps its values back to scene light. Noise,
// halo and sharpness are measured on that, in CIELAB units, so they are relative to the
// chart's own contrasts whatever curve the developer used.
//
//   noise          standard deviation of L* and of chroma (sqrt(var a* + var b*)) inside the
//                  middle half of each patch, mean over the 24 patches; the same on the chart's
//                  dark board at least 16 pixels from any patch ("ground")
//   halo           around the eight saturated patches on the dark board: the mean colour
//                  (a*, b*) of the pixels d pixels outside the patch's four sides (the middle
//                  80 % of each side) against the ground's mean colour: the colour that leaked,
//                  with the noise averaged out; its size for d = 1..16, mean over the patches
//                  and the worst patch, and the same for L*
//   sharpness      MTF50 from the star: the amplitude of the spoke frequency along circles
//                  against frequency (cycles per pixel), 1 at the outer rim; a high-contrast
//                  target (0.85 against 0.04). And the 10-90 % width of the low-contrast edges:
//                  the mean luminance profile across the sides of the patches one to two stops
//                  brighter than the board (where a noise reduction that smooths real detail
//                  shows first); the truth's own edge is a step (0.8 pixels by this measure)
//   colour         mean CIEDE2000 of the 24 patch means against the truth, after exposure and
//                  white balance are matched (a gain per channel fitted on the four middle
//                  greys), and after the grey-patch curves (tone curve matched too)

#include <array>
#include <string>

#include "RigCapture.h"
#include "TiffPlanes.h"

namespace sorvel::bench {

struct QualityFigures {
    int offsetX = 0, offsetY = 0;  // truth pixel = picture pixel + offset
    double lumaNoise = 0, chromaNoise = 0;
    double groundLumaNoise = 0, groundChromaNoise = 0;
    static constexpr int kRings = 16, kHaloRings = 12;
    std::array<double, kRings + 1> chromaHalo{}, worstChromaHalo{}, lumaHalo{};  // index: distance
    // Largest over 3..12 pixels.
    double chromaHaloBeyond2 = 0, worstChromaHaloBeyond2 = 0, lumaHaloBeyond2 = 0;
    int worstPatch = -1;  // the chart index of the patch with the worst colour halo beyond 2 pixels
    // What noise alone leaves in a ring's mean: the median over 13..16 pixels, where no halo
    // reaches (the gaps between patches are about 35 pixels).
    double haloFloor = 0;
    // The last distance up to 12 whose mean colour error is 1 or more and twice the floor.
    int haloWidth = 0;
    double mtf50 = 0;
    double edgeWidth = 0;  // pixels
    double deltaE00Balanced = 0, deltaE00Toned = 0;
};

// `picture` in linear light with the sRGB primaries, the truth's size or a centred crop of it.
QualityFigures measure(const Planes& picture, const Planes& truth, const ChartGeometry& geometry);

std::string toJson(const QualityFigures& figures);

}  // namespace sorvel::bench
