#include "platform/image/raw/PlaneFilters.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "platform/image/HugePages.h"

namespace sorvel::image::raw {

void boxBlur(const float* src, float* dst, int w, int h, int r, std::vector<float>& scratch) {
    if (r <= 0) {
        std::memcpy(dst, src, sizeof(float) * std::size_t(w) * h);
        return;
    }
    resizeInHugePages(scratch, std::size_t(w) * h);
    float* tmp = scratch.data();
    const double inv = 1.0 / (2 * r + 1);
    parallelRanges(std::size_t(h), [&](std::size_t y0, std::size_t y1) {
        for (std::size_t y = y0; y < y1; ++y) {
            const float* s = src + y * w;
            float* d = tmp + y * w;
            double sum = 0;
            for (int k = -r; k <= r; ++k) sum += s[std::clamp(k, 0, w - 1)];
            for (int x = 0; x < w; ++x) {
                d[x] = float(sum * inv);
                sum += s[std::min(x + r + 1, w - 1)] - s[std::max(x - r, 0)];
            }
        }
    });
    parallelRanges(std::size_t(w), [&](std::size_t x0, std::size_t x1) {
        const std::size_t n = x1 - x0;
        std::vector<double> sum(n, 0.0);
        auto row = [&](int y) { return tmp + std::size_t(std::clamp(y, 0, h - 1)) * w + x0; };
        for (int k = -r; k <= r; ++k) {
            const float* s = row(k);
            for (std::size_t i = 0; i < n; ++i) sum[i] += s[i];
        }
        for (int y = 0; y < h; ++y) {
            float* d = dst + std::size_t(y) * w + x0;
            for (std::size_t i = 0; i < n; ++i) d[i] = float(sum[i] * inv);
            const float *add = row(y + r + 1), *drop = row(y - r);
            for (std::size_t i = 0; i < n; ++i) sum[i] += double(add[i]) - drop[i];
        }
    });
}

void mean3x3(const float* in, int w, int h, float scale, float* out) {
    const std::size_t W = std::size_t(w);
    parallelRanges(std::size_t(h), [&](std::size_t y0, std::size_t y1) {
        std::vector<float> column(W + 2);
        const float k = scale / 9.0f;
        for (std::size_t y = y0; y < y1; ++y) {
            const float* up = in + (y > 0 ? y - 1 : y) * W;
            const float* mid = in + y * W;
            const float* down = in + (y + 1 < std::size_t(h) ? y + 1 : y) * W;
            for (std::size_t x = 0; x < W; ++x) column[x + 1] = up[x] + mid[x] + down[x];
            column[0] = column[1], column[W + 1] = column[W];
            float* o = out + y * W;
            for (std::size_t x = 0; x < W; ++x) o[x] = k * (column[x] + column[x + 1] + column[x + 2]);
        }
    });
}

namespace {

struct Deviation {
    float level, deviation;  // the 3 x 3 mean around a pixel, and the pixel's distance from it
};

// Deviations on a sparse grid of about 40,000 pixels (robust statistics need no more).
std::vector<Deviation> sampledDeviations(const float* y, int w, int h) {
    std::vector<Deviation> samples;
    const int step = std::max(1, int(std::sqrt(double(w) * h / 40000.0)));
    for (int j = 1; j < h - 1; j += step)
        for (int i = 1; i < w - 1; i += step) {
            float sum = 0;
            for (int dj = -1; dj <= 1; ++dj)
                for (int di = -1; di <= 1; ++di) sum += y[std::size_t(j + dj) * w + std::size_t(i + di)];
            const float mean = sum * (1.0f / 9);
            samples.push_back({mean, std::fabs(y[std::size_t(j) * w + i] - mean)});
        }
    return samples;
}

}  // namespace

float estimateNoise(const float* y, int w, int h) {
    std::vector<float> d;
    for (const Deviation& s : sampledDeviations(y, w, h)) d.push_back(s.deviation);
    if (d.empty()) return 0;
    std::nth_element(d.begin(), d.begin() + d.size() / 2, d.end());
    return d[d.size() / 2] / 0.6745f;
}

float noiseOffset(const float* y, int w, int h) {
    std::vector<Deviation> samples = sampledDeviations(y, w, h);
    constexpr std::size_t kBins = 12;
    if (samples.size() < kBins * 16) return 0;
    std::sort(samples.begin(), samples.end(), [](const Deviation& a, const Deviation& b) { return a.level < b.level; });
    // Least squares of the bins' variance on their level; each bin's noise is its median
    // deviation, which texture and edges in a minority of its samples do not move.
    double sl = 0, sv = 0, sll = 0, slv = 0;
    std::vector<float> d;
    for (std::size_t k = 0; k < kBins; ++k) {
        const std::size_t a = samples.size() * k / kBins, b = samples.size() * (k + 1) / kBins;
        double level = 0;
        d.clear();
        for (std::size_t i = a; i < b; ++i) level += samples[i].level, d.push_back(samples[i].deviation);
        level /= double(b - a);
        std::nth_element(d.begin(), d.begin() + std::ptrdiff_t(d.size() / 2), d.end());
        const double sigma = d[d.size() / 2] / 0.6745;
        const double v = sigma * sigma;
        sl += level, sv += v, sll += level * level, slv += level * v;
    }
    const double n = kBins, det = n * sll - sl * sl;
    if (!(det > 0)) return 0;
    const double alpha = (n * slv - sl * sv) / det, beta = (sv - alpha * sl) / n;
    constexpr double kLargest = 0.25;  // noise that hardly grows with the signal: nearly linear
    if (!(beta > 0)) return 0;
    if (!(alpha > 0)) return float(kLargest);
    return float(std::min(beta / alpha, kLargest));
}

void guidedSmooth(const std::vector<float>& y, int w, int h, int r, float eps, std::vector<float>& out,
                  std::vector<float>& a, std::vector<float>& b, std::vector<float>& scratch) {
    const std::size_t n = y.size();
    resizeInHugePages(out, n);
    resizeInHugePages(a, n);
    resizeInHugePages(b, n);
    eachPixel(n, [&](std::size_t i) { out[i] = y[i] * y[i]; });
    boxBlur(y.data(), a.data(), w, h, r, scratch);    // mean of y
    boxBlur(out.data(), b.data(), w, h, r, scratch);  // mean of y^2
    eachPixel(n, [&](std::size_t i) {
        const float m = a[i];
        const float var = std::max(0.0f, b[i] - m * m);
        const float slope = var / (var + eps);
        a[i] = slope;
        b[i] = m * (1.0f - slope);
    });
    boxBlur(a.data(), out.data(), w, h, r, scratch);  // mean of the slope
    boxBlur(b.data(), a.data(), w, h, r, scratch);    // mean of the offset
    eachPixel(n, [&](std::size_t i) {
        b[i] = out[i];
        out[i] = out[i] * y[i] + a[i];
    });
}

}  // namespace sorvel::image::raw
