#pragma once
// Colour noise reduction that keeps colour inside its edges. Internal to the RAW developer.
//
// It works on the colour differences in a square-root domain (S(r) - S(y) and S(b) - S(y),
// S(v) = sqrt(v + c) with c the sensor's read noise over its photon noise, see noiseOffset):
// noise has about the same size there at every brightness, so one threshold fits shadows and
// highlights, and a colour that strays into a dark neighbour is bounded by that neighbour's
// own brightness.
//
// A Bayer sensor samples colour on a grid of 2 x 2 quads, and a demosaic's colour noise lies at
// that scale and coarser, so the smoothing runs on the quads' means: Gastal and Oliveira's
// recursive domain-transform filter (RecursiveFilter.h), guided by the (3 x 3 smoothed)
// luminance and both colour differences in units of their noise, so that it averages along an
// edge but never across it, and nothing overshoots; it may move no quad by more than three times
// the noise, which keeps colour detail finer than its guide sees. Full size takes the filtered
// quads, interpolated, plus, within a quad or so of an edge or a detail, the colour finer than a
// quad (in flat areas that is noise): a line one pixel wide keeps its colour.

#include <array>
#include <vector>

namespace sorvel::image::raw {

// `qr` and `qb` (w x h) are S(r) - S(y) and S(b) - S(y), denoised in place; `y` is the linear
// luminance and `offset` S's c. `strength` 0..1 sets the reach (up to about 12 pixels at scale 1), `scale`
// the output scale the picture was reduced to (the reach follows it).
// The three `work` planes are its scratch space (each resized to at least w x h; the caller's
// later steps reuse them: a fresh 12 MP plane costs its page faults as well as its arithmetic).
void reduceColourNoise(std::vector<float>& qr, std::vector<float>& qb, const std::vector<float>& y, float offset,
                       int w, int h, float strength, double scale, const std::array<std::vector<float>*, 3>& work);

// sign(v) sqrt(|v|), and its inverse v |v| (S(v) is signedSqrt(v + c)).
inline float signedSqrt(float v) { return v < 0 ? -__builtin_sqrtf(-v) : __builtin_sqrtf(v); }
inline float signedSquare(float v) { return v < 0 ? -v * v : v * v; }

}  // namespace sorvel::image::raw
