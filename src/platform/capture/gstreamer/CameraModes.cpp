#include "platform/capture/gstreamer/CameraModes.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <tuple>

namespace sorvel {

std::string CameraMode::caps() const {
    std::string media = kind == FrameKind::Jpeg ? "image/jpeg" : kind == FrameKind::Bayer ? "video/x-bayer" : "video/x-raw";
    std::string out = media;
    if (!format.empty() && kind != FrameKind::Jpeg) out += ",format=" + format;
    out += ",width=" + std::to_string(width) + ",height=" + std::to_string(height);
    out += ",framerate=" + std::to_string(fpsNumerator) + "/" + std::to_string(fpsDenominator);
    return out;
}

std::string CameraMode::text() const {
    std::string name = kind == FrameKind::Jpeg ? "MJPEG" : format.empty() ? "raw" : format;
    char rate[32];
    std::snprintf(rate, sizeof rate, "%g", fps());
    return std::to_string(width) + " x " + std::to_string(height) + " " + name + " at " + rate + " fps";
}

bool isGreyFormat(const std::string& format) {
    return format.rfind("GRAY", 0) == 0 || format == "GREY" || format == "Y16";
}

std::optional<std::array<std::uint8_t, 4>> bayerPattern(const std::string& format) {
    if (format == "rggb") return std::array<std::uint8_t, 4>{0, 1, 1, 2};
    if (format == "bggr") return std::array<std::uint8_t, 4>{2, 1, 1, 0};
    if (format == "grbg") return std::array<std::uint8_t, 4>{1, 0, 2, 1};
    if (format == "gbrg") return std::array<std::uint8_t, 4>{1, 2, 0, 1};
    return std::nullopt;
}

bool isInfraredOnly(const std::vector<CameraMode>& offered) {
    return !offered.empty() && std::all_of(offered.begin(), offered.end(), [](const CameraMode& m) {
        return m.kind == FrameKind::Raw && isGreyFormat(m.format);
    });
}

namespace {

bool usable(const CameraMode& m) {
    if (m.width < 2 || m.height < 2 || m.fps() <= 0) return false;
    if (m.kind == FrameKind::Bayer) return bayerPattern(m.format).has_value();
    return true;
}

bool fitsPreview(const CameraMode& m) {
    return (m.width <= 1280 && m.height <= 960) || (m.width <= 1920 && m.height <= 1080);
}

bool sameShape(const CameraMode& a, const CameraMode& b) {
    return std::llabs(static_cast<long long>(a.width) * b.height - static_cast<long long>(b.width) * a.height) <=
           static_cast<long long>(std::max(a.height, b.height)) * 2;
}

}  // namespace

std::optional<ModeChoice> chooseModes(const std::vector<CameraMode>& offered) {
    std::vector<CameraMode> pictures, bayer;
    for (const auto& m : offered) {
        if (!usable(m)) continue;
        (m.kind == FrameKind::Bayer ? bayer : pictures).push_back(m);
    }
    // A camera that only sends Bayer frames is debayered for the preview and the still.
    if (pictures.empty()) pictures = bayer;
    if (pictures.empty()) return std::nullopt;

    ModeChoice choice;
    // Still: the most pixels; then uncompressed; then the faster mode.
    choice.still = *std::max_element(pictures.begin(), pictures.end(), [](const CameraMode& a, const CameraMode& b) {
        return std::tuple(a.area(), a.kind != FrameKind::Jpeg, a.fps()) < std::tuple(b.area(), b.kind != FrameKind::Jpeg, b.fps());
    });
    std::vector<CameraMode> fitting;
    for (const auto& m : pictures)
        if (fitsPreview(m)) fitting.push_back(m);
    if (fitting.empty()) {
        choice.preview = *std::min_element(pictures.begin(), pictures.end(),
                                           [](const CameraMode& a, const CameraMode& b) { return a.area() < b.area(); });
    } else {
        // Preview: full rate first, then the still's framing, then size, then uncompressed.
        auto rank = [&](const CameraMode& m) {
            return std::tuple(m.fps() >= 29.5, sameShape(m, choice.still), m.area(), m.kind != FrameKind::Jpeg,
                              -std::abs(m.fps() - 30));
        };
        choice.preview = *std::max_element(fitting.begin(), fitting.end(),
                                           [&](const CameraMode& a, const CameraMode& b) { return rank(a) < rank(b); });
    }
    if (!bayer.empty())
        choice.raw = *std::max_element(bayer.begin(), bayer.end(),
                                       [](const CameraMode& a, const CameraMode& b) { return a.area() < b.area(); });
    return choice;
}

Dimensions previewFrameSize(const CameraMode& preview) {
    int w = preview.width, h = preview.height;
    if (w > 1280) {
        h = static_cast<int>(static_cast<long long>(h) * 1280 / w);
        w = 1280;
    }
    return {w & ~1, h & ~1};
}

}  // namespace sorvel
