// Finishing the captures a killed process left in the deferred photo store: the still and the
// movie made again from their recipes, exactly as the live capture would have made them.

#include "platform/capture/DeferredPhotoStore.h"
#include "platform/capture/virtual/DeferredRecipe.h"
#include "platform/capture/virtual/SensorModel.h"
#include "platform/capture/virtual/VirtualRig.h"

namespace sorvel {

std::optional<DeferredCaptureResult> VirtualRig::finishDeferredCapture(const std::string& identifier) {
    auto bytes = DeferredPhotoStore::read(identifier);
    if (!bytes) return std::nullopt;
    DeferredCaptureResult result;
    auto record = decodeDeferredStill(*bytes);
    if (!record) {
        result.photoError = CaptureError{CaptureErrorCode::CaptureFailed, "The deferred photo's record is damaged"};
        return result;
    }
    StillJob& job = record->job;
    result.livePhoto = record->live;
    result.photo.resolvedSettings = job.resolved;
    result.photo.isRawPhoto = job.raw;

    // The scene the capture looked at: a picture is read again from its file.
    std::shared_ptr<const Scene> scene;
    if (record->scene.rfind("picture:", 0) == 0) {
        auto loaded = scenePicture(record->scene.substr(8));
        if (auto* message = std::get_if<std::string>(&loaded)) {
            result.photoError = CaptureError{CaptureErrorCode::CaptureFailed, "The deferred photo's scene is gone: " + *message};
            result.movieError = result.photoError;
            return result;
        }
        scene = std::get<std::shared_ptr<const Scene>>(loaded);
    } else {
        scene = record->scene == "builtin" ? Scene::builtIn() : this->scene();
    }
    job.raster = scene->rasterFor(job.camera);

    if (record->captureError) {
        result.photoError = CaptureError{CaptureErrorCode::CaptureFailed, "The camera could not take the photo"};
    } else {
        auto taken = takeStill(job);
        if (auto* e = std::get_if<CaptureError>(&taken)) result.photoError = *e;
        else result.photo = std::move(std::get<CapturedPhoto>(taken));
        if (record->missingData) result.photo.fileData.reset();
    }
    if (!record->live) return result;

    result.movieFile = record->movieFile;
    if (record->movieFault) {
        result.movieError = CaptureError{CaptureErrorCode::MovieFailed, "The Live Photo movie could not be recorded"};
        return result;
    }
    // The frames the movie had when the process ended, then the rest of its 1.5 s after the
    // press as the camera would have gone on: same exposure, the next frames' noise. A record
    // from before the capture began has no frames at all; its still's exposure stands for them.
    std::vector<FrameRecipe> frames = decodeFrameRecipes(DeferredPhotoStore::readLog(identifier).value_or(Bytes{}));
    int preRoll = record->begun ? record->preRollFrames : kLivePhotoHalfFrames;
    if (frames.empty()) {
        FrameRecipe first{job.exposure, job.timestamp - (preRoll - 1) / kFramesPerSecond};
        first.exposure.seed = job.exposure.seed / 1000003 > static_cast<std::uint64_t>(preRoll)
                                  ? job.exposure.seed / 1000003 - static_cast<std::uint64_t>(preRoll)
                                  : 1;
        frames.push_back(first);
    }
    const std::size_t total = static_cast<std::size_t>(preRoll + kLivePhotoHalfFrames);
    while (frames.size() < total) {
        FrameRecipe next = frames.back();
        next.exposure.seed += 1;
        next.time += 1.0 / kFramesPerSecond;
        frames.push_back(next);
    }
    frames.resize(total);
    std::vector<std::shared_ptr<const YuvFrame>> yuv;
    yuv.reserve(frames.size());
    for (const FrameRecipe& f : frames)
        yuv.push_back(downscaleToYuv(SensorModel::renderPreview(*job.raster, job.camera, f.exposure), f.time));
    MovieDescription description{kFramesPerSecond, job.contentIdentifier, record->movieRotation};
    result.movieError = writeLivePhotoMovie(record->movieFile, yuv, description);
    result.movieDuration = static_cast<double>(yuv.size()) / kFramesPerSecond;
    result.photoDisplayTime = preRoll / kFramesPerSecond;
    return result;
}

void VirtualRig::discardDeferredCapture(const std::string& identifier) { DeferredPhotoStore::remove(identifier); }

}  // namespace sorvel
