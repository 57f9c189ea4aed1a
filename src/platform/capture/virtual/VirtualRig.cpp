#include "platform/capture/virtual/VirtualRig.h"

#include <algorithm>
#include <cstdio>
#include <cmath>
#include <utility>

#include "platform/capture/CaptureSession.h"
#include "platform/capture/DeferredPhotoStore.h"
#include "platform/capture/FrameOrientation.h"
#include "platform/capture/PreviewSink.h"
#include "platform/capture/VideoDataOutput.h"
#include "platform/capture/virtual/DeferredRecipe.h"
#include "platform/capture/virtual/PhotoPipeline.h"
#include "platform/capture/virtual/SensorModel.h"
#include "platform/foundation/Clock.h"
#include "platform/foundation/Uuid.h"

namespace sorvel {

namespace {
CaptureBackend* installedBackend = nullptr;
std::mutex backendMutex;
}  // namespace

CaptureBackend& CaptureBackend::current() {
    std::lock_guard lock(backendMutex);
    return installedBackend ? *installedBackend : VirtualRig::shared();
}

void CaptureBackend::install(CaptureBackend* backend) {
    std::lock_guard lock(backendMutex);
    installedBackend = backend;
}

struct VirtualRig::PendingCapture {
    PendingCapture(std::shared_ptr<PhotoOutput> o, std::shared_ptr<PhotoCaptureDelegate> d, const PhotoSettings& s)
        : output(std::move(o)), delegate(std::move(d)), settings(s) {}
    std::shared_ptr<PhotoOutput> output;
    std::shared_ptr<PhotoCaptureDelegate> delegate;
    PhotoSettings settings;
    std::vector<CaptureFault> faults;  // injected for this capture
    std::uint64_t pressFrame = 0;
    bool begun = false;
    bool live = false;
    ResolvedPhotoSettings resolved;
    std::string contentIdentifier;
    std::vector<std::shared_ptr<const YuvFrame>> movieFrames;
    int preRollFrames = 0;
    int movieRotation = 0;
    bool movieFault = false;
    bool deferred = false;  // kept in the deferred photo store under settings.captureIdentifier
    bool movieFailedEarly = false;  // told before the still (CaptureFault::MovieErrorBeforeStill)
    bool emptyMovie = false;
};

namespace {

// A capture that ended with its delegate told: nothing of it is left to finish.
void forgetDeferred(const PhotoSettings& settings) {
    if (!settings.captureIdentifier.empty()) DeferredPhotoStore::remove(settings.captureIdentifier);
}

}  // namespace

struct VirtualRig::SessionState {
    std::deque<std::shared_ptr<const YuvFrame>> ring;  // the last 1.5 s, while Live Photo is on
    std::deque<FrameRecipe> ringRecipes;               // how each of them was exposed
    PreviewOpticsCache optics;
    std::vector<std::unique_ptr<PendingCapture>> captures;  // frame thread only
    std::vector<std::unique_ptr<PendingCapture>> incoming;  // under the rig's mutex
};

VirtualRig& VirtualRig::shared() {
    static VirtualRig rig;
    return rig;
}

VirtualRig::VirtualRig() : frameQueue_(DispatchQueue::makeSerial("com.sorvel.rig.frames")) {
    configure(RigProfile::builtIn());
    scene_ = Scene::builtIn();
}

void VirtualRig::configure(RigProfile profile) {
    std::lock_guard lock(mutex_);
    profile_ = std::move(profile);
    cameras_.clear();
    for (const auto& d : profile_.cameras) cameras_.push_back(std::make_shared<CaptureDevice>(d));
    microphone_ = profile_.microphone ? std::make_shared<CaptureDevice>(*profile_.microphone) : nullptr;
    rigFaults_ = profile_.rigFaults;
    nextCaptureFaults_.clear();
}

RigProfile VirtualRig::profile() const {
    std::lock_guard lock(mutex_);
    return profile_;
}

void VirtualRig::setScene(std::shared_ptr<const Scene> scene) {
    std::lock_guard lock(mutex_);
    sceneName_ = scene ? "custom" : "builtin";
    scene_ = scene ? std::move(scene) : Scene::builtIn();
}

std::string VirtualRig::sceneName() const {
    std::lock_guard lock(mutex_);
    return sceneName_;
}

std::shared_ptr<const Scene> VirtualRig::scene() const {
    std::lock_guard lock(mutex_);
    return scene_;
}

void VirtualRig::setMode(RigMode mode) {
    std::lock_guard lock(mutex_);
    mode_ = mode;
}

RigMode VirtualRig::mode() const {
    std::lock_guard lock(mutex_);
    return mode_;
}

void VirtualRig::reset(RigMode mode) {
    configure(RigProfile::builtIn());
    setScene(nullptr);
    std::lock_guard lock(mutex_);
    mode_ = mode;
    frame_ = 0;
}

std::uint64_t VirtualRig::frameCount() const {
    std::lock_guard lock(mutex_);
    return frame_;
}

void VirtualRig::injectFault(const std::string& deviceID, CaptureFault fault) {
    if (auto d = device(deviceID)) {
        std::set<CaptureFault> faults;
        for (auto f : {CaptureFault::DeviceInputCreation, CaptureFault::LockFailure, CaptureFault::CaptureError,
                       CaptureFault::MissingFileData, CaptureFault::MovieError, CaptureFault::NoBayerRaw,
                       CaptureFault::LivePhotoUnsupported, CaptureFault::NoVideoConnection, CaptureFault::MovieErrorBeforeStill,
                       CaptureFault::EmptyMovie})
            if (d->hasFault(f)) faults.insert(f);
        faults.insert(fault);
        d->setFaults(faults);
    }
}

void VirtualRig::clearFaults() {
    std::lock_guard lock(mutex_);
    for (auto& c : cameras_) c->setFaults({});
    rigFaults_.clear();
    nextCaptureFaults_.clear();
}

void VirtualRig::injectNextCaptureFault(CaptureFault fault) {
    std::lock_guard lock(mutex_);
    nextCaptureFaults_.push_back(fault);
}

void VirtualRig::setRigFault(CaptureFault fault, bool present) {
    std::lock_guard lock(mutex_);
    if (present) rigFaults_.insert(fault);
    else rigFaults_.erase(fault);
}

std::shared_ptr<CaptureDevice> VirtualRig::device(const std::string& uniqueID) const {
    std::lock_guard lock(mutex_);
    for (auto& c : cameras_)
        if (c->uniqueID() == uniqueID) return c;
    if (microphone_ && microphone_->uniqueID() == uniqueID) return microphone_;
    return nullptr;
}

std::vector<std::shared_ptr<CaptureDevice>> VirtualRig::devices() {
    std::lock_guard lock(mutex_);
    auto all = cameras_;
    if (microphone_ && !rigFaults_.count(CaptureFault::NoMicrophone)) all.push_back(microphone_);
    return all;
}

CaptureStatus VirtualRig::openDevice(const CaptureDevice& device) {
    if (device.hasFault(CaptureFault::DeviceInputCreation))
        return CaptureError{CaptureErrorCode::DeviceNotAvailable,
                            "Cannot use " + device.localizedName() + ": the device is not available"};
    return std::nullopt;
}

void VirtualRig::sessionStarted(CaptureSession& session) {
    // Starting blocks while the camera's view of the scene is prepared, as a real start blocks
    // while the sensor powers up.
    if (auto device = session.videoDevice()) scene()->rasterFor(device->description());
    std::uint64_t loop = 0;
    {
        std::lock_guard lock(mutex_);
        sessions_.emplace(&session, std::make_unique<SessionState>());
        if (mode_ != RigMode::RealTime || realTimeRunning_) return;
        realTimeRunning_ = true;
        loop = ++realTimeLoop_;
    }
    scheduleRealTimeTick(loop);
}

void VirtualRig::scheduleRealTimeTick(std::uint64_t loop) {
    frameQueue_->asyncAfter(1.0 / kFramesPerSecond, [this, loop] {
        {
            std::lock_guard lock(mutex_);
            if (loop != realTimeLoop_ || sessions_.empty() || mode_ != RigMode::RealTime) {
                if (loop == realTimeLoop_) realTimeRunning_ = false;
                return;
            }
        }
        tick();
        scheduleRealTimeTick(loop);
    });
}

void VirtualRig::sessionStopped(CaptureSession& session) {
    // Waits for a frame in progress, so nothing of this session is touched after stop returns.
    std::lock_guard tickLock(tickMutex_);
    std::unique_ptr<SessionState> state;
    {
        std::lock_guard lock(mutex_);
        auto it = sessions_.find(&session);
        if (it == sessions_.end()) return;
        state = std::move(it->second);
        sessions_.erase(it);
    }
    for (auto& c : state->incoming) state->captures.push_back(std::move(c));
    for (auto& c : state->captures) {
        CaptureError stopped{CaptureErrorCode::SessionNotRunning, "The capture session stopped during the capture"};
        if (!c->begun) {
            auto output = c->output;
            auto delegate = c->delegate;
            ResolvedPhotoSettings resolved;
            resolved.uniqueID = c->settings.uniqueID();
            PhotoSettings settings = c->settings;
            output->callbackQueue().async([output, delegate, resolved, stopped, settings] {
                CapturedPhoto photo;
                photo.resolvedSettings = resolved;
                delegate->didFinishProcessingPhoto(*output, photo, stopped);
                delegate->didFinishCapture(*output, resolved, stopped);
                forgetDeferred(settings);
            });
        } else if (c->live) {
            finishMovie(*c, CaptureError{CaptureErrorCode::MovieFailed, "The capture session stopped while the Live Photo movie was recording"});
        }
    }
}

void VirtualRig::capturePhoto(CaptureSession& session, PhotoOutput& output, const PhotoSettings& settings,
                              std::shared_ptr<PhotoCaptureDelegate> delegate) {
    auto pending = std::make_unique<PendingCapture>(std::static_pointer_cast<PhotoOutput>(output.shared_from_this()),
                                                    std::move(delegate), settings);
    std::unique_lock lock(mutex_);
    pending->faults = std::exchange(nextCaptureFaults_, {});
    pending->pressFrame = frame_;
    if (settings.livePhotoMovieFileURL) pending->contentIdentifier = makeUuid();
    auto it = sessions_.find(&session);
    if (it != sessions_.end() && !settings.captureIdentifier.empty() && DeferredPhotoStore::enabled()) {
        // Kept from the press on, with the camera's state of this moment: the exposure begins
        // on the next frame, and a process killed before then still has its photo.
        if (auto device = session.videoDevice()) {
            pending->deferred = true;
            double now = Clock::current().now();
            lock.unlock();
            keepDeferred(*pending, jobFor(*pending, *device, now, 0), false);
            lock.lock();
            it = sessions_.find(&session);
        }
    }
    if (it == sessions_.end()) {
        // The session stopped between the output's check and here.
        auto out = pending->output;
        auto d = pending->delegate;
        ResolvedPhotoSettings resolved;
        resolved.uniqueID = settings.uniqueID();
        out->callbackQueue().async([out, d, resolved, settings] {
            CaptureError e{CaptureErrorCode::SessionNotRunning, "The capture session is not running"};
            CapturedPhoto photo;
            photo.resolvedSettings = resolved;
            d->didFinishProcessingPhoto(*out, photo, e);
            d->didFinishCapture(*out, resolved, e);
            forgetDeferred(settings);
        });
        return;
    }
    it->second->incoming.push_back(std::move(pending));
}

void VirtualRig::step(int frames) {
    for (int i = 0; i < frames; ++i) tick();
}

void VirtualRig::tick() {
    std::lock_guard tickLock(tickMutex_);
    std::vector<std::pair<CaptureSession*, SessionState*>> running;
    double now;
    {
        std::lock_guard lock(mutex_);
        ++frame_;
        now = Clock::current().now();
        for (auto& [session, state] : sessions_) running.emplace_back(session, state.get());
    }
    for (auto& [session, state] : running) serviceSession(*session, *state, now);
}

void VirtualRig::serviceSession(CaptureSession& session, SessionState& state, double now) {
    {
        std::lock_guard lock(mutex_);
        for (auto& c : state.incoming) state.captures.push_back(std::move(c));
        state.incoming.clear();
    }
    auto device = session.videoDevice();
    if (!device) return;
    const DeviceDescription& camera = device->description();
    auto raster = scene()->rasterFor(camera);
    DeviceControlState control = device->controlState();
    std::uint64_t frameNumber = frameCount();

    ExposureSettings exposure;
    exposure.duration = control.exposureDuration;
    exposure.iso = control.iso;
    exposure.zoom = control.zoomFactor;
    exposure.lensPosition = control.lensPosition;
    exposure.gains = control.gains;
    exposure.torch = control.torchMode == TorchMode::On && camera.hasTorch ? SensorModel::kTorchStrength : 0;
    exposure.seed = frameNumber;
    auto frame =
        std::make_shared<const PixelBuffer>(SensorModel::renderPreview(raster, camera, exposure, state.optics));
    const FrameRecipe recipe{exposure, now};

    Metering metering = SensorModel::meter(*raster, camera, control.zoomFactor, control.exposurePoint, control.focusPoint);
    device->updateAutomaticState([&](DeviceControlState& s) { SensorModel::runAutomaticControls(s, camera, metering); });
    for (auto& completion : device->takePendingCompletions()) completion(now);

    SampleBuffer buffer{frame, now, frameNumber};
    bool liveEnabled = false;
    for (auto& output : session.outputs()) {
        if (auto* video = dynamic_cast<VideoDataOutput*>(output.get())) video->deliver(buffer);
        if (auto* photo = dynamic_cast<PhotoOutput*>(output.get())) liveEnabled |= photo->isLivePhotoCaptureEnabled();
    }
    for (PreviewSink* preview : session.previews()) preview->present(buffer);

    bool anyLivePending = std::any_of(state.captures.begin(), state.captures.end(), [](auto& c) { return c->live; });
    std::shared_ptr<const YuvFrame> movieFrame;
    if (liveEnabled || anyLivePending) {
        movieFrame = downscaleToYuv(*frame, now);
        state.ring.push_back(movieFrame);
        state.ringRecipes.push_back(recipe);
        while (state.ring.size() > static_cast<std::size_t>(kLivePhotoHalfFrames)) {
            state.ring.pop_front();
            state.ringRecipes.pop_front();
        }
    } else {
        state.ring.clear();
        state.ringRecipes.clear();
    }

    int begunThisFrame = 0;
    for (auto it = state.captures.begin(); it != state.captures.end();) {
        PendingCapture& c = **it;
        if (!c.begun) {
            // The press frame itself is already in the ring: the movie starts 1.5 s before it.
            if (c.settings.livePhotoMovieFileURL) {
                c.movieFrames.assign(state.ring.begin(), state.ring.end());
                c.preRollFrames = static_cast<int>(c.movieFrames.size());
            }
            beginCapture(c, *device, now, begunThisFrame++);
            if (c.live && c.deferred) {
                Bytes log;
                for (const FrameRecipe& r : state.ringRecipes) {
                    Bytes one = encodeFrameRecipe(r);
                    log.insert(log.end(), one.begin(), one.end());
                }
                DeferredPhotoStore::append(c.settings.captureIdentifier, log);
            }
        } else if (c.live && movieFrame) {
            c.movieFrames.push_back(movieFrame);
            if (c.deferred) DeferredPhotoStore::append(c.settings.captureIdentifier, encodeFrameRecipe(recipe));
        }
        if (!c.live) {
            it = state.captures.erase(it);
            continue;
        }
        // The capture began on the frame after the press; the movie runs 1.5 s past that.
        if (frameNumber >= c.pressFrame + 1 + kLivePhotoHalfFrames) {
            finishMovie(c, std::nullopt);
            it = state.captures.erase(it);
            continue;
        }
        ++it;
    }
}

StillJob VirtualRig::jobFor(const PendingCapture& c, CaptureDevice& device, double now, int indexInFrame) {
    const DeviceDescription& camera = device.description();
    DeviceControlState control = device.controlState();
    RigProfile profile = this->profile();

    StillJob job;
    job.camera = camera;
    job.make = profile.make;
    job.model = profile.model;
    job.raster = scene()->rasterFor(camera);
    job.exposure.duration = control.exposureDuration;
    job.exposure.iso = control.iso;
    job.exposure.zoom = control.zoomFactor;
    job.exposure.lensPosition = control.lensPosition;
    job.exposure.gains = control.gains;
    // The noise seed depends only on when the capture began, so step-mode tests repeat.
    job.exposure.seed = (c.pressFrame + 1) * 1000003 + static_cast<std::uint64_t>(indexInFrame);
    job.exposureBias = control.targetBias;
    job.flashMode = c.settings.flashMode;
    // Auto flash fires once the light is too low for a short exposure at a modest ISO.
    bool dark = control.exposureDuration * control.iso / 100.0 > (1.0 / 30) * 8;
    job.flashFired = camera.hasFlash && (c.settings.flashMode == FlashMode::On ||
                                         (c.settings.flashMode == FlashMode::Auto && dark));
    job.exposure.torch = (control.torchMode == TorchMode::On && camera.hasTorch ? SensorModel::kTorchStrength : 0) +
                         (job.flashFired ? SensorModel::kFlashStrength : 0);
    job.autoWhiteBalance = control.whiteBalanceMode != WhiteBalanceMode::Locked;
    CaptureConnection* connection = c.output->connection(MediaType::Video);
    job.orientation = connection ? exifOrientationFor(connection->videoOrientation(), connection->isVideoMirrored())
                                 : 1;
    job.raw = c.settings.rawPhotoPixelFormatType().has_value();
    job.timestamp = now;
    job.settingsMetadata = c.settings.metadata;
    const bool live = c.settings.livePhotoMovieFileURL.has_value();
    job.contentIdentifier = live ? c.contentIdentifier : std::string();

    ResolvedPhotoSettings r;
    r.uniqueID = c.settings.uniqueID();
    // The photo preset delivers the full sensor either way; high resolution only matters to
    // formats the rig does not offer.
    if (job.raw) r.rawPhotoDimensions = camera.sensor;
    else r.photoDimensions = camera.sensor;
    r.livePhotoMovieDimensions = live ? Dimensions{640, 480} : Dimensions{};
    r.isFlashEnabled = job.flashFired;
    r.isStillImageStabilizationEnabled = c.settings.isAutoStillImageStabilizationEnabled && !job.raw;
    job.resolved = r;
    return job;
}

namespace {
int movieRotationFor(int orientation) {
    return orientation == 6 || orientation == 5 ? 90 : orientation == 8 || orientation == 7 ? 270 : orientation == 3 ? 180 : 0;
}
}  // namespace

void VirtualRig::keepDeferred(const PendingCapture& c, const StillJob& job, bool begun) {
    DeferredStill record;
    record.job = job;
    record.scene = sceneName();
    record.begun = begun;
    auto hasFault = [&](CaptureFault f) {
        auto d = device(job.camera.uniqueID);
        return (d && d->hasFault(f)) || std::find(c.faults.begin(), c.faults.end(), f) != c.faults.end();
    };
    record.captureError = hasFault(CaptureFault::CaptureError);
    record.missingData = hasFault(CaptureFault::MissingFileData);
    record.live = c.settings.livePhotoMovieFileURL.has_value();
    if (record.live) {
        record.movieFile = *c.settings.livePhotoMovieFileURL;
        record.movieRotation = movieRotationFor(job.orientation);
        record.preRollFrames = c.preRollFrames;
        record.movieFault = hasFault(CaptureFault::MovieError);
    }
    // Written as it is at the press (cheap: the kernel has it once write returns); made durable
    // on the callback queue before the photo is rendered.
    DeferredPhotoStore::remove(c.settings.captureIdentifier);
    DeferredPhotoStore::write(c.settings.captureIdentifier, encodeDeferredStill(record), false);
}

void VirtualRig::beginCapture(PendingCapture& c, CaptureDevice& device, double now, int indexInFrame) {
    c.begun = true;
    auto hasFault = [&](CaptureFault f) {
        return device.hasFault(f) || std::find(c.faults.begin(), c.faults.end(), f) != c.faults.end();
    };
    StillJob job = jobFor(c, device, now, indexInFrame);
    c.live = c.settings.livePhotoMovieFileURL.has_value();
    if (c.live) {
        c.movieRotation = movieRotationFor(job.orientation);
        c.movieFault = hasFault(CaptureFault::MovieError);
        c.movieFailedEarly = hasFault(CaptureFault::MovieErrorBeforeStill);
        c.emptyMovie = hasFault(CaptureFault::EmptyMovie);
    }
    c.resolved = job.resolved;
    if (c.deferred) keepDeferred(c, job, true);

    bool captureError = hasFault(CaptureFault::CaptureError);
    bool missingData = hasFault(CaptureFault::MissingFileData);
    bool live = c.live;
    auto output = c.output;
    auto delegate = c.delegate;
    std::string deferredID = c.deferred ? c.settings.captureIdentifier : std::string();
    std::optional<std::filesystem::path> earlyMovieFailure;
    if (c.live && c.movieFailedEarly) earlyMovieFailure = *c.settings.livePhotoMovieFileURL;
    output->callbackQueue().async([output, delegate, job = std::move(job), captureError, missingData, live, deferredID,
                                   earlyMovieFailure] {
        if (!deferredID.empty()) DeferredPhotoStore::sync(deferredID);
        delegate->willBeginCapture(*output, job.resolved);
        if (earlyMovieFailure) {
            delegate->didFinishRecordingLivePhotoMovie(*output, *earlyMovieFailure, job.resolved);
            delegate->didFinishProcessingLivePhotoMovie(
                *output, *earlyMovieFailure, 0, 0, job.resolved,
                CaptureError{CaptureErrorCode::MovieFailed, "The Live Photo movie could not be recorded"});
        }
        CaptureStatus error;
        CapturedPhoto photo;
        photo.resolvedSettings = job.resolved;
        photo.isRawPhoto = job.raw;
        if (captureError) {
            error = CaptureError{CaptureErrorCode::CaptureFailed, "The camera could not take the photo"};
        } else {
            auto result = takeStill(job);
            if (auto* e = std::get_if<CaptureError>(&result)) error = *e;
            else photo = std::move(std::get<CapturedPhoto>(result));
            if (missingData) photo.fileData.reset();
        }
        delegate->didFinishProcessingPhoto(*output, photo, error);
        if (!live) {
            delegate->didFinishCapture(*output, job.resolved, error);
            if (!deferredID.empty()) DeferredPhotoStore::remove(deferredID);
        }
    });
}

void VirtualRig::finishMovie(PendingCapture& c, CaptureStatus error) {
    if (c.movieFailedEarly) {
        // Its movie callbacks came before the still; the capture ends now.
        auto output = c.output;
        auto delegate = c.delegate;
        ResolvedPhotoSettings resolved = c.resolved;
        std::string deferredID = c.deferred ? c.settings.captureIdentifier : std::string();
        output->callbackQueue().async([output, delegate, resolved, deferredID] {
            delegate->didFinishCapture(*output, resolved,
                                       CaptureError{CaptureErrorCode::MovieFailed, "The Live Photo movie could not be recorded"});
            if (!deferredID.empty()) DeferredPhotoStore::remove(deferredID);
        });
        return;
    }
    bool empty = c.emptyMovie;
    auto output = c.output;
    auto delegate = c.delegate;
    auto url = *c.settings.livePhotoMovieFileURL;
    auto frames = std::move(c.movieFrames);
    MovieDescription description{kFramesPerSecond, c.contentIdentifier, c.movieRotation};
    double displayTime = c.preRollFrames / kFramesPerSecond;
    bool fault = c.movieFault;
    ResolvedPhotoSettings resolved = c.resolved;
    std::string deferredID = c.deferred ? c.settings.captureIdentifier : std::string();
    output->callbackQueue().async([=, frames = std::move(frames)]() mutable {
        delegate->didFinishRecordingLivePhotoMovie(*output, url, resolved);
        if (!error && fault) error = CaptureError{CaptureErrorCode::MovieFailed, "The Live Photo movie could not be recorded"};
        if (!error && empty) {
            std::FILE* f = std::fopen(url.c_str(), "wb");  // a movie of no bytes, and no error
            if (f) std::fclose(f);
        } else if (!error) {
            error = writeLivePhotoMovie(url, frames, description);
        }
        double duration = frames.size() / kFramesPerSecond;
        delegate->didFinishProcessingLivePhotoMovie(*output, url, duration, displayTime, resolved, error);
        delegate->didFinishCapture(*output, resolved, error);
        if (!deferredID.empty()) DeferredPhotoStore::remove(deferredID);
    });
}

std::optional<std::string> VirtualRig::applyOptions(const std::string& rigFile, const std::string& sceneFile) {
    if (!rigFile.empty()) {
        auto loaded = RigProfile::load(rigFile);
        if (auto* message = std::get_if<std::string>(&loaded)) return *message;
        configure(std::get<RigProfile>(std::move(loaded)));
    }
    if (!sceneFile.empty()) return loadScenePicture(sceneFile);
    return std::nullopt;
}

}  // namespace sorvel
