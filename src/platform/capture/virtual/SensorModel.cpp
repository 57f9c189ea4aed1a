#include "platform/capture/virtual/SensorModel.h"

#include <algorithm>
#include <array>
#include <cmath>

#include "platform/capture/WhiteBalanceModel.h"

namespace sorvel {

namespace {

using Matrix = std::array<double, 9>;

Matrix multiply(const Matrix& a, const Matrix& b) {
    Matrix m{};
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c)
            for (int k = 0; k < 3; ++k) m[3 * r + c] += a[3 * r + k] * b[3 * k + c];
    return m;
}

Matrix invert(const Matrix& m) {
    double det = m[0] * (m[4] * m[8] - m[5] * m[7]) - m[1] * (m[3] * m[8] - m[5] * m[6]) +
                 m[2] * (m[3] * m[7] - m[4] * m[6]);
    if (std::abs(det) < 1e-12) return {1, 0, 0, 0, 1, 0, 0, 0, 1};
    double inv = 1.0 / det;
    return {(m[4] * m[8] - m[5] * m[7]) * inv, (m[2] * m[7] - m[1] * m[8]) * inv, (m[1] * m[5] - m[2] * m[4]) * inv,
            (m[5] * m[6] - m[3] * m[8]) * inv, (m[0] * m[8] - m[2] * m[6]) * inv, (m[2] * m[3] - m[0] * m[5]) * inv,
            (m[3] * m[7] - m[4] * m[6]) * inv, (m[1] * m[6] - m[0] * m[7]) * inv, (m[0] * m[4] - m[1] * m[3]) * inv};
}

Matrix crosstalk(const DeviceDescription& d) {
    Matrix m;
    std::copy(std::begin(d.crosstalk), std::end(d.crosstalk), m.begin());
    return m;
}

// Scene linear sRGB to the processed picture's linear sRGB: through the sensor's response, the
// white-balance gains and the inverse crosstalk.
Matrix processingMatrix(const DeviceDescription& d, const WhiteBalanceGains& g) {
    Matrix a = crosstalk(d);
    double wb[3] = {g.redGain * d.channelSensitivity[0], g.greenGain * d.channelSensitivity[1],
                    g.blueGain * d.channelSensitivity[2]};
    // The pipeline's gains are relative to green, as the neutral gains are built.
    Matrix diag{wb[0] / wb[1], 0, 0, 0, 1, 0, 0, 0, wb[2] / wb[1]};
    return multiply(invert(a), multiply(diag, a));
}

// Deterministic Gaussian samples from a table filled once.
struct GaussianTable {
    static constexpr int kSize = 1 << 16;
    std::array<float, kSize> values;
    GaussianTable() {
        std::uint64_t s = 0x9E3779B97F4A7C15ull;
        auto next = [&] {
            s ^= s << 13, s ^= s >> 7, s ^= s << 17;
            return ((s >> 11) + 0.5) / 9007199254740992.0;
        };
        for (int i = 0; i < kSize; i += 2) {
            double u1 = next(), u2 = next(), r = std::sqrt(-2 * std::log(u1));
            values[i] = static_cast<float>(r * std::cos(2 * M_PI * u2));
            values[i + 1] = static_cast<float>(r * std::sin(2 * M_PI * u2));
        }
    }
};
const GaussianTable& gaussian() {
    static const GaussianTable table;
    return table;
}

struct Rng {
    std::uint64_t s;
    explicit Rng(std::uint64_t seed) : s(seed * 0x9E3779B97F4A7C15ull + 0x632BE59BD9B4E019ull) {
        if (!s) s = 1;
    }
    std::uint32_t next() {
        s ^= s << 13, s ^= s >> 7, s ^= s << 17;
        return static_cast<std::uint32_t>(s >> 32);
    }
    float gauss() { return gaussian().values[next() >> 16]; }
};

// Noise standard deviation (fraction of white) for a signal v at an ISO gain.
inline float noiseSigma(float v, float gain) {
    float electrons = std::max(v, 0.0f) * static_cast<float>(SensorModel::kFullWell) / gain;
    float readE = static_cast<float>(SensorModel::kReadNoise);
    return gain / static_cast<float>(SensorModel::kFullWell) * std::sqrt(electrons + readE * readE);
}

struct SrgbTable {
    static constexpr int kSize = 4096;
    std::array<std::uint8_t, kSize + 1> values;
    SrgbTable() {
        for (int i = 0; i <= kSize; ++i) {
            double v = double(i) / kSize;
            double e = v <= 0.0031308 ? 12.92 * v : 1.055 * std::pow(v, 1 / 2.4) - 0.055;
            values[i] = static_cast<std::uint8_t>(std::lround(std::clamp(e, 0.0, 1.0) * 255));
        }
    }
};
const SrgbTable& srgbTable() {
    static const SrgbTable table;
    return table;
}
inline std::uint8_t encode(float v) {
    int i = static_cast<int>(v * SrgbTable::kSize + 0.5f);
    return srgbTable().values[std::clamp(i, 0, SrgbTable::kSize)];
}

// What the sensor sees at a raster position: sharp and defocused radiance mixed by the
// distance from the focus plane, plus torch light.
struct Sampler {
    const SceneRaster& s;
    float inverseFocus;
    float blurPerDioptre;  // raster pixels of blur radius per dioptre of defocus
    float torch;

