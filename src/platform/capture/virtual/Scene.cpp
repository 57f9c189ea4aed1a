#include "platform/capture/virtual/Scene.h"

#include <algorithm>
#include <cmath>

namespace sorvel {

namespace {

double srgbToLinear(double v) {
    v /= 255.0;
    return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
}

// Value noise in 0..1, smooth over `scale` scene units; used for foliage and walls.
double hashNoise(int x, int y) {
    std::uint32_t h = static_cast<std::uint32_t>(x) * 374761393u + static_cast<std::uint32_t>(y) * 668265263u;
    h = (h ^ (h >> 13)) * 1274126177u;
    return ((h ^ (h >> 16)) & 0xffff) / 65535.0;
}

double valueNoise(double x, double y, double scale) {
    x /= scale, y /= scale;
    int ix = static_cast<int>(std::floor(x)), iy = static_cast<int>(std::floor(y));
    double fx = x - ix, fy = y - iy;
    fx = fx * fx * (3 - 2 * fx), fy = fy * fy * (3 - 2 * fy);
    double a = hashNoise(ix, iy), b = hashNoise(ix + 1, iy), c = hashNoise(ix, iy + 1), d = hashNoise(ix + 1, iy + 1);
    return (a * (1 - fx) + b * fx) * (1 - fy) + (c * (1 - fx) + d * fx) * fy;
}

struct Person {
    double centreX, feetY, height, depth;
    std::array<double, 3> shirt, trousers;
};

const Person kPeople[2] = {
    {0.56, -1.05, 1.1, 2.0, {0.45, 0.07, 0.06}, {0.05, 0.05, 0.07}},
    {-0.60, -0.98, 1.0, 2.4, {0.07, 0.13, 0.40}, {0.20, 0.17, 0.12}},
};
const std::array<double, 3> kSkin{0.42, 0.28, 0.20};
const std::array<double, 3> kHair{0.03, 0.025, 0.02};

// Which part of a person covers (x, y): 0 none, 1 skin, 2 hair, 3 shirt, 4 trousers.
int personPart(const Person& p, double x, double y) {
    double h = p.height, dx = x - p.centreX, t = (y - p.feetY) / h;  // t: 0 at the feet, 1 at the top
    if (t < 0 || t > 1 || std::abs(dx) > 0.2 * h) return 0;
    // Head: an ellipse whose top is the top of the person, hair on its upper half.
    double hx = dx / (0.075 * h), hy = (t - 0.915) / 0.085;
    if (hx * hx + hy * hy <= 1) return hy > 0.25 ? 2 : 1;
    if (t > 0.80 && t <= 0.84 && std::abs(dx) < 0.03 * h) return 1;  // neck
    if (t > 0.45 && t <= 0.82) {
        // Torso widening to the shoulders, arms hanging at the sides.
        double half = 0.13 * h + (t > 0.76 ? -(t - 0.76) * 1.2 * h : 0);
        if (std::abs(dx) < half) return 3;
        if (std::abs(dx) < half + 0.035 * h && t > 0.50) return t < 0.55 ? 1 : 3;
        return 0;
    }
    if (t <= 0.45) {
        double legGap = t > 0.40 ? 0 : 0.012 * h;
        if (std::abs(dx) > legGap && std::abs(dx) < 0.1 * h) return 4;
    }
    return 0;
}

constexpr double kChartLeft = -0.20, kChartTop = -0.30;
constexpr double kStarX = -0.33, kStarY = -0.82;

}  // namespace

const std::array<std::array<double, 3>, 24>& Scene::chartReflectances() {
    static const std::array<std::array<double, 3>, 24> values = [] {
        // The standard chart's patches as 8-bit sRGB under D65.
        const int srgb[24][3] = {{115, 82, 68},   {194, 150, 130}, {98, 122, 157},  {87, 108, 67},   {133, 128, 177},
                                 {103, 189, 170}, {214, 126, 44},  {80, 91, 166},   {193, 90, 99},   {94, 60, 108},
                                 {157, 188, 64},  {224, 163, 46},  {56, 61, 150},   {70, 148, 73},   {175, 54, 60},
                                 {231, 199, 31},  {187, 86, 149},  {8, 133, 161},   {243, 243, 242}, {200, 200, 200},
                                 {160, 160, 160}, {122, 122, 121}, {85, 85, 85},    {52, 52, 52}};
        std::array<std::array<double, 3>, 24> out{};
        for (int i = 0; i < 24; ++i)
            for (int c = 0; c < 3; ++c) out[i][c] = srgbToLinear(srgb[i][c]);
        return out;
    }();
    return values;
}

std::array<double, 2> Scene::chartPatchCentre(int index) {
    int col = index % 6, row = index / 6;
    double pitch = kChartPatchSize * 1.25;
    return {kChartLeft + pitch * (col + 0.5), kChartTop - pitch * (row + 0.5)};
}

std::array<double, 2> Scene::starCentre() { return {kStarX, kStarY}; }

Scene::Sample Scene::evaluate(double x, double y) const {
    // People stand nearest; test them first.
    for (int i = 0; i < 2; ++i) {
        int part = personPart(kPeople[i], x, y);
        if (!part) continue;
        const auto& c = part == 1 ? kSkin : part == 2 ? kHair : part == 3 ? kPeople[i].shirt : kPeople[i].trousers;
        double shade = 0.85 + 0.15 * valueNoise(x, y, 0.01);
        return {float(c[0] * shade), float(c[1] * shade), float(c[2] * shade), 1.0f, float(kPeople[i].depth),
                std::uint8_t(i + 1)};
    }
    // Colour chart on a black board.
    double pitch = kChartPatchSize * 1.25;
    if (x >= kChartLeft - 0.02 && x <= kChartLeft + 6 * pitch + 0.02 && y <= kChartTop + 0.02 &&
        y >= kChartTop - 4 * pitch - 0.02) {
        int col = static_cast<int>(std::floor((x - kChartLeft) / pitch));
        int row = static_cast<int>(std::floor((kChartTop - y) / pitch));
        if (col >= 0 && col < 6 && row >= 0 && row < 4) {
            auto centre = chartPatchCentre(row * 6 + col);
            if (std::abs(x - centre[0]) <= kChartPatchSize / 2 && std::abs(y - centre[1]) <= kChartPatchSize / 2) {
                const auto& r = chartReflectances()[row * 6 + col];
                return {float(r[0]), float(r[1]), float(r[2]), 1.0f, float(kChartDepth), 0};
            }
        }
        return {0.03f, 0.03f, 0.03f, 1.0f, float(kChartDepth), 0};
    }
    // Resolution star: 36 spoke pairs on a white card.
    double sx = x - kStarX, sy = y - kStarY;
    if (std::abs(sx) <= kStarRadius * 1.15 && std::abs(sy) <= kStarRadius * 1.15) {
        double r = std::hypot(sx, sy);
        float v = 0.85f;
        if (r < kStarRadius && r > 0.004) {
            double a = std::atan2(sy, sx);
            v = std::sin(a * kStarSpokes) >= 0 ? 0.85f : 0.04f;
        }
        return {v, v, v, 1.0f, float(kChartDepth), 0};
    }
    // Ground below the horizon: bushes at the left, pavement elsewhere, nearer further down.
    const double horizon = -0.30;
    if (y < horizon) {
        double depth = 1.6 / (horizon - y + 0.04);
        double n = valueNoise(x * 3, y * 3, 0.02);
        if (x < -0.9 + 0.15 * std::sin(y * 9) && y > -1.6) {
            double g = 0.05 + 0.12 * n;
            return {float(g * 0.45), float(g), float(g * 0.3), 1.0f, float(depth), 0};
        }
        double p = 0.20 + 0.06 * n;
        return {float(p), float(p * 0.97), float(p * 0.92), 1.0f, float(depth), 0};
    }
    // Tree: trunk and canopy at 12 m.
    double cx = (x + 1.05) / 0.42, cy = (y - 0.55) / 0.38;
    if (cx * cx + cy * cy <= 1 + 0.25 * (valueNoise(x, y, 0.05) - 0.5)) {
        double n = valueNoise(x, y, 0.012), light = n > 0.75 ? 1.0 : 0.35;
        double g = 0.05 + 0.2 * n;
        return {float(g * 0.5), float(g), float(g * 0.25), float(light), 12.0f, 0};
    }
    if (std::abs(x + 1.05) < 0.05 && y < 0.3) return {0.08f, 0.05f, 0.03f, 0.5f, 12.0f, 0};
    // Buildings along the horizon, their tops stepping; a doorway in deep shadow.
    static const double tops[] = {0.55, 0.95, 0.70, 1.25, 0.85, 0.45, 1.05, 0.65};
    double bx = (x + 1.6) / 0.4;
    int b = static_cast<int>(std::floor(bx));
    if (b >= 0 && b < 8 && y < tops[b]) {
        double local = bx - b;
        if (x > -0.32 && x < -0.14 && y < horizon + 0.28) {
            double n = 0.35 + 0.25 * valueNoise(x, y, 0.01);
            return {float(n), float(n * 0.9), float(n * 0.8), 0.012f, 45.0f, 0};
        }
        bool window = std::fmod(local * 6, 1.0) > 0.35 && std::fmod((y + 2) * 14, 1.0) > 0.4 && y > horizon + 0.05;
        double base = 0.25 + 0.25 * hashNoise(b, 7);
        std::array<double, 3> c = window ? std::array<double, 3>{0.05, 0.07, 0.10}
                                         : std::array<double, 3>{base * 1.05, base * 0.95, base * 0.82};
        double light = (local < 0.3) ? 0.45 : 1.0;  // the side faces are in the shade
        return {float(c[0]), float(c[1]), float(c[2]), float(light), 60.0f, 0};
    }
    // Sky: brighter towards the horizon, the sun at the upper right.
    double sunX = 0.42, sunY = 0.82, d = std::hypot(x - sunX, y - sunY);
    if (d < 0.045) return {400.0f, 380.0f, 340.0f, 0.0f, 0.0f, 0};
    double glow = 4.0 * std::exp(-d / 0.12);
    double t = std::clamp((y - horizon) / 2.0, 0.0, 1.0);
    return {float(1.05 - 0.6 * t + glow), float(1.15 - 0.45 * t + glow * 0.95), float(1.35 - 0.15 * t + glow * 0.85),
            0.0f, 0.0f, 0};
}

Scene::Sample Scene::evaluatePicture(double x, double y) const {
    // The picture fills the wide camera's view; outside it repeats its edge.
    double u = std::clamp((x + 0.75) / 1.5, 0.0, 1.0), v = std::clamp((1.0 - y) / 2.0, 0.0, 1.0);
    int px = std::min(static_cast<int>(u * pictureWidth_), pictureWidth_ - 1);
    int py = std::min(static_cast<int>(v * pictureHeight_), pictureHeight_ - 1);
    const float* p = &picture_[(static_cast<std::size_t>(py) * pictureWidth_ + px) * 3];
    return {p[0], p[1], p[2], 1.0f, 3.0f, 0};
}

std::shared_ptr<const Scene> Scene::builtIn() {
    static const std::shared_ptr<const Scene> scene = std::make_shared<Scene>();
    return scene;
}

std::shared_ptr<const Scene> Scene::fromPicture(int width, int height, std::vector<float> linearRgb) {
    if (width <= 0 || height <= 0 || width > 65536 || height > 65536 ||
        linearRgb.size() != static_cast<std::size_t>(width) * height * 3)
        return nullptr;
    auto scene = std::make_shared<Scene>();
    scene->pictureWidth_ = width;
    scene->pictureHeight_ = height;
    scene->picture_ = std::move(linearRgb);
    return scene;
}

std::array<double, 2> Scene::scenePointFor(const DeviceDescription& camera, double zoom, double sensorX,
                                           double sensorY) {
    // The sensor picture turned upright for a phone held in portrait: u right, v down.
    double u = 1.0 - sensorY, v = sensorX;
    u = 0.5 + (u - 0.5) / zoom, v = 0.5 + (v - 0.5) / zoom;
    return {camera.centreX + (u - 0.5) * 1.5 * camera.fieldScale, camera.centreY + (0.5 - v) * 2.0 * camera.fieldScale};
}

std::array<double, 2> Scene::sensorPointFor(const DeviceDescription& camera, double zoom, double sceneX,
                                            double sceneY) {
    double u = (sceneX - camera.centreX) / (1.5 * camera.fieldScale) + 0.5;
    double v = 0.5 - (sceneY - camera.centreY) / (2.0 * camera.fieldScale);
    u = 0.5 + (u - 0.5) * zoom, v = 0.5 + (v - 0.5) * zoom;
    return {v, 1.0 - u};
}

std::shared_ptr<const SceneRaster> Scene::rasterFor(const DeviceDescription& camera) const {
    // A raster depends on the camera's size and view, not only on which camera it is: a rig
    // configured again may give the same camera another sensor.
    const std::string key = camera.uniqueID + "|" + std::to_string(camera.sensor.width) + "x" +
                            std::to_string(camera.sensor.height) + "|" + std::to_string(camera.fieldScale) + "|" +
                            std::to_string(camera.centreX) + "|" + std::to_string(camera.centreY);
    {
        std::lock_guard lock(cacheMutex_);
        for (auto& [id, raster] : cache_)
            if (id == key) return raster;
    }
    auto r = std::make_shared<SceneRaster>();
    r->width = camera.sensor.width / 2;
    r->height = camera.sensor.height / 2;
    std::size_t n = static_cast<std::size_t>(r->width) * r->height;
    r->radiance.resize(n * 4);
    r->torchGain.resize(n);
    r->person.resize(n);
    for (int y = 0; y < r->height; ++y) {
        for (int x = 0; x < r->width; ++x) {
            auto p = scenePointFor(camera, 1.0, (x + 0.5) / r->width, (y + 0.5) / r->height);
            Sample s = isBuiltIn() ? evaluate(p[0], p[1]) : evaluatePicture(p[0], p[1]);
            std::size_t i = static_cast<std::size_t>(y) * r->width + x;
            r->radiance[i * 4] = s.r * (s.light > 0 ? s.light : 1.0f);
            r->radiance[i * 4 + 1] = s.g * (s.light > 0 ? s.light : 1.0f);
            r->radiance[i * 4 + 2] = s.b * (s.light > 0 ? s.light : 1.0f);
            r->radiance[i * 4 + 3] = s.depth > 0 ? 1.0f / s.depth : 0.0f;
            // Radiance times this is albedo / distance^2, the light a torch of strength 1 adds.
            r->torchGain[i] = s.light > 0 && s.depth > 0 ? 1.0f / (s.light * s.depth * s.depth) : 0.0f;
            r->person[i] = s.person;
        }
    }
    // Half-size copy blurred by three box passes (close to a Gaussian of the largest radius).
    r->blurredWidth = std::max(1, r->width / 2);
    r->blurredHeight = std::max(1, r->height / 2);
    int bw = r->blurredWidth, bh = r->blurredHeight;
    std::vector<float> a(static_cast<std::size_t>(bw) * bh * 3), b(a.size());
    for (int y = 0; y < bh; ++y)
        for (int x = 0; x < bw; ++x)
            for (int c = 0; c < 3; ++c) {
                float sum = 0;
                for (int dy = 0; dy < 2; ++dy)
                    for (int dx = 0; dx < 2; ++dx) {
                        int sx = std::min(2 * x + dx, r->width - 1), sy = std::min(2 * y + dy, r->height - 1);
                        // The sun is clamped so that it does not flood the whole blurred frame.
                        sum += std::min(r->radiance[(static_cast<std::size_t>(sy) * r->width + sx) * 4 + c], 20.0f);
                    }
                a[(static_cast<std::size_t>(y) * bw + x) * 3 + c] = sum / 4;
            }
    // Three box passes of radius r at half size spread a point over about 1.7 r full pixels
    // each side, so r = max blur / 2 / 1.7 at half size... rounded to a whole box.
    int radius = std::max(1, static_cast<int>(std::lround(SceneRaster::kMaxBlurRadius / 2 / 1.7)));
    auto boxPass = [&](std::vector<float>& src, std::vector<float>& dst, bool horizontal) {
        int len = horizontal ? bw : bh, lines = horizontal ? bh : bw;
        for (int l = 0; l < lines; ++l)
            for (int c = 0; c < 3; ++c) {
                auto at = [&](int k) -> float& {
                    k = std::clamp(k, 0, len - 1);
                    std::size_t idx = horizontal ? static_cast<std::size_t>(l) * bw + k : static_cast<std::size_t>(k) * bw + l;
                    return src[idx * 3 + c];
                };
                float sum = 0;
                for (int k = -radius; k <= radius; ++k) sum += at(k);
                for (int k = 0; k < len; ++k) {
                    std::size_t idx = horizontal ? static_cast<std::size_t>(l) * bw + k : static_cast<std::size_t>(k) * bw + l;
                    dst[idx * 3 + c] = sum / (2 * radius + 1);
                    sum += at(k + radius + 1) - at(k - radius);
                }
            }
    };
    for (int pass = 0; pass < 3; ++pass) {
        boxPass(a, b, true);
        boxPass(b, a, false);
    }
    r->blurred = std::move(a);
    std::lock_guard lock(cacheMutex_);
    // Two cameras are kept: switching back and forth stays instant.
    if (cache_.size() >= 2) cache_.erase(cache_.begin());
    cache_.emplace_back(key, r);
    return r;
}

std::vector<std::uint8_t> Scene::personMask(const DeviceDescription& camera, double zoom, int width,
                                            int height) const {
    std::vector<std::uint8_t> mask;
    if (width <= 0 || height <= 0 || width > 16384 || height > 16384 || !isBuiltIn()) {
        if (width > 0 && height > 0 && width <= 16384 && height <= 16384)
            mask.assign(static_cast<std::size_t>(width) * height, 0);
        return mask;
    }
    mask.resize(static_cast<std::size_t>(width) * height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            auto p = scenePointFor(camera, zoom, (x + 0.5) / width, (y + 0.5) / height);
            bool covered = personPart(kPeople[0], p[0], p[1]) || personPart(kPeople[1], p[0], p[1]);
            mask[static_cast<std::size_t>(y) * width + x] = covered ? 255 : 0;
        }
    return mask;
}

}  // namespace sorvel
