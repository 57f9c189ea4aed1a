#pragma once
// The soft shadow under watermark text: an alpha mask blurred by three box passes each way (an
// approximation of a Gaussian), with nothing outside the mask.

#include <vector>

namespace sorvel {

// Blurs the w x h plane `alpha` (values 0..255, rows in order) in place: three passes along rows
// and columns of a box of 2r + 1, each dividing by the box's full size, so alpha fades towards
// the edges as if the plane continued with zeros. r <= 0 leaves the plane as it is.
void blurShadowMask(std::vector<float>& alpha, int w, int h, int r);

}  // namespace sorvel
