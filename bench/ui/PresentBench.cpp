// Opening the photo picker on a library of 200 pictures, and the theme screen, until the first
// frame is drawn: the picker must draw its grid at once and decode thumbnails off the main
// thread as they come; and until every thumbnail is drawn, from the stills' thumbnail items and
// from pictures without. Offscreen Qt, the real controllers, libraries built once in /tmp.

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QPixmap>
#include <filesystem>
#include <map>

#include "app/StillPhotoPipeline.h"
#include "app/themes/ThemeSettingsViewController.h"
#include "platform/foundation/ConsoleMute.h"
#include "platform/foundation/Dispatch.h"
#include "platform/foundation/SettingsStore.h"
#include "platform/image/Bitmap.h"
#include "platform/image/ImageDestination.h"
#include "platform/image/ImageSource.h"
#include "platform/image/RenderContext.h"
#include "platform/photos/AssetCreationRequest.h"
#include "platform/photos/PhotoLibrary.h"
#include "platform/ui/PhotoPicker.h"
#include "platform/ui/QtMainQueue.h"

using namespace sorvel;
namespace fs = std::filesystem;

namespace {

constexpr int kPictures = 200;

enum class Thumbnails { Embedded, None };

// A 1600 x 1200 gradient as the camera hands it over: a HEIC written as the rig writes its
// photos (512 tiles).
Bytes cameraPhoto() {
    image::Bitmap bitmap = *image::Bitmap::make(1600, 1200, image::PixelFormat::RGBA8, image::ColorSpace::SRGB);
    for (int y = 0; y < 1200; ++y)
        for (int x = 0; x < 1600; ++x) {
            std::uint8_t* p = bitmap.mutableRow(y) + x * 4;
            p[0] = static_cast<std::uint8_t>(x * 255 / 1600);
            p[1] = static_cast<std::uint8_t>(y * 255 / 1200);
            p[2] = 128;
            p[3] = 255;
        }
    Bytes heic;
    auto destination = image::ImageDestination::make(heic, image::kTypeHEIC, 1);
    destination->addImage(bitmap, {{image::kHEICTileSize, 512}, {image::kHEICThumbnailSize, 0}});
    destination->finalize();
    return heic;
}

// That photo saved 200 times into a fresh library: through the app's still save
// (scalePhotoResolutionAndConvertToHEIC, which writes the thumbnail), or for the pictures of
// other software that have none, decoded and written again without one.
std::shared_ptr<PhotoLibrary> libraryOf200(Thumbnails kind) {
    static std::map<Thumbnails, std::shared_ptr<PhotoLibrary>> libraries;
    if (auto it = libraries.find(kind); it != libraries.end()) return it->second;
    fs::path folder = fs::temp_directory_path() /
                      (kind == Thumbnails::Embedded ? "sorvel-bench-picker-library" : "sorvel-bench-picker-library-plain");
    fs::remove_all(folder);
    auto lib = PhotoLibrary::open(folder);
    const Bytes photo = cameraPhoto();
    std::optional<Bytes> heic;
    if (kind == Thumbnails::Embedded) {
        ScopedConsoleMute quiet;
        heic = scalePhotoResolutionAndConvertToHEIC(photo, 1.0, 1, false, {});
    } else {
        auto decoded = image::ImageSource::make(photo)->image();
        image::RenderContext context;
        auto bitmap = context.render(*decoded, decoded->extent(), image::PixelFormat::RGBA8, image::ColorSpace::DisplayP3);
        Bytes out;
        auto destination = image::ImageDestination::make(out, image::kTypeHEIC, 1);
        destination->addImage(*bitmap, {{image::kLossyCompressionQuality, 0.8},
                                        {image::kProfileName, image::kColorSpaceDisplayP3},
                                        {image::kHEICThumbnailSize, 0}});
        if (destination->finalize()) heic = std::move(out);
    }
    if (!heic) {
        std::fprintf(stderr, "the library's picture could not be written\n");
        std::exit(1);
    }
    for (int i = 0; i < kPictures; ++i) {
            auto error = lib->performChangesAndWait([&] {
            AssetCreationRequest::creationRequestForAsset().addResource(AssetResourceType::Photo, *heic);
        });
        if (error) std::fprintf(stderr, "save failed: %s\n", error->description.c_str());
    }
    libraries[kind] = lib;
    return lib;
}

struct Host : ScreenController {
    Host() : ScreenController(ScreenProfile::phone()) {}
};

QApplication& app() {
    static int argc = 1;
    static char name[] = "present-bench";
    static char* argv[] = {name, nullptr};
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static QApplication application(argc, argv);
    static QtMainQueue queue;
    static std::unique_ptr<SettingsStore> store = SettingsStore::inMemory();
    static bool installed = [] {
        DispatchQueue::installMain(&queue);
        SettingsStore::setStandard(store.get());
        return true;
    }();
    (void)installed;
    return application;
}

void BM_PhotoPickerFirstFrame(benchmark::State& state) {
    app();
    auto library = libraryOf200(Thumbnails::Embedded);
    Host host;
    host.view()->show();
    for (auto _ : state) {
        auto picker = std::make_shared<PhotoPickerController>(ScreenProfile::phone(), library);
        host.present(picker, Animated::No);
        QPixmap frame = host.view()->grab();
        benchmark::DoNotOptimize(frame);
        state.PauseTiming();
        if (picker->assets().size() != kPictures) state.SkipWithError("the library does not hold 200 pictures");
        host.dismiss(Animated::No);
        picker.reset();
        // The queued decodes of a closed picker end at once; let them drain.
        QCoreApplication::processEvents();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_PhotoPickerFirstFrame)->Unit(benchmark::kMillisecond)->Iterations(20);

// How long until the grid is filled: every thumbnail decoded and drawn. Argument 0: the app's
// stills, with their thumbnail items; 1: pictures without, decoded whole and reduced.
void BM_PhotoPickerAllThumbnails(benchmark::State& state) {
    app();
    auto library = libraryOf200(state.range(0) == 0 ? Thumbnails::Embedded : Thumbnails::None);
    Host host;
    host.view()->show();
    for (auto _ : state) {
        auto picker = std::make_shared<PhotoPickerController>(ScreenProfile::phone(), library);
        host.present(picker, Animated::No);
        while (picker->thumbnailsLoaded() < kPictures) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        }
        state.PauseTiming();
        host.dismiss(Animated::No);
        state.ResumeTiming();
    }
}
BENCHMARK(BM_PhotoPickerAllThumbnails)->Arg(0)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_PhotoPickerAllThumbnails)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(2);

void BM_ThemeScreenFirstFrame(benchmark::State& state) {
    app();
    Host host;
    host.view()->show();
    for (auto _ : state) {
        auto theme = std::make_shared<ThemeSettingsViewController>();
        host.present(theme, Animated::No);
        QPixmap frame = host.view()->grab();
        benchmark::DoNotOptimize(frame);
        state.PauseTiming();
        host.dismiss(Animated::No);
        state.ResumeTiming();
    }
}
BENCHMARK(BM_ThemeScreenFirstFrame)->Unit(benchmark::kMillisecond)->Iterations(20);

}  // namespace

BENCHMARK_MAIN();
