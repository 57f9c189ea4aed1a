// The deep-mode development of a 12-megapixel DNG made by the virtual rig, stage by stage, and
// whole (DNG bytes to the HEIC saved in the library) at the seeded defaults: exposure search on,
// scale 1, colour boost on, quality 0.65, user filter and watermark off. The filter and the
// watermark are measured separately, as they cost when switched on. Filter, boost and watermark
// only add steps to the picture's recipe; their pixels are computed in the final render, so
// their cost is the render with them minus the render without.
//
// LivePhotoPressToPairedAsset presses the shutter of a loaded controller in Live Photo mode.
//
// Counters of DeepWholeDevelopment (ms, mean over the iterations): open (header read), decode
// (LibRaw unpack and demosaic), search_try1 (first exposure-search try, decode excluded),
// search_later (mean of the later tries), develop (final detail steps), render, encode, save.

#include <benchmark/benchmark.h>

#include <QApplication>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <thread>
#include <variant>

#include "app/AppEnvironment.h"
#include "app/ExposureSearch.h"
#include "app/PhotoLibrarySaves.h"
#include "app/RAWCaptureDelegate.h"
#include "app/StillPhotoPipeline.h"
#include "app/ViewController.h"
#include "app/Watermark.h"
#include "app/filters/FilterChain.h"
#include "platform/capture/virtual/PhotoPipeline.h"
#include "platform/capture/virtual/RigProfile.h"
#include "platform/capture/virtual/Scene.h"
#include "platform/capture/virtual/SensorModel.h"
#include "platform/capture/virtual/VirtualRig.h"
#include "platform/foundation/Clock.h"
#include "platform/foundation/Console.h"
#include "platform/foundation/Dispatch.h"
#include "platform/foundation/SettingsStore.h"
#include "platform/image/ImageSource.h"
#include "platform/image/RenderContext.h"
#include "platform/image/raw/RawDecoder.h"
#include "platform/image/raw/RawFilter.h"
#include "platform/motion/Accelerometer.h"
#include "platform/photos/PhotoLibrary.h"
#include "platform/ui/Haptics.h"

using namespace sorvel;
using namespace sorvel::image;

namespace {

using Seconds = std::chrono::duration<double>;
double now() { return Seconds(std::chrono::steady_clock::now().time_since_epoch()).count(); }

// A fresh app home and library, a manual main queue, and the seeded settings of the deep mode.
struct World {
    std::filesystem::path folder;
    VirtualClock clock{1796579052.0};
    std::unique_ptr<ManualMainQueue> mainQueue;
    std::unique_ptr<AppEnvironment> env;
    ConsoleCapture quiet;

