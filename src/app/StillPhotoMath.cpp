#include "StillPhotoMath.h"

#include <algorithm>
#include <cmath>

namespace sorvel {

ScaledPhotoSize scaledPhotoSize(double W, double H, double scale) {
    ScaledPhotoSize r;
    r.width = std::max(std::floor(W * scale), 2.0);
    r.height = std::max(std::floor(H * scale), 2.0);
    if (r.width > 256 || r.height > 256) {
        r.width = std::ceil(r.width / 16) * 16;
        r.height = std::ceil(r.height / 16) * 16;
        r.roundedToMultipleOf16 = true;
    }
    r.effectiveScale = std::min(r.width / W, r.height / H);
    return r;
}

int imageOrientationFor(int deviceOrientation, bool isSelfieCamera, bool mirrorSelfies) {
    // Columns: back camera, front camera unmirrored, front camera mirrored.
    static const int table[5][3] = {
        {6, 6, 5},  // portrait (and every value outside 1 to 4)
        {6, 6, 5},  // 1 portrait
        {8, 8, 7},  // 2 upside down
        {1, 3, 4},  // 3 landscape left
        {3, 1, 2},  // 4 landscape right
    };
    int row = deviceOrientation >= 1 && deviceOrientation <= 4 ? deviceOrientation : 0;
    int column = !isSelfieCamera ? 0 : (mirrorSelfies ? 2 : 1);
    return table[row][column];
}

int captureFlashModeFor(std::int64_t stored) {
    switch (stored) {
    case 1: return 2;
    case 2: return 1;
    default: return 0;
    }
}

}  // namespace sorvel
