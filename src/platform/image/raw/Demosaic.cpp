#include "platform/image/raw/Demosaic.h"

#include <algorithm>
#include <vector>

#include "platform/image/HugePages.h"
#include "platform/image/raw/Parallel.h"

namespace sorvel::image::raw {

namespace {

// Mirror index into 0..n-1 about the edge samples; keeps the parity of i, and so the colour of
// the mosaic position, for n >= 3.
int mirror(int i, int n) {
    if (i < 0) i = -i;
    if (i >= n) i = 2 * (n - 1) - i;
    return std::clamp(i, 0, n - 1);
}

// Where each source pixel lands in the oriented output: index(y, x) = start(y) + x * step.
struct Placement {
    int outWidth = 0, outHeight = 0;
    int flip = 0, width = 0, height = 0;

    Placement(int w, int h, int f) : flip(f), width(w), height(h) {
        outWidth = (f & 4) ? h : w;
        outHeight = (f & 4) ? w : h;
    }
    std::ptrdiff_t start(int y) const {
        const int r0 = (flip & 2) ? height - 1 - y : y;
        const int c0 = (flip & 1) ? width - 1 : 0;
        return (flip & 4) ? std::ptrdiff_t(c0) * outWidth + r0 : std::ptrdiff_t(r0) * outWidth + c0;
    }
    std::ptrdiff_t step() const {
        const std::ptrdiff_t s = (flip & 1) ? -1 : 1;
        return (flip & 4) ? s * outWidth : s;
    }
};

struct Matrix {
    float m[3][3];
    explicit Matrix(const BayerMosaic& mosaic) {
        for (int i = 0; i < 3; ++i)
            for (int j = 0; j < 3; ++j) m[i][j] = mosaic.cameraToSrgb[std::size_t(i)][std::size_t(j)];
    }
    void store(float r, float g, float b, PlanarPicture& out, std::ptrdiff_t i) const {
        out.r[std::size_t(i)] = std::clamp(m[0][0] * r + m[0][1] * g + m[0][2] * b, 0.0f, 1.0f);
        out.g[std::size_t(i)] = std::clamp(m[1][0] * r + m[1][1] * g + m[1][2] * b, 0.0f, 1.0f);
        out.b[std::size_t(i)] = std::clamp(m[2][0] * r + m[2][1] * g + m[2][2] * b, 0.0f, 1.0f);
    }
};

float clip01(float v) { return std::clamp(v, 0.0f, 1.0f); }

}  // namespace

PlanarPicture demosaic(const BayerMosaic& mosaic) {
    const int W = mosaic.width, H = mosaic.height;
    // The normalised mosaic with two mirrored samples around it, so the 5 x 5 filter never
    // tests for an edge.
    const int S = W + 4;
    std::vector<float> plane;
    resizeInHugePages(plane, std::size_t(S) * std::size_t(H + 4));
    parallelRanges(std::size_t(H + 4), [&](std::size_t p0, std::size_t p1) {
        for (std::size_t py = p0; py < p1; ++py) {
            const int y = mirror(int(py) - 2, H);
            const std::uint16_t* src = mosaic.samples + std::size_t(y + mosaic.top) * mosaic.pitch + mosaic.left;
            float* dst = plane.data() + py * std::size_t(S);
            const float b0 = mosaic.black[y & 1][0], b1 = mosaic.black[y & 1][1];
            const float s0 = mosaic.scale[y & 1][0], s1 = mosaic.scale[y & 1][1];
            for (int x = 0; x < W; ++x) {
                const float v = float(src[x]);
                dst[x + 2] = (x & 1) ? clip01((v - b1) * s1) : clip01((v - b0) * s0);
            }
            for (int px : {0, 1, W + 2, W + 3}) dst[px] = dst[mirror(px - 2, W) + 2];
        }
    });

    const Placement place(W, H, mosaic.flip);
    PlanarPicture out = PlanarPicture::sized(place.outWidth, place.outHeight);
    const Matrix matrix(mosaic);
    const std::ptrdiff_t step = place.step();
    // Bands of rows, walked column by column: a transposed output (a portrait capture) then
    // gets runs of kBand neighbouring values per column instead of one value per cache line.
    constexpr int kBand = 16;
    parallelRanges(std::size_t((H + kBand - 1) / kBand), [&](std::size_t b0, std::size_t b1) {
        for (std::size_t band = b0; band < b1; ++band) {
            const int top = int(band) * kBand, bottom = std::min(H, top + kBand);
            std::ptrdiff_t starts[kBand];
            for (int y = top; y < bottom; ++y) starts[y - top] = place.start(y);
            for (int x = 0; x < W; ++x) {
                for (int y = top; y < bottom; ++y) {
                    const float* p = plane.data() + std::size_t(y + 2) * S + 2 + x;
                    const float C = p[0];
                    const float N = p[-S], So = p[S], Wv = p[-1], E = p[1];
                    const float NN = p[-2 * S], SS = p[2 * S], WW = p[-2], EE = p[2];
                    const float diag = p[-S - 1] + p[-S + 1] + p[S - 1] + p[S + 1];
                    const int c = mosaic.colour[y & 1][x & 1];
                    float rgb[3];
                    if (c == 1) {
                        // Green: the other two from the row and the column, whichever holds which.
                        const float along = (5 * C + 4 * (Wv + E) - (WW + EE) + 0.5f * (NN + SS) - diag) * 0.125f;
                        const float across = (5 * C + 4 * (N + So) - (NN + SS) + 0.5f * (WW + EE) - diag) * 0.125f;
                        const int rowColour = mosaic.colour[y & 1][(x + 1) & 1];
                        // The gradient correction overshoots at a sharp edge: each estimate
                        // stays between the nearest samples of its colour.
                        rgb[1] = C;
                        rgb[rowColour] = std::clamp(along, std::min(Wv, E), std::max(Wv, E));
                        rgb[2 - rowColour] = std::clamp(across, std::min(N, So), std::max(N, So));
                    } else {
                        rgb[c] = C;
                        const float g = (4 * C + 2 * (N + So + Wv + E) - (NN + SS + WW + EE)) * 0.125f;
                        rgb[1] = std::clamp(g, std::min({N, So, Wv, E}), std::max({N, So, Wv, E}));
                        const float nw = p[-S - 1], ne = p[-S + 1], sw = p[S - 1], se = p[S + 1];
                        const float o = (6 * C + 2 * diag - 1.5f * (NN + SS + WW + EE)) * 0.125f;
                        rgb[2 - c] = std::clamp(o, std::min({nw, ne, sw, se}), std::max({nw, ne, sw, se}));
                    }
                    matrix.store(rgb[0], rgb[1], rgb[2], out, starts[y - top] + std::ptrdiff_t(x) * step);
                }
            }
        }
    });
    return out;
}

PlanarPicture binHalf(const BayerMosaic& mosaic) {
    const int W = mosaic.width / 2, H = mosaic.height / 2;
    const Placement place(W, H, mosaic.flip);
    PlanarPicture out = PlanarPicture::sized(place.outWidth, place.outHeight);
    const Matrix matrix(mosaic);
    const std::ptrdiff_t step = place.step();
    parallelRanges(std::size_t(H), [&](std::size_t y0, std::size_t y1) {
        for (std::size_t by = y0; by < y1; ++by) {
            const std::uint16_t* rows[2] = {
                mosaic.samples + std::size_t(2 * by + mosaic.top) * mosaic.pitch + mosaic.left,
                mosaic.samples + std::size_t(2 * by + 1 + mosaic.top) * mosaic.pitch + mosaic.left};
            std::ptrdiff_t o = place.start(int(by));
            for (int bx = 0; bx < W; ++bx, o += step) {
                float sum[3] = {0, 0, 0};
                float count[3] = {0, 0, 0};
                for (int i = 0; i < 2; ++i)
                    for (int j = 0; j < 2; ++j) {
                        const int c = mosaic.colour[i][j];
                        sum[c] += clip01((float(rows[i][2 * bx + j]) - mosaic.black[i][j]) * mosaic.scale[i][j]);
                        count[c] += 1;
                    }
                matrix.store(sum[0] / count[0], sum[1] / count[1], sum[2] / count[2], out, o);
            }
        }
    });
    return out;
}

}  // namespace sorvel::image::raw