    World() {
        folder = std::filesystem::temp_directory_path() / ("sorvel-deep-bench-" + std::to_string(::getpid()));
        std::filesystem::remove_all(folder);
        Clock::install(&clock);
        mainQueue = std::make_unique<ManualMainQueue>(clock);
        DispatchQueue::installMain(mainQueue.get());
        env = std::make_unique<AppEnvironment>(folder / "home", folder / "library");
        PhotoLibrary::setShared(PhotoLibrary::open(env->library()));
        SettingsStore& s = env->settings();
        s.setBool(true, "setting_0");
        s.setBool(true, "setting_4");
        s.setObject(Value("HEIC"), "save_format");
        s.setFloat(0.65f, "quality_setting");
        s.setFloat(1.0f, "heic_resolution_scale");
        s.setBool(true, "setting_11");
        s.setBool(true, "setting_5");
        s.setBool(false, "setting_12");
    }
    ~World() {
        mainQueue->runUntilIdle();
        PhotoLibrary::setShared(nullptr);
        env.reset();
        DispatchQueue::installMain(nullptr);
        mainQueue.reset();
        Clock::install(nullptr);
        std::filesystem::remove_all(folder);
    }
};

World& world() {
    static World w;
    return w;
}

// The rig's back wide camera after its automatic exposure has settled on the built-in scene.
const Bytes& rigDng() {
    static const Bytes bytes = [] {
        const RigProfile& rig = RigProfile::builtIn();
        const DeviceDescription* camera = &rig.cameras.front();
        for (const auto& c : rig.cameras)
            if (c.position == DevicePosition::Back) {
                camera = &c;
                break;
            }
        auto raster = Scene::builtIn()->rasterFor(*camera);
        DeviceControlState control;
        for (int i = 0; i < 80; ++i) {
            Metering m = SensorModel::meter(*raster, *camera, 1, control.exposurePoint, control.focusPoint);
            SensorModel::runAutomaticControls(control, *camera, m);
        }
        StillJob job;
        job.camera = *camera;
        job.make = rig.make;
        job.model = rig.model;
        job.raster = raster;
        job.exposure.duration = control.exposureDuration;
        job.exposure.iso = control.iso;
        job.exposure.lensPosition = control.lensPosition;
        job.exposure.gains = control.gains;
        job.raw = true;
        job.orientation = 6;
        auto photo = takeStill(job);
        if (auto* p = std::get_if<CapturedPhoto>(&photo); p && p->fileData) return *p->fileData;
        return Bytes{};
    }();
    return bytes;
}

Dictionary exifOf(const Bytes& dng) {
    Dictionary metadata;
    if (auto source = ImageSource::make(dng))
        if (auto it = source->properties().find("{Exif}"); it != source->properties().end()) metadata["{Exif}"] = it->second;
    return metadata;
}

// The developer with the deep mode's options at the seeded defaults (search result -0.1).
std::unique_ptr<RawFilter> deepDeveloper() {
    auto f = RawFilter::make(rigDng());
    f->setValue("inputEV", -0.1);
    f->setValue("inputEnableSharpening", 0.0);
    f->setValue("inputNoiseReductionAmount", 1.0);
    f->setValue("inputColorNoiseReductionAmount", 0.9);
    f->setValue("inputLuminanceNoiseReductionAmount", 0.8);
    f->setValue("inputNoiseReductionSharpnessAmount", 0.0);
    f->setValue("inputScaleFactor", 1.0);
    f->setValue("inputLocalToneMapAmount", 0.0);
    f->setValue("inputBoost", 0.0);
    f->setValue("inputBoostShadowAmount", 0.0);
    return f;
}

// The developed picture at the deep options, computed once and kept.
const Image& developedPicture() {
    static std::unique_ptr<RawFilter> f = deepDeveloper();
    static const Image picture = *f->outputImage();
    return picture;
}

std::optional<Bitmap> renderHalfP3(const Image& picture) {
    return RenderContext().render(picture, picture.extent(), PixelFormat::RGBAHalf, ColorSpace::DisplayP3);
}

void fail(benchmark::State& state, const char* why) { state.SkipWithError(why); }

// What one try of the exposure search reads from the developer.
std::optional<Image> searchRead(const RawFilter& f) { return f.reducedOutputImage(); }
// Makes the developer decode now, outside a timed part.
void decodeNow(const RawFilter& f) { f.demosaicNow(); }

// Opening the bytes, unpacking and demosaicing into float planes, nothing else (no detail steps,
// no tone). 0: the developer's own demosaic; 1: LibRaw's AHD (what the developer used before, and
// still uses for sensors its own demosaic does not handle).
void DeepDecodeDemosaic(benchmark::State& state) {
    const auto method = state.range(0) == 0 ? raw::Demosaicing::Fast : raw::Demosaicing::LibRawAHD;
    for (auto _ : state) {
        std::string why;
        auto decoder = raw::RawDecoder::open(rigDng(), &why);
        auto out = decoder ? decoder->decode(false, &why, method) : std::nullopt;
        if (!out) return fail(state, "no output");
        benchmark::DoNotOptimize(out);
    }
    state.SetLabel(state.range(0) == 0 ? "own demosaic" : "LibRaw AHD");
}
BENCHMARK(DeepDecodeDemosaic)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

// The exposure search's tries as the deep path makes them (developer defaults, "inputEV"
// changed, analysed at 256 x 256). range(0) 1: the first try after the decode; 2: a later try.
void DeepSearchTry(benchmark::State& state) {
    const bool later = state.range(0) == 2;
    float ev = 0.3f;
    for (auto _ : state) {
        state.PauseTiming();
        auto f = RawFilter::make(rigDng());
        // The decode is its own stage: make it happen outside the timed part.
        decodeNow(*f);
        if (later) {
            f->setValue("inputEV", 0.3);
            analyzeImage(*searchRead(*f));
        }
        state.ResumeTiming();
        f->setValue("inputEV", static_cast<double>(ev -= 0.1f));
        auto [over, under] = analyzeImage(*searchRead(*f));
        benchmark::DoNotOptimize(over + under);
    }
}
BENCHMARK(DeepSearchTry)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

// analyzeImage alone on a 12 MP developed picture (the old way of searching: the thumbnail is
// resampled from the full picture) and on the small search copy.
void DeepAnalyzeImage(benchmark::State& state) {
    static std::unique_ptr<RawFilter> f = [] {
        auto d = RawFilter::make(rigDng());
        d->outputImage();
        return d;
    }();
    const Image picture = state.range(0) == 0 ? *f->outputImage() : *searchRead(*f);
    for (auto _ : state) {
        auto r = analyzeImage(picture);
        benchmark::DoNotOptimize(r);
    }
    state.SetLabel(state.range(0) == 0 ? "full picture" : "search copy");
}
BENCHMARK(DeepAnalyzeImage)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

// The final detail steps (noise reduction at the deep options) on the cached demosaic.
void DeepDevelopDetail(benchmark::State& state) {
    auto f = deepDeveloper();
    f->outputImage();
    double nr = 0.9;
    for (auto _ : state) {
        f->setValue("inputColorNoiseReductionAmount", nr = (nr == 0.9 ? 0.91 : 0.9));
        auto out = f->outputImage();
        benchmark::DoNotOptimize(out);
    }
}
BENCHMARK(DeepDevelopDetail)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

// The final render to half-float Display P3 of the developed picture: 0 plain, 1 with the colour
// boost, 2 boost and a five-parameter user filter, 3 boost and the watermark (drawn at 3x).
void DeepFinalRender(benchmark::State& state) {
    const Image& developed = developedPicture();
    ParameterMap filter = {{"2", 1.1f}, {"3", 1.2f}, {"8", 6000.0f}, {"19", 1.0f}, {"21", 0.3f}};
    const Dictionary metadata = exifOf(rigDng());
    double build = 0;
    // The watermark switch is set outside the timed part: the settings store writes it to disk.
    if (state.range(0) == 3) world().env->settings().setBool(true, "setting_12");
    for (auto _ : state) {
        const double t0 = now();
        Image picture = developed;
        if (state.range(0) >= 1)
            picture = *picture.applyingFilter("CIColorControls", {{"inputContrast", 1.015}, {"inputSaturation", 1.08}});
        if (state.range(0) == 2) picture = applyFilters(picture, filter);
        if (state.range(0) == 3) picture = addWatermarkInternal(picture, metadata, std::nullopt, false, 3.0);
        build += now() - t0;
        auto bitmap = renderHalfP3(picture);
        if (!bitmap) return fail(state, "render failed");
        benchmark::DoNotOptimize(bitmap);
    }
    if (state.range(0) == 3) world().env->settings().setBool(false, "setting_12");
    state.counters["build_ms"] = 1000 * build / static_cast<double>(state.iterations());
    static const char* labels[] = {"plain", "boost", "boost+filter", "boost+watermark"};
    state.SetLabel(labels[state.range(0)]);
}
BENCHMARK(DeepFinalRender)->DenseRange(0, 3)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

const Bitmap& renderedBitmap() {
    static const Bitmap b = *renderHalfP3(developedPicture());
    return b;
}

void DeepHeicEncode(benchmark::State& state) {
    const Dictionary metadata = exifOf(rigDng());
    const Bitmap& bitmap = renderedBitmap();
    for (auto _ : state) {
        auto heic = heicData(bitmap, 0.65, metadata);
        if (!heic) return fail(state, "encode failed");
        benchmark::DoNotOptimize(heic);
    }
}
BENCHMARK(DeepHeicEncode)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

// Adding the HEIC to the library: from the call until the library reports the asset written.
void DeepLibrarySave(benchmark::State& state) {
    static const Bytes heic = *heicData(renderedBitmap(), 0.65, exifOf(rigDng()));
    for (auto _ : state) {
        std::atomic<bool> done{false}, ok{false};
        saveToPhotoLibrary(LibrarySaveKind::DeepHeic, heic, std::nullopt, std::nullopt,
                           [&](bool success, const std::string&, const std::string&) {
                               ok = success;
                               done = true;
                           });
        while (!done) world().mainQueue->runUntilIdle();
        if (!ok) return fail(state, "save failed");
    }
}
BENCHMARK(DeepLibrarySave)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

// The whole development through the capture delegate, at the seeded defaults.
void DeepWholeDevelopment(benchmark::State& state) {
    World& w = world();
    const Bytes& dng = rigDng();
    double open = 0, decode = 0, try1 = 0, later = 0, develop = 0, render = 0, encode = 0, save = 0;
    int laterCount = 0;
    std::size_t before = PhotoLibrary::shared().assets().size();
    for (auto _ : state) {
        RAWCaptureDelegate delegate;
        delegate.convertRawToHEICAndSave(dng);
        const double t0 = now();
        while (PhotoLibrary::shared().assets().size() <= before) w.mainQueue->runUntilIdle();
        save += now() - t0;
        ++before;
        if (!delegate.heicData) return fail(state, "no HEIC made");
        const auto& t = delegate.timings;
        open += t.open, decode += t.decode, develop += t.develop, render += t.render, encode += t.encode;
        if (!t.searchTries.empty()) try1 += t.searchTries[0];
        for (std::size_t i = 1; i < t.searchTries.size(); ++i, ++laterCount) later += t.searchTries[i];
    }
    const double n = static_cast<double>(state.iterations());
    state.counters["open_ms"] = 1000 * open / n;
    state.counters["decode_ms"] = 1000 * decode / n;
    state.counters["search_try1_ms"] = 1000 * try1 / n;
    state.counters["search_later_ms"] = laterCount ? 1000 * later / laterCount : 0.0;
    state.counters["develop_ms"] = 1000 * develop / n;
    state.counters["render_ms"] = 1000 * render / n;
    state.counters["encode_ms"] = 1000 * encode / n;
    state.counters["save_ms"] = 1000 * save / n;
}
BENCHMARK(DeepWholeDevelopment)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

// A Live Photo press on the rig, from the shutter action until the library holds the paired
// asset and the controller is idle again. The rig runs in step mode: it makes each frame as soon
// as it is asked for (a frame is 1/30 s of virtual time), so this is the processing of the press
// (still, movie frames, movie file, paired save), not the movie's length in real time.
void LivePhotoPressToPairedAsset(benchmark::State& state) {
    World& w = world();
    SettingsStore& settings = w.env->settings();
    settings.setBool(false, "setting_0");
    settings.setBool(true, "setting_2");
    VirtualRig::shared().reset(RigMode::Step);
    RecordingHaptics haptics;
    HapticsBackend::install(&haptics);
    SimulatedPhone::shared()->setAttitude(PhoneAttitude::Portrait);
    auto vc = std::make_shared<ViewController>(ScreenProfile::phone());
    vc->loadViewIfNeeded();
    int frames = 0;
    auto pump = [&](const std::function<bool()>& done, int maxFrames) {
        for (int i = 0; i < maxFrames; ++i) {
            w.mainQueue->runUntilIdle();
            if (done()) return true;
            VirtualRig::shared().step();
            ++frames;
            w.mainQueue->advance(1.0 / 30);
        }
        w.mainQueue->runUntilIdle();
        return done();
    };
    const bool started = pump([&] { return vc->previewLayer && vc->previewLayer->currentFrame() != nullptr; }, 10);
    frames = 0;
    for (auto _ : state) {
        if (!started) {
            fail(state, "the camera delivered no frame");
            break;
        }
        const std::size_t before = PhotoLibrary::shared().assets().size();
        vc->按下拍照按钮();
        const bool saved = pump(
            [&] {
                return PhotoLibrary::shared().assets().size() > before && !vc->isProcessingPhoto &&
                       !vc->isCapturingLivePhoto.load();
            },
            900);
        if (!saved) {
            fail(state, "no paired asset");
            break;
        }
    }
    state.counters["rig_frames"] = static_cast<double>(frames) / static_cast<double>(std::max<std::int64_t>(1, state.iterations()));
    vc->captureSession->stopRunning();
    w.mainQueue->runUntilIdle();
    vc.reset();
    w.mainQueue->runUntilIdle();
    HapticsBackend::install(nullptr);
    settings.setBool(true, "setting_0");
}
BENCHMARK(LivePhotoPressToPairedAsset)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);  // the watermark draws text with the platform fonts
    benchmark::Initialize(&argc, argv);
    world();
    if (rigDng().empty()) {
        std::fprintf(stderr, "the rig made no DNG\n");
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    return 0;
}