    void at(int x, int y, float out[3]) const {
        std::size_t i = static_cast<std::size_t>(y) * s.width + x;
        const float* r = &s.radiance[i * 4];
        float blur = blurPerDioptre * std::abs(r[3] - inverseFocus);
        float alpha = std::min(1.0f, blur / SceneRaster::kMaxBlurRadius);
        float t = torch > 0 ? 1.0f + torch * s.torchGain[i] : 1.0f;
        if (alpha < 0.02f) {
            out[0] = r[0] * t, out[1] = r[1] * t, out[2] = r[2] * t;
            return;
        }
        int bx = std::min(x / 2, s.blurredWidth - 1), by = std::min(y / 2, s.blurredHeight - 1);
        const float* b = &s.blurred[(static_cast<std::size_t>(by) * s.blurredWidth + bx) * 3];
        for (int c = 0; c < 3; ++c) out[c] = ((1 - alpha) * r[c] + alpha * b[c]) * t;
    }
};

Sampler makeSampler(const SceneRaster& scene, const DeviceDescription& camera, const ExposureSettings& e) {
    double focus = e.lensPosition / camera.minFocusDistance;
    // Defocus grows with the aperture's diameter (focal length / f-number) and the focal length.
    double perDioptre = 1.2 * camera.focalLength * camera.focalLength / camera.fNumber * (scene.width / 2016.0);
    return {scene, static_cast<float>(focus), static_cast<float>(perDioptre), static_cast<float>(e.torch)};
}

// Raster index of each output column or row, cropped about the centre by the zoom.
std::vector<int> sampleIndices(int outputSize, int rasterSize, double zoom) {
    std::vector<int> idx(outputSize);
    for (int i = 0; i < outputSize; ++i) {
        double n = 0.5 + ((i + 0.5) / outputSize - 0.5) / zoom;
        idx[i] = std::clamp(static_cast<int>(n * rasterSize), 0, rasterSize - 1);
    }
    return idx;
}

}  // namespace

double SensorModel::exposureScale(const DeviceDescription& camera, double duration, double iso) {
    return duration * iso / 100.0 * kSensitivity / (camera.fNumber * camera.fNumber);
}

float SensorModel::lensPositionFor(const DeviceDescription& camera, double inverseDepth) {
    return static_cast<float>(std::clamp(inverseDepth * camera.minFocusDistance, 0.0, 1.0));
}

PixelBuffer SensorModel::renderPreview(const SceneRaster& scene, const DeviceDescription& camera,
                                       const ExposureSettings& e, int width, int height) {
    PreviewOpticsCache cache;
    // A borrowed raster: the cache only lives for this call.
    std::shared_ptr<const SceneRaster> borrowed(&scene, [](const SceneRaster*) {});
    return renderPreview(borrowed, camera, e, cache, width, height);
}

