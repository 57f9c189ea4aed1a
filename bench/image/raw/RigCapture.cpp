#include "RigCapture.h"

#include <algorithm>
#include <cmath>

#include "platform/capture/WhiteBalanceModel.h"
#include "platform/capture/virtual/DngWriter.h"
#include "platform/capture/virtual/RigProfile.h"
#include "platform/capture/virtual/Scene.h"
#include "platform/capture/virtual/SensorModel.h"

namespace sorvel::bench {

namespace {

const DeviceDescription& camera() {
    static const DeviceDescription c = [] {
        const RigProfile& rig = RigProfile::builtIn();
        for (const auto& d : rig.cameras)
            if (d.position == DevicePosition::Back && d.type == DeviceType::BuiltInWideAngleCamera) return d;
        return rig.cameras.front();
    }();
    return c;
}

// Duration x ISO / 100 that the automatic exposure settles on, and the daylight balance.
struct Settled {
    double exposureProduct = 0.01;
    WhiteBalanceGains gains;
};

const Settled& settled() {
    static const Settled s = [] {
        auto raster = Scene::builtIn()->rasterFor(camera());
        DeviceControlState control;
        for (int i = 0; i < 80; ++i) {
            Metering m = SensorModel::meter(*raster, camera(), 1, control.exposurePoint, control.focusPoint);
            SensorModel::runAutomaticControls(control, camera(), m);
        }
        Settled out;
        out.exposureProduct = control.exposureDuration * control.iso / 100.0;
        out.gains = neutralGains(camera(), daylightTemperature());
        return out;
    }();
    return s;
}

ExposureSettings exposureAt(double iso) {
    ExposureSettings e;
    e.iso = iso;
    e.duration = settled().exposureProduct * 100.0 / iso;
    e.gains = settled().gains;
    e.lensPosition = SensorModel::lensPositionFor(camera(), 1.0 / Scene::kChartDepth);
    e.seed = 24;
    return e;
}

}  // namespace

std::optional<Bytes> rigDng(double iso, bool noise, std::string* error) {
    const ExposureSettings e = exposureAt(iso);
    auto raster = Scene::builtIn()->rasterFor(camera());
    BayerImage bayer = SensorModel::renderBayer(*raster, camera(), e, noise);
    DngDescription d;
    d.make = RigProfile::builtIn().make;
    d.model = RigProfile::builtIn().model;
    d.orientation = 1;
    d.exposureTime = e.duration;
    d.iso = iso;
    d.dateTimeOriginal = "2026:12:07 12:00:00";
    return writeDng(bayer, camera(), e.gains, d, error);
}

Planes rigTruth() {
    const ExposureSettings e = exposureAt(100);
    const DeviceDescription& c = camera();
    auto raster = Scene::builtIn()->rasterFor(c);
    const BayerImage bayer = SensorModel::renderBayer(*raster, c, e, false);
    // Every 2 x 2 quad holds one raster pixel's light: red, two greens, blue, each the camera's
    // response to it (sensitivity x crosstalk x exposure). Inverting that response gives the light.
    const double scale = SensorModel::exposureScale(c, e.duration, e.iso);
    double m[9];
    for (int r = 0; r < 3; ++r)
        for (int k = 0; k < 3; ++k) m[3 * r + k] = c.channelSensitivity[r] * c.crosstalk[3 * r + k] * scale;
    const double det = m[0] * (m[4] * m[8] - m[5] * m[7]) - m[1] * (m[3] * m[8] - m[5] * m[6]) +
                       m[2] * (m[3] * m[7] - m[4] * m[6]);
    const double inv[9] = {(m[4] * m[8] - m[5] * m[7]) / det, (m[2] * m[7] - m[1] * m[8]) / det,
                           (m[1] * m[5] - m[2] * m[4]) / det, (m[5] * m[6] - m[3] * m[8]) / det,
                           (m[0] * m[8] - m[2] * m[6]) / det, (m[2] * m[3] - m[0] * m[5]) / det,
                           (m[3] * m[7] - m[4] * m[6]) / det, (m[1] * m[6] - m[0] * m[7]) / det,
                           (m[0] * m[4] - m[1] * m[3]) / det};
    const double range = SensorModel::kWhiteLevel - SensorModel::kBlackLevel;
    Planes t = Planes::sized(bayer.width, bayer.height);
    for (int qy = 0; qy < bayer.height / 2; ++qy)
        for (int qx = 0; qx < bayer.width / 2; ++qx) {
            auto at = [&](int dy, int dx) {
                return (bayer.samples[std::size_t(2 * qy + dy) * std::size_t(bayer.width) + std::size_t(2 * qx + dx)] -
                        SensorModel::kBlackLevel) / range;
            };
            const double cam[3] = {at(0, 0), 0.5 * (at(0, 1) + at(1, 0)), at(1, 1)};
            float rgb[3];
            for (int r = 0; r < 3; ++r)
                rgb[r] = float(inv[3 * r] * cam[0] + inv[3 * r + 1] * cam[1] + inv[3 * r + 2] * cam[2]);
            for (int dy = 0; dy < 2; ++dy)
                for (int dx = 0; dx < 2; ++dx) {
                    const std::size_t i = t.index(2 * qx + dx, 2 * qy + dy);
                    t.r[i] = rgb[0], t.g[i] = rgb[1], t.b[i] = rgb[2];
                }
        }
    return t;
}

ChartGeometry chartGeometry(const Planes& truth) {
    ChartGeometry g;
    const DeviceDescription& c = camera();
    auto toPixel = [&](double sx, double sy) {
        auto n = Scene::sensorPointFor(c, 1, sx, sy);
        return std::array<double, 2>{n[0] * truth.width, n[1] * truth.height};
    };
    for (int i = 0; i < 24; ++i) {
        const auto centre = Scene::chartPatchCentre(i);
        const auto p = toPixel(centre[0], centre[1]);
        int cx = std::clamp(int(p[0]), 0, truth.width - 1), cy = std::clamp(int(p[1]), 0, truth.height - 1);
        const std::size_t ci = truth.index(cx, cy);
        auto same = [&](int x, int y) {
            if (x < 0 || y < 0 || x >= truth.width || y >= truth.height) return false;
            const std::size_t k = truth.index(x, y);
            return std::fabs(truth.r[k] - truth.r[ci]) < 1e-3f && std::fabs(truth.g[k] - truth.g[ci]) < 1e-3f &&
                   std::fabs(truth.b[k] - truth.b[ci]) < 1e-3f;
        };
        PatchRect& r = g.patches[std::size_t(i)];
        r.x0 = r.x1 = cx, r.y0 = r.y1 = cy;
        while (same(r.x0 - 1, cy)) --r.x0;
        while (same(r.x1 + 1, cy)) ++r.x1;
        while (same(cx, r.y0 - 1)) --r.y0;
        while (same(cx, r.y1 + 1)) ++r.y1;
        r.colour = {truth.r[ci], truth.g[ci], truth.b[ci]};
    }
    const auto star = Scene::starCentre();
    const auto s = toPixel(star[0], star[1]);
    const auto edge = toPixel(star[0] + Scene::kStarRadius, star[1]);
    g.starX = s[0], g.starY = s[1];
    g.starRadius = std::hypot(edge[0] - s[0], edge[1] - s[1]);
    g.starSpokes = Scene::kStarSpokes;
    return g;
}

}  // namespace sorvel::bench
