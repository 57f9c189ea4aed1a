#include "app/ShadowBlur.h"

#include <algorithm>
#include <cstddef>

namespace sorvel {

namespace {

// One box pass along each row, with a running sum, so the cost does not grow with r.
void rowPass(const float* in, float* out, int w, int h, int r) {
    const float size = float(2 * r + 1);
    for (int y = 0; y < h; ++y) {
        const float* s = in + std::size_t(y) * w;
        float* d = out + std::size_t(y) * w;
        double sum = 0;
        for (int k = 0; k <= std::min(r, w - 1); ++k) sum += s[k];
        for (int x = 0; x < w; ++x) {
            d[x] = float(sum) / size;
            if (x + r + 1 < w) sum += s[x + r + 1];
            if (x - r >= 0) sum -= s[x - r];
        }
    }
}

// The same down each column, a row at a time (the columns' sums side by side), so memory is
// read in order.
void columnPass(const float* in, float* out, int w, int h, int r, std::vector<double>& sums) {
    const float size = float(2 * r + 1);
    sums.assign(std::size_t(w), 0.0);
    auto row = [&](int y) { return in + std::size_t(y) * w; };
    for (int k = 0; k <= std::min(r, h - 1); ++k)
        for (int x = 0; x < w; ++x) sums[std::size_t(x)] += row(k)[x];
    for (int y = 0; y < h; ++y) {
        float* d = out + std::size_t(y) * w;
        for (int x = 0; x < w; ++x) d[x] = float(sums[std::size_t(x)]) / size;
        if (y + r + 1 < h)
            for (int x = 0; x < w; ++x) sums[std::size_t(x)] += row(y + r + 1)[x];
        if (y - r >= 0)
            for (int x = 0; x < w; ++x) sums[std::size_t(x)] -= row(y - r)[x];
    }
}

}  // namespace

void blurShadowMask(std::vector<float>& alpha, int w, int h, int r) {
    if (r <= 0 || w <= 0 || h <= 0 || alpha.size() < std::size_t(w) * std::size_t(h)) return;
    std::vector<float> tmp(alpha.size());
    std::vector<double> sums;
    for (int i = 0; i < 3; ++i) {
        rowPass(alpha.data(), tmp.data(), w, h, r);
        columnPass(tmp.data(), alpha.data(), w, h, r, sums);
    }
}

}  // namespace sorvel