namespace {

void refreshOptics(PreviewOpticsCache& c, const std::shared_ptr<const SceneRaster>& scene,
                   const DeviceDescription& camera, const ExposureSettings& e, int width, int height) {
    if (c.raster == scene.get() && c.zoom == e.zoom && c.lensPosition == e.lensPosition && c.torch == e.torch &&
        c.width == width && c.height == height)
        return;
    c.raster = scene.get();
    c.keepAlive = scene;
    c.zoom = e.zoom, c.lensPosition = e.lensPosition, c.torch = e.torch;
    c.width = width, c.height = height;
    c.rgb.resize(static_cast<std::size_t>(width) * height * 3);
    Sampler sampler = makeSampler(*scene, camera, e);
    auto xs = sampleIndices(width, scene->width, e.zoom), ys = sampleIndices(height, scene->height, e.zoom);
    for (int y = 0; y < height; ++y) {
        float* dst = &c.rgb[static_cast<std::size_t>(y) * width * 3];
        for (int x = 0; x < width; ++x) sampler.at(xs[x], ys[y], dst + 3 * x);
    }
}

// The colour matrix scaled by the exposure, and the noise sigma for 257 signal levels
// (0 to 2 in steps of 1/128), scaled by `noiseFraction`.
struct FrameTransfer {
    std::array<float, 9> matrix;
    std::array<float, 257> sigma;
};

FrameTransfer frameTransfer(const DeviceDescription& camera, const ExposureSettings& e, float noiseFraction) {
    FrameTransfer t;
    Matrix p = processingMatrix(camera, e.gains);
    float scale = static_cast<float>(SensorModel::exposureScale(camera, e.duration, e.iso));
    for (int i = 0; i < 9; ++i) t.matrix[i] = static_cast<float>(p[i]) * scale;
    float gain = static_cast<float>(e.iso / 100.0);
    for (int i = 0; i <= 256; ++i) t.sigma[i] = noiseFraction * noiseSigma(i / 128.0f, gain);
    return t;
}

}  // namespace

PixelBuffer SensorModel::renderPreview(const std::shared_ptr<const SceneRaster>& scene,
                                       const DeviceDescription& camera, const ExposureSettings& e,
                                       PreviewOpticsCache& cache, int width, int height) {
    refreshOptics(cache, scene, camera, e, width, height);
    PixelBuffer out;
    out.width = width, out.height = height, out.bytesPerRow = width * 4;
    out.bgra.resize(static_cast<std::size_t>(out.bytesPerRow) * height);
    // Noise depends on the signal only through a small table per frame.
    const FrameTransfer transfer = frameTransfer(camera, e, 1.0f);
    const float* m = transfer.matrix.data();
    const auto& sigma = transfer.sigma;
    const float* g = gaussian().values.data();
    const std::uint8_t* srgb = srgbTable().values.data();
    auto encodeFast = [srgb](float v) {
        int i = static_cast<int>(v * SrgbTable::kSize + 0.5f);
        return srgb[i < 0 ? 0 : i > SrgbTable::kSize ? SrgbTable::kSize : i];
    };
    for (int y = 0; y < height; ++y) {
        // One random draw per row picks where in the Gaussian table the row's noise starts;
        // within the row the table is read in order (it is itself random).
        Rng rng(e.seed * 7919 + y);
        std::uint32_t offset = rng.next();
        std::uint8_t* row = out.bgra.data() + static_cast<std::size_t>(y) * out.bytesPerRow;
        const float* src = &cache.rgb[static_cast<std::size_t>(y) * width * 3];
        for (int x = 0; x < width; ++x) {
            const float* r = src + 3 * x;
            float v0 = m[0] * r[0] + m[1] * r[1] + m[2] * r[2];
            float v1 = m[3] * r[0] + m[4] * r[1] + m[5] * r[2];
            float v2 = m[6] * r[0] + m[7] * r[1] + m[8] * r[2];
            float luma = 0.2126f * v0 + 0.7152f * v1 + 0.0722f * v2;
            float n = sigma[static_cast<int>(std::clamp(luma, 0.0f, 2.0f) * 128)];
            std::uint32_t k = offset + 3u * static_cast<std::uint32_t>(x);
            row[4 * x + 0] = encodeFast(v2 + n * g[k & 0xffff]);
            row[4 * x + 1] = encodeFast(v1 + n * g[(k + 1) & 0xffff]);
            row[4 * x + 2] = encodeFast(v0 + n * g[(k + 2) & 0xffff]);
            row[4 * x + 3] = 255;
        }
    }
    return out;
}

