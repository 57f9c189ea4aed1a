// Opening the photo picker on a library of 200 pictures, and the theme screen, until the first
// frame is drawn: the picker must draw its grid at once and decode thumbnails off the main
// thread as they come. Offscreen Qt, the real controllers, a library built once in /tmp.

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QPixmap>
#include <filesystem>

#include "app/themes/ThemeSettingsViewController.h"
#include "platform/foundation/Dispatch.h"
#include "platform/foundation/SettingsStore.h"
#include "platform/image/Bitmap.h"
#include "platform/image/ImageDestination.h"
#include "platform/photos/AssetCreationRequest.h"
#include "platform/photos/PhotoLibrary.h"
#include "platform/ui/PhotoPicker.h"
#include "platform/ui/QtMainQueue.h"

using namespace sorvel;
namespace fs = std::filesystem;

namespace {

constexpr int kPictures = 200;

// A 1600 x 1200 HEIC of a gradient, written 200 times into a fresh library.
std::shared_ptr<PhotoLibrary> libraryOf200() {
    static std::shared_ptr<PhotoLibrary> library = [] {
        fs::path folder = fs::temp_directory_path() / "sorvel-bench-picker-library";
        fs::remove_all(folder);
        auto lib = PhotoLibrary::open(folder);
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
        destination->addImage(bitmap);
        destination->finalize();
        for (int i = 0; i < kPictures; ++i) {
            auto error = lib->performChangesAndWait([&] {
                AssetCreationRequest::creationRequestForAsset().addResource(AssetResourceType::Photo, heic);
            });
            if (error) std::fprintf(stderr, "save failed: %s\n", error->description.c_str());
        }
        return lib;
    }();
    return library;
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
    auto library = libraryOf200();
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

// How long until the grid is filled: every thumbnail decoded and drawn.
void BM_PhotoPickerAllThumbnails(benchmark::State& state) {
    app();
    auto library = libraryOf200();
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
BENCHMARK(BM_PhotoPickerAllThumbnails)->Unit(benchmark::kMillisecond)->Iterations(2);

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
