#include "PictureQuality.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdio>
#include <functional>
#include <sstream>
#include <vector>

#include "ColourScience.h"

namespace sorvel::bench {

namespace {

constexpr int kGreys[6] = {18, 19, 20, 21, 22, 23};  // white to black
constexpr int kSaturated[8] = {6, 11, 12, 13, 14, 15, 16, 17};

// The picture seen through the truth's pixel grid.
struct Aligned {
    const Planes& p;
    int ox, oy;
    bool inside(int tx, int ty) const {
        const int x = tx - ox, y = ty - oy;
        return x >= 0 && y >= 0 && x < p.width && y < p.height;
    }
    std::array<double, 3> at(int tx, int ty) const {
        const std::size_t i = p.index(tx - ox, ty - oy);
        return {p.r[i], p.g[i], p.b[i]};
    }
};

double luma(const std::array<double, 3>& c) { return 0.2126 * c[0] + 0.7152 * c[1] + 0.0722 * c[2]; }

// The offset (within 8 pixels of centring the picture on the truth) that best lines up the
// star's luminance, after a least-squares gain. Even offsets only: every developer keeps the
// Bayer pattern's phase when it crops, and a shift by one pixel can fit the truth's 2 x 2 quads
// about as well as none.
std::array<int, 2> alignment(const Planes& picture, const Planes& truth, const ChartGeometry& g) {
    const int bx = (truth.width - picture.width) / 2 & ~1, by = (truth.height - picture.height) / 2 & ~1;
    const int r = int(g.starRadius * 0.9);
    double best = INFINITY;
    std::array<int, 2> bestOffset{bx, by};
    for (int oy = by - 8; oy <= by + 8; oy += 2)
        for (int ox = bx - 8; ox <= bx + 8; ox += 2) {
            Aligned a{picture, ox, oy};
            double st = 0, ss = 0, tt = 0;
            for (int y = int(g.starY) - r; y <= int(g.starY) + r; y += 2)
                for (int x = int(g.starX) - r; x <= int(g.starX) + r; x += 2) {
                    if (!a.inside(x, y) || x < 0 || y < 0 || x >= truth.width || y >= truth.height) continue;
                    const std::size_t i = truth.index(x, y);
                    const double s = luma(a.at(x, y)), t = luma({truth.r[i], truth.g[i], truth.b[i]});
                    st += s * t, ss += s * s, tt += t * t;
                }
            if (ss <= 0) continue;
            const double residual = tt - st * st / ss;  // after the best gain st / ss
            if (residual < best) best = residual, bestOffset = {ox, oy};
        }
    return bestOffset;
}

// Mean of a channel-wise picture over the middle half of a patch.
std::array<double, 3> patchMean(const Aligned& a, const PatchRect& r,
                                const std::function<std::array<double, 3>(std::array<double, 3>)>& map) {
    const int qw = (r.x1 - r.x0 + 1) / 4, qh = (r.y1 - r.y0 + 1) / 4;
    std::array<double, 3> sum{};
    int n = 0;
    for (int y = r.y0 + qh; y <= r.y1 - qh; ++y)
        for (int x = r.x0 + qw; x <= r.x1 - qw; ++x) {
            if (!a.inside(x, y)) continue;
            const auto c = map(a.at(x, y));
            for (int k = 0; k < 3; ++k) sum[k] += c[k];
            ++n;
        }
    for (double& s : sum) s /= std::max(1, n);
    return sum;
}

// Per channel, out -> truth through the grey patches: log-log between them, proportional
// below the darkest, the last segment's slope above the brightest.
struct ToneMatch {
    std::array<std::array<double, 6>, 3> out{}, truth{};