BayerImage SensorModel::renderBayer(const SceneRaster& scene, const DeviceDescription& camera,
                                    const ExposureSettings& e, bool noise) {
    BayerImage out;
    out.width = scene.width * 2, out.height = scene.height * 2;
    out.samples.resize(static_cast<std::size_t>(out.width) * out.height);
    float scale = static_cast<float>(exposureScale(camera, e.duration, e.iso));
    float resp[9];
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c)
            resp[3 * r + c] = static_cast<float>(camera.channelSensitivity[r] * camera.crosstalk[3 * r + c]) * scale;
    float gain = static_cast<float>(e.iso / 100.0);
    const float range = static_cast<float>(kWhiteLevel - kBlackLevel);
    Sampler sampler = makeSampler(scene, camera, e);
    auto xs = sampleIndices(scene.width, scene.width, e.zoom), ys = sampleIndices(scene.height, scene.height, e.zoom);
    auto dn = [&](float v, Rng& rng) {
        float noisy = noise ? v + noiseSigma(v, gain) * rng.gauss() : v;
        int d = static_cast<int>(std::lround(kBlackLevel + noisy * range));
        return static_cast<std::uint16_t>(std::clamp(d, 0, kWhiteLevel));
    };
    for (int qy = 0; qy < scene.height; ++qy) {
        Rng rng(e.seed * 104729 + qy);
        std::uint16_t* top = &out.samples[static_cast<std::size_t>(2 * qy) * out.width];
        std::uint16_t* bottom = top + out.width;
        for (int qx = 0; qx < scene.width; ++qx) {
            float r[3];
            sampler.at(xs[qx], ys[qy], r);
            float cr = resp[0] * r[0] + resp[1] * r[1] + resp[2] * r[2];
            float cg = resp[3] * r[0] + resp[4] * r[1] + resp[5] * r[2];
            float cb = resp[6] * r[0] + resp[7] * r[1] + resp[8] * r[2];
            top[2 * qx] = dn(cr, rng);
            top[2 * qx + 1] = dn(cg, rng);
            bottom[2 * qx] = dn(cg, rng);
            bottom[2 * qx + 1] = dn(cb, rng);
        }
    }
    return out;
}

RgbImage SensorModel::renderProcessed(const SceneRaster& scene, const DeviceDescription& camera,
                                      const ExposureSettings& e) {
    RgbImage out;
    out.width = scene.width * 2, out.height = scene.height * 2;
    out.rgba.resize(static_cast<std::size_t>(out.width) * out.height * 4);
    // A processed photo is denoised: a quarter of the sensor's noise is left.
    const FrameTransfer transfer = frameTransfer(camera, e, 0.25f);
    const float* m = transfer.matrix.data();
    const auto& sigma = transfer.sigma;
    Sampler sampler = makeSampler(scene, camera, e);
    auto xs = sampleIndices(scene.width, scene.width, e.zoom), ys = sampleIndices(scene.height, scene.height, e.zoom);
    std::vector<float> rowA(static_cast<std::size_t>(scene.width) * 3), rowB(rowA.size());
    auto fill = [&](std::vector<float>& row, int qy) {
        for (int qx = 0; qx < scene.width; ++qx) {
            float r[3];
            sampler.at(xs[qx], ys[std::clamp(qy, 0, scene.height - 1)], r);
            row[3 * qx] = m[0] * r[0] + m[1] * r[1] + m[2] * r[2];
            row[3 * qx + 1] = m[3] * r[0] + m[4] * r[1] + m[5] * r[2];
            row[3 * qx + 2] = m[6] * r[0] + m[7] * r[1] + m[8] * r[2];
        }
    };
    // Twice the raster size: each output pixel interpolates the raster pixels around it.
    for (int y = 0; y < out.height; ++y) {
        int qy = (y - 1) / 2;
        if (y == 0) qy = -1;
        fill(rowA, qy);
        fill(rowB, qy + 1);
        float wy = (y % 2 == 1) ? 0.25f : 0.75f;  // weight of the lower row
        Rng rng(e.seed * 15485863 + y);
        std::uint8_t* dst = &out.rgba[static_cast<std::size_t>(y) * out.width * 4];
        for (int x = 0; x < out.width; ++x) {
            int qx0 = std::clamp((x - 1) / 2, 0, scene.width - 1), qx1 = std::min(qx0 + 1, scene.width - 1);
            if (x == 0) qx1 = 0;
            float wx = (x % 2 == 1) ? 0.25f : 0.75f;
            float v[3];
            for (int c = 0; c < 3; ++c) {
                float a = rowA[3 * qx0 + c] * (1 - wx) + rowA[3 * qx1 + c] * wx;
                float b = rowB[3 * qx0 + c] * (1 - wx) + rowB[3 * qx1 + c] * wx;
                v[c] = a * (1 - wy) + b * wy;
            }
            float luma = std::clamp(0.2126f * v[0] + 0.7152f * v[1] + 0.0722f * v[2], 0.0f, 2.0f);
            float n = sigma[static_cast<int>(luma * 128)];
            for (int c = 0; c < 3; ++c) dst[4 * x + c] = encode(v[c] + n * rng.gauss());
            dst[4 * x + 3] = 255;
        }
    }
    return out;
}

