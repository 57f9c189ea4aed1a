#include "platform/capture/virtual/DeferredRecipe.h"

#include <cstring>

namespace sorvel {

namespace {

constexpr const char* kMagic = "sorvel-rig-deferred-1";

Value dimensions(Dimensions d) { return Value(Array{Value(d.width), Value(d.height)}); }
Dimensions dimensionsFrom(const Value& v) {
    const Array* a = v.arrayValue();
    if (!a || a->size() != 2) return {};
    return {static_cast<std::int32_t>((*a)[0].toInteger()), static_cast<std::int32_t>((*a)[1].toInteger())};
}

Value numbers(const double* values, int n) {
    Array a;
    for (int i = 0; i < n; ++i) a.emplace_back(values[i]);
    return Value(std::move(a));
}
bool numbersFrom(const Value& v, double* out, int n) {
    const Array* a = v.arrayValue();
    if (!a || static_cast<int>(a->size()) != n) return false;
    for (int i = 0; i < n; ++i) out[i] = (*a)[i].toReal();
    return true;
}

Value camera(const DeviceDescription& d) {
    Array faults;
    for (CaptureFault f : d.faults) faults.emplace_back(captureFaultName(f));
    return Value(Dictionary{
        {"uniqueID", d.uniqueID},
        {"localizedName", d.localizedName},
        {"type", static_cast<int>(d.type)},
        {"position", static_cast<int>(d.position)},
        {"sensor", dimensions(d.sensor)},
        {"zoom", Value(Array{Value(d.minZoom), Value(d.maxZoom)})},
        {"iso", Value(Array{Value(d.minISO), Value(d.maxISO)})},
        {"exposureDuration", Value(Array{Value(d.minExposureDuration), Value(d.maxExposureDuration)})},
        {"bias", Value(Array{Value(d.minBias), Value(d.maxBias)})},
        {"maxWhiteBalanceGain", d.maxWhiteBalanceGain},
        {"hasTorch", d.hasTorch},
        {"hasFlash", d.hasFlash},
        {"supportsBayerRaw", d.supportsBayerRaw},
        {"supportsLivePhoto", d.supportsLivePhoto},
        {"lensModel", d.lensModel},
        {"focalLength", d.focalLength},
        {"fNumber", d.fNumber},
        {"fieldScale", d.fieldScale},
        {"centre", Value(Array{Value(d.centreX), Value(d.centreY)})},
        {"channelSensitivity", numbers(d.channelSensitivity, 3)},
        {"crosstalk", numbers(d.crosstalk, 9)},
        {"minFocusDistance", d.minFocusDistance},
        {"faults", Value(std::move(faults))},
    });
}

bool pairFrom(const Value& v, double& a, double& b) {
    double both[2];
    if (!numbersFrom(v, both, 2)) return false;
    a = both[0], b = both[1];
    return true;
}

std::optional<DeviceDescription> cameraFrom(const Value& v) {
    if (!v.dictionaryValue() || !v["uniqueID"].stringValue()) return std::nullopt;
    DeviceDescription d;
    d.uniqueID = *v["uniqueID"].stringValue();
    d.localizedName = v["localizedName"].toString().value_or("");
    d.type = static_cast<DeviceType>(v["type"].toInteger());
    d.position = static_cast<DevicePosition>(v["position"].toInteger());
    d.sensor = dimensionsFrom(v["sensor"]);
    if (d.sensor.width <= 0 || d.sensor.height <= 0 || d.sensor.width > 20000 || d.sensor.height > 20000)
        return std::nullopt;
    if (!pairFrom(v["zoom"], d.minZoom, d.maxZoom) || !pairFrom(v["iso"], d.minISO, d.maxISO) ||
        !pairFrom(v["exposureDuration"], d.minExposureDuration, d.maxExposureDuration) ||
        !pairFrom(v["bias"], d.minBias, d.maxBias) || !pairFrom(v["centre"], d.centreX, d.centreY) ||
        !numbersFrom(v["channelSensitivity"], d.channelSensitivity, 3) || !numbersFrom(v["crosstalk"], d.crosstalk, 9))
        return std::nullopt;
    d.maxWhiteBalanceGain = v["maxWhiteBalanceGain"].toReal();
    d.hasTorch = v["hasTorch"].toBool();
    d.hasFlash = v["hasFlash"].toBool();
    d.supportsBayerRaw = v["supportsBayerRaw"].toBool();
    d.supportsLivePhoto = v["supportsLivePhoto"].toBool();
    d.lensModel = v["lensModel"].toString().value_or("");
    d.focalLength = v["focalLength"].toReal();
    d.fNumber = v["fNumber"].toReal();
    d.fieldScale = v["fieldScale"].toReal();
    d.minFocusDistance = v["minFocusDistance"].toReal();
    if (const Array* faults = v["faults"].arrayValue())
        for (const Value& f : *faults)
            if (auto fault = parseCaptureFault(f.toString().value_or(""))) d.faults.insert(*fault);
    return d;
}

Value exposure(const ExposureSettings& e) {
    const double values[] = {e.duration, e.iso, e.zoom, e.lensPosition, e.gains.redGain, e.gains.greenGain,
                             e.gains.blueGain, e.torch};
    return Value(Dictionary{{"values", numbers(values, 8)}, {"seed", static_cast<long long>(e.seed)}});
}

bool exposureFrom(const Value& v, ExposureSettings& e) {
    double values[8];
    if (!numbersFrom(v["values"], values, 8)) return false;
    e.duration = values[0], e.iso = values[1], e.zoom = values[2];
    e.lensPosition = static_cast<float>(values[3]);
    e.gains = {static_cast<float>(values[4]), static_cast<float>(values[5]), static_cast<float>(values[6])};
    e.torch = values[7];
    e.seed = static_cast<std::uint64_t>(v["seed"].toInteger());
    return true;
}

Value resolved(const ResolvedPhotoSettings& r) {
    return Value(Dictionary{{"uniqueID", static_cast<long long>(r.uniqueID)},
                            {"photo", dimensions(r.photoDimensions)},
                            {"raw", dimensions(r.rawPhotoDimensions)},
                            {"movie", dimensions(r.livePhotoMovieDimensions)},
                            {"flash", r.isFlashEnabled},
                            {"stabilization", r.isStillImageStabilizationEnabled},
                            {"expectedPhotoCount", r.expectedPhotoCount}});
}

ResolvedPhotoSettings resolvedFrom(const Value& v) {
    ResolvedPhotoSettings r;
    r.uniqueID = v["uniqueID"].toInteger();
    r.photoDimensions = dimensionsFrom(v["photo"]);
    r.rawPhotoDimensions = dimensionsFrom(v["raw"]);
    r.livePhotoMovieDimensions = dimensionsFrom(v["movie"]);
    r.isFlashEnabled = v["flash"].toBool();
    r.isStillImageStabilizationEnabled = v["stabilization"].toBool();
    r.expectedPhotoCount = static_cast<int>(v["expectedPhotoCount"].toInteger());
    return r;
}

constexpr std::size_t kFrameDoubles = 10;
constexpr std::size_t kFrameBytes = kFrameDoubles * sizeof(double) + sizeof(std::uint64_t);

}  // namespace

Bytes encodeDeferredStill(const DeferredStill& r) {
    const StillJob& j = r.job;
    Dictionary d{
        {"magic", kMagic},
        {"camera", camera(j.camera)},
        {"make", j.make},
        {"model", j.model},
        {"exposure", exposure(j.exposure)},
        {"exposureBias", j.exposureBias},
        {"flashMode", static_cast<int>(j.flashMode)},
        {"flashFired", j.flashFired},
        {"autoWhiteBalance", j.autoWhiteBalance},
        {"orientation", j.orientation},
        {"raw", j.raw},
        {"timestamp", j.timestamp},
        {"settingsMetadata", Value(j.settingsMetadata)},
        {"contentIdentifier", j.contentIdentifier},
        {"resolved", resolved(j.resolved)},
        {"scene", r.scene},
        {"begun", r.begun},
        {"captureError", r.captureError},
        {"missingData", r.missingData},
        {"live", r.live},
        {"movieFile", r.movieFile.string()},
        {"movieRotation", r.movieRotation},
        {"preRollFrames", r.preRollFrames},
        {"movieFault", r.movieFault},
    };
    return Value(std::move(d)).encode();
}

std::optional<DeferredStill> decodeDeferredStill(const Bytes& bytes) {
    auto value = Value::decode(bytes.data(), bytes.size());
    if (!value || !value->dictionaryValue()) return std::nullopt;
    const Value& v = *value;
    if (v["magic"].toString() != std::string(kMagic)) return std::nullopt;
    DeferredStill r;
    auto cam = cameraFrom(v["camera"]);
    if (!cam || !exposureFrom(v["exposure"], r.job.exposure)) return std::nullopt;
    StillJob& j = r.job;
    j.camera = *cam;
    j.make = v["make"].toString().value_or("");
    j.model = v["model"].toString().value_or("");
    j.exposureBias = static_cast<float>(v["exposureBias"].toReal());
    j.flashMode = static_cast<FlashMode>(v["flashMode"].toInteger());
    j.flashFired = v["flashFired"].toBool();
    j.autoWhiteBalance = v["autoWhiteBalance"].toBool();
    j.orientation = static_cast<int>(v["orientation"].toInteger());
    j.raw = v["raw"].toBool();
    j.timestamp = v["timestamp"].toReal();
    if (const Dictionary* m = v["settingsMetadata"].dictionaryValue()) j.settingsMetadata = *m;
    j.contentIdentifier = v["contentIdentifier"].toString().value_or("");
    j.resolved = resolvedFrom(v["resolved"]);
    r.scene = v["scene"].toString().value_or("builtin");
    r.begun = v["begun"].toBool();
    r.captureError = v["captureError"].toBool();
    r.missingData = v["missingData"].toBool();
    r.live = v["live"].toBool();
    r.movieFile = v["movieFile"].toString().value_or("");
    r.movieRotation = static_cast<int>(v["movieRotation"].toInteger());
    r.preRollFrames = static_cast<int>(v["preRollFrames"].toInteger());
    r.movieFault = v["movieFault"].toBool();
    if (r.live && r.movieFile.empty()) return std::nullopt;
    return r;
}

Bytes encodeFrameRecipe(const FrameRecipe& f) {
    const ExposureSettings& e = f.exposure;
    const double values[kFrameDoubles] = {e.duration, e.iso, e.zoom, e.lensPosition, e.gains.redGain,
                                          e.gains.greenGain, e.gains.blueGain, e.torch, f.time, 0};
    Bytes out(kFrameBytes);
    std::memcpy(out.data(), values, sizeof values);
    std::memcpy(out.data() + sizeof values, &e.seed, sizeof e.seed);
    return out;
}

std::vector<FrameRecipe> decodeFrameRecipes(const Bytes& log) {
    std::vector<FrameRecipe> frames;
    for (std::size_t at = 0; at + kFrameBytes <= log.size(); at += kFrameBytes) {
        double values[kFrameDoubles];
        std::memcpy(values, log.data() + at, sizeof values);
        FrameRecipe f;
        ExposureSettings& e = f.exposure;
        e.duration = values[0], e.iso = values[1], e.zoom = values[2];
        e.lensPosition = static_cast<float>(values[3]);
        e.gains = {static_cast<float>(values[4]), static_cast<float>(values[5]), static_cast<float>(values[6])};
        e.torch = values[7];
        f.time = values[8];
        std::memcpy(&e.seed, log.data() + at + sizeof values, sizeof e.seed);
        frames.push_back(f);
    }
    return frames;
}

}  // namespace sorvel