    double apply(int c, double v) const {
        const auto& o = out[c];
        const auto& t = truth[c];
        if (v <= o[0]) return o[0] > 0 ? t[0] * v / o[0] : v;
        int k = 0;
        while (k < 4 && v > o[k + 1]) ++k;
        const double lo = std::log(o[k]), hi = std::log(o[k + 1]);
        const double s = hi > lo ? (std::log(v) - lo) / (hi - lo) : 0;
        return std::exp(std::log(t[k]) + s * (std::log(t[k + 1]) - std::log(t[k])));
    }
    std::array<double, 3> operator()(const std::array<double, 3>& c) const {
        return {apply(0, c[0]), apply(1, c[1]), apply(2, c[2])};
    }
};

Lab lab(const std::array<double, 3>& c) { return labFromLinearSrgb(c[0], c[1], c[2]); }

struct Spread {
    double sumL = 0, sumA = 0, sumB = 0, sqL = 0, sqA = 0, sqB = 0;
    int n = 0;
    void add(const Lab& v) {
        sumL += v.L, sumA += v.a, sumB += v.b;
        sqL += v.L * v.L, sqA += v.a * v.a, sqB += v.b * v.b;
        ++n;
    }
    double var(double sum, double sq) const { return n > 1 ? std::max(0.0, sq / n - (sum / n) * (sum / n)) : 0; }
    double luma() const { return std::sqrt(var(sumL, sqL)); }
    double chroma() const { return std::sqrt(var(sumA, sqA) + var(sumB, sqB)); }
};

// Amplitude of the spoke frequency along the circle of radius r (pixels) in a luminance
// picture given by `y(x, y)` at continuous coordinates.
double spokeAmplitude(const std::function<double(double, double)>& y, const ChartGeometry& g, double r) {
    const int n = std::max(720, int(std::ceil(4 * M_PI * r)));
    std::complex<double> sum = 0;
    for (int i = 0; i < n; ++i) {
        const double theta = 2 * M_PI * i / n;
        sum += y(g.starX + r * std::cos(theta), g.starY + r * std::sin(theta)) * std::polar(1.0, -g.starSpokes * theta);
    }
    return 2 * std::abs(sum) / n;
}

// Bilinear sample of a per-pixel function; pixel (i, j) has its centre at (i + 0.5, j + 0.5).
double bilinear(const std::function<double(int, int)>& f, double x, double y) {
    const double fx = x - 0.5, fy = y - 0.5;
    const int x0 = int(std::floor(fx)), y0 = int(std::floor(fy));
    const double wx = fx - x0, wy = fy - y0;
    const double top = f(x0, y0) * (1 - wx) + f(x0 + 1, y0) * wx;
    const double bottom = f(x0, y0 + 1) * (1 - wx) + f(x0 + 1, y0 + 1) * wx;
    return top * (1 - wy) + bottom * wy;
}

}  // namespace

QualityFigures measure(const Planes& picture, const Planes& truth, const ChartGeometry& g) {
    QualityFigures f;
    const auto offset = alignment(picture, truth, g);
    f.offsetX = offset[0], f.offsetY = offset[1];
    const Aligned a{picture, offset[0], offset[1]};
    auto truthAt = [&](int x, int y) {
        const std::size_t i = truth.index(x, y);
        return std::array<double, 3>{truth.r[i], truth.g[i], truth.b[i]};
    };
    auto identity = [](std::array<double, 3> c) { return c; };
    // Halfway between the first two patches' centres lies the board.
    const PatchRect &p0 = g.patches[0], &p1 = g.patches[1];
    const auto boardColour = truthAt((p0.x0 + p0.x1 + p1.x0 + p1.x1) / 4, (p0.y0 + p0.y1 + p1.y0 + p1.y1) / 4);

    // The tone match and the exposure and white-balance gains, from the grey patches.
    ToneMatch tone;
    std::array<std::array<double, 3>, 24> means{};
    for (int i = 0; i < 24; ++i) means[i] = patchMean(a, g.patches[i], identity);
    for (int c = 0; c < 3; ++c) {
        std::vector<std::pair<double, double>> points;
        for (int i : kGreys) points.push_back({means[i][c], g.patches[i].colour[c]});
        std::sort(points.begin(), points.end());
        for (int k = 0; k < 6; ++k) {
            tone.out[c][k] = std::max(1e-6, points[k].first);
            tone.truth[c][k] = points[k].second;
        }
    }
    std::array<double, 3> gain{};
    for (int c = 0; c < 3; ++c) {
        double st = 0, ss = 0;
        for (int i : {19, 20, 21, 22}) {
            const double s = means[i][c], t = g.patches[i].colour[c];
            st += s * t, ss += s * s;
        }
        gain[c] = ss > 0 ? st / ss : 1;
    }

    // Colour.
    for (int i = 0; i < 24; ++i) {
        const auto& m = means[i];
        const Lab truthLab = lab(g.patches[i].colour);
        f.deltaE00Balanced += deltaE2000(truthLab, lab({m[0] * gain[0], m[1] * gain[1], m[2] * gain[2]})) / 24;
        f.deltaE00Toned += deltaE2000(truthLab, lab(tone(m))) / 24;
    }

    // Noise in the patches.
    for (int i = 0; i < 24; ++i) {
        const PatchRect& r = g.patches[i];
        const int qw = (r.x1 - r.x0 + 1) / 4, qh = (r.y1 - r.y0 + 1) / 4;
        Spread s;
        for (int y = r.y0 + qh; y <= r.y1 - qh; ++y)
            for (int x = r.x0 + qw; x <= r.x1 - qw; ++x)
                if (a.inside(x, y)) s.add(lab(tone(a.at(x, y))));
        f.lumaNoise += s.luma() / 24;
        f.chromaNoise += s.chroma() / 24;
    }

    // Noise on the board, away from the patches (the ground the halo is measured on).
    Lab ground;
    {
        int x0 = truth.width, y0 = truth.height, x1 = 0, y1 = 0;
        for (const PatchRect& r : g.patches)
            x0 = std::min(x0, r.x0), y0 = std::min(y0, r.y0), x1 = std::max(x1, r.x1), y1 = std::max(y1, r.y1);
        Spread s;
        for (int y = y0; y <= y1; ++y)
            for (int x = x0; x <= x1; ++x) {
                bool far = true;
                for (const PatchRect& r : g.patches) {
                    const int dx = std::max({r.x0 - x, x - r.x1, 0}), dy = std::max({r.y0 - y, y - r.y1, 0});
                    if (std::max(dx, dy) < 16) {
                        far = false;
                        break;
                    }
                }
                if (!far || !a.inside(x, y)) continue;
                const auto t = truthAt(x, y);
                if (std::fabs(t[1] - boardColour[1]) > 1e-3) continue;
                s.add(lab(tone(a.at(x, y))));
            }
        f.groundLumaNoise = s.luma();
        f.groundChromaNoise = s.chroma();
        ground = {s.sumL / std::max(1, s.n), s.sumA / std::max(1, s.n), s.sumB / std::max(1, s.n)};
    }

    // Halos around the saturated patches.
    for (int d = 1; d <= QualityFigures::kRings; ++d) {
        for (int i : kSaturated) {
            const PatchRect& r = g.patches[i];
            const int mw = (r.x1 - r.x0 + 1) / 10, mh = (r.y1 - r.y0 + 1) / 10;
            double dL = 0, da = 0, db = 0;
            int n = 0;
            auto add = [&](int x, int y) {
                if (!a.inside(x, y)) return;
                const Lab o = lab(tone(a.at(x, y)));
                dL += o.L - ground.L, da += o.a - ground.a, db += o.b - ground.b;
                ++n;
            };
            for (int y = r.y0 + mh; y <= r.y1 - mh; ++y) add(r.x0 - d, y), add(r.x1 + d, y);
            for (int x = r.x0 + mw; x <= r.x1 - mw; ++x) add(x, r.y0 - d), add(x, r.y1 + d);
            const double chroma = std::hypot(da, db) / std::max(1, n), lumaError = std::fabs(dL) / std::max(1, n);
            f.chromaHalo[d] += chroma / 8;
            f.lumaHalo[d] += lumaError / 8;
            f.worstChromaHalo[d] = std::max(f.worstChromaHalo[d], chroma);
            if (d >= 3 && d <= QualityFigures::kHaloRings && chroma > f.worstChromaHaloBeyond2) {
                f.worstChromaHaloBeyond2 = chroma;
                f.worstPatch = i;
            }
        }
        if (d >= 3 && d <= QualityFigures::kHaloRings) {
            f.chromaHaloBeyond2 = std::max(f.chromaHaloBeyond2, f.chromaHalo[d]);
            f.lumaHaloBeyond2 = std::max(f.lumaHaloBeyond2, f.lumaHalo[d]);
        }
    }
    std::vector<double> far(f.chromaHalo.begin() + QualityFigures::kHaloRings + 1, f.chromaHalo.end());
    std::sort(far.begin(), far.end());
    f.haloFloor = 0.5 * (far[far.size() / 2] + far[(far.size() - 1) / 2]);
    for (int d = 1; d <= QualityFigures::kHaloRings; ++d)
        if (f.chromaHalo[d] >= std::max(1.0, 2 * f.haloFloor)) f.haloWidth = d;

    // Width of the low-contrast edges: the patches one to two stops above the board.
    {
        constexpr int kBefore = 6, kAfter = 6;
        std::array<double, kBefore + kAfter> profile{};
        int sides = 0;
        const double boardLuma = luma(boardColour);
        for (const PatchRect& r : g.patches) {
            const double ratio = luma(r.colour) / boardLuma;
            if (ratio < 2 || ratio > 4) continue;
            const int mw = (r.x1 - r.x0 + 1) / 10, mh = (r.y1 - r.y0 + 1) / 10;
            // Each side's profile from outside (t < 0) to inside (t >= 0).
            auto side = [&](auto pixel, int from, int to) {
                std::array<double, kBefore + kAfter> s{};
                for (int t = -kBefore; t < kAfter; ++t) {
                    double sum = 0;
                    int n = 0;
                    for (int k = from; k <= to; ++k) {
                        const auto [x, y] = pixel(t, k);
                        if (!a.inside(x, y)) continue;
                        sum += luma(tone(a.at(x, y)));
                        ++n;
                    }
                    s[t + kBefore] = sum / std::max(1, n);
                }
                constexpr int last = kBefore + kAfter - 1;
                const double outside = (s[0] + s[1] + s[2]) / 3, inside = (s[last - 2] + s[last - 1] + s[last]) / 3;
                if (std::fabs(inside - outside) < 1e-9) return;
                for (int i = 0; i < kBefore + kAfter; ++i) profile[i] += (s[i] - outside) / (inside - outside);
                ++sides;
            };
            using XY = std::pair<int, int>;
            side([&](int t, int k) { return XY{r.x0 + t, k}; }, r.y0 + mh, r.y1 - mh);
            side([&](int t, int k) { return XY{r.x1 - t, k}; }, r.y0 + mh, r.y1 - mh);
            side([&](int t, int k) { return XY{k, r.y0 + t}; }, r.x0 + mw, r.x1 - mw);
            side([&](int t, int k) { return XY{k, r.y1 - t}; }, r.x0 + mw, r.x1 - mw);
        }
        for (double& v : profile) v /= std::max(1, sides);
        // Where the mean profile first crosses a level, between samples.
        auto crossing = [&](double level) {
            for (int i = 1; i < kBefore + kAfter; ++i)
                if (profile[i] >= level)
                    return i - 1 + (level - profile[i - 1]) / (profile[i] - profile[i - 1]);
            return double(kBefore + kAfter);
        };
        f.edgeWidth = crossing(0.9) - crossing(0.1);
    }

    // Sharpness from the star.
    {
        auto pictureLuma = [&](int x, int y) {
            const int cx = std::clamp(x - a.ox, 0, picture.width - 1), cy = std::clamp(y - a.oy, 0, picture.height - 1);
            return luma(tone(a.at(cx + a.ox, cy + a.oy)));
        };
        // Against the star itself, not the truth picture: the truth is sampled on the rig's
        // 2 x 2 quads and so loses contrast towards the centre like any developer does; its
        // own MTF50 is the sensor's limit.
        auto amplitudeAt = [&](double r) {
            return spokeAmplitude([&](double x, double y) { return bilinear(pictureLuma, x, y); }, g, r);
        };
        const double outer = 0.95 * g.starRadius;
        double reference = 0;
        int count = 0;
        for (double r = 0.75 * g.starRadius; r <= outer; r += 2, ++count) reference += amplitudeAt(r);
        reference /= std::max(1, count);
        const double innermost = 12;
        double lastF = g.starSpokes / (2 * M_PI * outer), lastM = 1;
        f.mtf50 = g.starSpokes / (2 * M_PI * innermost);  // not reached: at least this
        for (double r = outer; r >= innermost; r -= 0.5) {
            const double freq = g.starSpokes / (2 * M_PI * r), m = reference > 0 ? amplitudeAt(r) / reference : 0;
            if (m < 0.5) {
                f.mtf50 = lastF + (freq - lastF) * (lastM - 0.5) / (lastM - m);
                break;
            }
            lastF = freq, lastM = m;
        }
    }
    return f;
}

std::string toJson(const QualityFigures& f) {
    std::ostringstream o;
    o.precision(4);
    o << "{\"offset\": [" << f.offsetX << ", " << f.offsetY << "]";
    o << ", \"luma_noise\": " << f.lumaNoise << ", \"chroma_noise\": " << f.chromaNoise;
    o << ", \"ground_luma_noise\": " << f.groundLumaNoise << ", \"ground_chroma_noise\": " << f.groundChromaNoise;
    o << ", \"chroma_halo_beyond_2\": " << f.chromaHaloBeyond2
      << ", \"worst_chroma_halo_beyond_2\": " << f.worstChromaHaloBeyond2 << ", \"worst_patch\": " << f.worstPatch;
    o << ", \"luma_halo_beyond_2\": " << f.lumaHaloBeyond2 << ", \"halo_floor\": " << f.haloFloor
      << ", \"halo_width\": " << f.haloWidth;
    o << ", \"mtf50\": " << f.mtf50 << ", \"edge_width\": " << f.edgeWidth
      << ", \"delta_e00_balanced\": " << f.deltaE00Balanced << ", \"delta_e00_toned\": " << f.deltaE00Toned;
    auto list = [&](const char* name, const std::array<double, QualityFigures::kRings + 1>& v) {
        o << ", \"" << name << "\": [";
        for (int d = 1; d <= QualityFigures::kRings; ++d) o << (d > 1 ? ", " : "") << v[d];
        o << "]";
    };
    list("chroma_halo", f.chromaHalo);
    list("worst_chroma_halo", f.worstChromaHalo);
    list("luma_halo", f.lumaHalo);
    o << "}";
    return o.str();
}

}  // namespace sorvel::bench