Metering SensorModel::meter(const SceneRaster& scene, const DeviceDescription& camera, double zoom,
                            CapturePoint exposurePoint, CapturePoint focusPoint) {
    (void)camera;
    Metering m;
    double sumLog = 0, sumWeight = 0;
    const int gx = 64, gy = 48;
    for (int j = 0; j < gy; ++j)
        for (int i = 0; i < gx; ++i) {
            double nx = (i + 0.5) / gx, ny = (j + 0.5) / gy;
            int x = std::clamp(static_cast<int>((0.5 + (nx - 0.5) / zoom) * scene.width), 0, scene.width - 1);
            int y = std::clamp(static_cast<int>((0.5 + (ny - 0.5) / zoom) * scene.height), 0, scene.height - 1);
            const float* r = &scene.radiance[(static_cast<std::size_t>(y) * scene.width + x) * 4];
            double luma = 0.2126 * r[0] + 0.7152 * r[1] + 0.0722 * r[2];
            double d2 = (nx - exposurePoint.x) * (nx - exposurePoint.x) + (ny - exposurePoint.y) * (ny - exposurePoint.y);
            double w = 1 + 3 * std::exp(-d2 / 0.02);
            sumLog += w * std::log(std::clamp(luma, 1e-4, 8.0));
            sumWeight += w;
        }
    m.meanLuminance = std::exp(sumLog / sumWeight);
    int fx = std::clamp(static_cast<int>((0.5 + (focusPoint.x - 0.5) / zoom) * scene.width), 0, scene.width - 1);
    int fy = std::clamp(static_cast<int>((0.5 + (focusPoint.y - 0.5) / zoom) * scene.height), 0, scene.height - 1);
    m.inverseDepthAtFocusPoint = scene.radiance[(static_cast<std::size_t>(fy) * scene.width + fx) * 4 + 3];
    return m;
}

void SensorModel::runAutomaticControls(DeviceControlState& s, const DeviceDescription& camera, const Metering& m) {
    bool exposureAuto = s.exposureMode == ExposureMode::ContinuousAutoExposure ||
                        (s.exposureMode == ExposureMode::AutoExpose && s.exposureScanPending);
    if (exposureAuto) {
        double target = 0.18 * std::pow(2.0, s.targetBias);
        double wanted = target / (m.meanLuminance * exposureScale(camera, 1.0, 100.0));  // duration x ISO/100
        double current = s.exposureDuration * s.iso / 100.0;
        double next = std::exp(std::log(current) + 0.4 * (std::log(wanted) - std::log(current)));
        // Keep the frame rate: up to 1/30 s at the lowest ISO, then raise the ISO, then the time.
        double duration = std::clamp(next * 100.0 / camera.minISO, camera.minExposureDuration,
                                     std::min(1.0 / 30, camera.maxExposureDuration));
        double iso = std::clamp(next * 100.0 / duration, camera.minISO, camera.maxISO);
        duration = std::clamp(next * 100.0 / iso, camera.minExposureDuration, camera.maxExposureDuration);
        s.exposureDuration = duration, s.iso = iso;
        if (std::abs(std::log(wanted / next)) < 0.02) s.exposureScanPending = false;
    }
    bool focusAuto = s.focusMode == FocusMode::ContinuousAutoFocus ||
                     (s.focusMode == FocusMode::AutoFocus && s.focusScanPending);
    if (focusAuto) {
        float target = lensPositionFor(camera, m.inverseDepthAtFocusPoint);
        s.lensPosition += 0.5f * (target - s.lensPosition);
        if (std::abs(target - s.lensPosition) < 0.002f) {
            s.lensPosition = target;
            s.focusScanPending = false;
        }
    }
    if (s.whiteBalanceMode != WhiteBalanceMode::Locked) {
        // The scene is lit by daylight (and a daylight-balanced torch and flash).
        WhiteBalanceGains target = neutralGains(camera, daylightTemperature());
        s.gains.redGain += 0.5f * (target.redGain - s.gains.redGain);
        s.gains.greenGain += 0.5f * (target.greenGain - s.gains.greenGain);
        s.gains.blueGain += 0.5f * (target.blueGain - s.gains.blueGain);
    }
}

}  // namespace sorvel
