// The filtered live preview: what one frame costs the frame handler's filter step (off the main
// thread) and the overlay's paint (on it), and how many pictures a second the running camera
// screen actually shows, with filtering on and off. The filter is the five-parameter one of the
// deep-mode benchmark (contrast, saturation, temperature, vignette, shadows).
//
// ShownFramesPerSecond runs the whole app for 10 s as the window does (real-time virtual rig at
// 30 frames a second, Qt event loop; a window when a display is there, else offscreen)
// and counts the paint events that draw a new picture: filteredImageView's with filtering on,
// the camera preview's with it off. Counters: shown_fps, camera_fps (frames the rig delivered),
// dropped_fps (frames the video output dropped because the handler was still busy).

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QMouseEvent>
#include <chrono>
#include <thread>
#include <QEvent>
#include <QImage>
#include <QTimer>
#include <filesystem>
#include <functional>
#include <stdlib.h>

#include "app/AppEnvironment.h"
#include "app/AppMain.h"
#include "app/PictureConversion.h"
#include "app/PreviewView.h"
#include "app/ViewController.h"
#include "app/filters/FilterChain.h"
#include "app/filters/SavedFilter.h"
#include "platform/capture/virtual/VirtualRig.h"
#include "platform/foundation/Console.h"
#include "platform/image/RenderContext.h"
#include "platform/ui/Application.h"
#include "platform/ui/ImageView.h"
#include "platform/ui/Slider.h"
#include "platform/ui/StackView.h"
#include "platform/ui/Window.h"

namespace fs = std::filesystem;
using namespace sorvel;

namespace {

Application* theApp = nullptr;

const ParameterMap kFiveParameters = {{"2", 1.1f}, {"3", 1.2f}, {"8", 6000.0f}, {"19", 1.0f}, {"21", 0.3f}};

fs::path makeTempFolder() {
    std::string pattern = (fs::temp_directory_path() / "sorvel-bench-XXXXXX").string();
    return ::mkdtemp(pattern.data());
}

// A frame as the rig delivers it: 1280 x 960 BGRA in sensor orientation, with some texture.
std::shared_ptr<PixelBuffer> sensorFrame() {
    auto frame = std::make_shared<PixelBuffer>();
    frame->width = 1280;
    frame->height = 960;
    frame->bytesPerRow = 1280 * 4;
    frame->bgra.resize(static_cast<std::size_t>(frame->bytesPerRow) * 960);
    for (int y = 0; y < 960; ++y)
        for (int x = 0; x < 1280; ++x) {
            std::uint8_t* p = frame->bgra.data() + y * frame->bytesPerRow + x * 4;
            p[0] = static_cast<std::uint8_t>(x / 5);
            p[1] = static_cast<std::uint8_t>(y / 4);
            p[2] = static_cast<std::uint8_t>((x ^ y) & 0xff);
            p[3] = 255;
        }
    return frame;
}

image::Image uprightFrame(const std::shared_ptr<PixelBuffer>& frame) {
    image::PixelBuffer wrapped;
    wrapped.width = frame->width;
    wrapped.height = frame->height;
    wrapped.bytesPerRow = static_cast<std::size_t>(frame->bytesPerRow);
    wrapped.data = frame->bgra.data();
    wrapped.owner = frame;
    return image::Image::fromPixelBuffer(wrapped)->oriented(6);
}

// The filter step's work for one frame: the chain over the upright frame, rendered for the
// overlay. Off the main thread in the app.
void BM_PreviewFrameRender(benchmark::State& state) {
    auto frame = sensorFrame();
    image::RenderContext context;
    const bool filtered = state.range(0) != 0;
    for (auto _ : state) {
        image::Image picture = uprightFrame(frame);
        if (filtered) picture = applyFilters(picture, kFiveParameters);
        auto shown = renderToQImage(picture, context, 1280);
        if (!shown) state.SkipWithError("render failed");
        benchmark::DoNotOptimize(shown);
    }
}
BENCHMARK(BM_PreviewFrameRender)->ArgName("filter5")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

// The same with one of the five parameters alone (by its place in the list): which one costs.
void BM_PreviewFrameRenderOneParameter(benchmark::State& state) {
    auto frame = sensorFrame();
    image::RenderContext context;
    auto it = std::next(kFiveParameters.begin(), state.range(0));
    ParameterMap one = {*it};
    state.SetLabel("id " + it->first);
    for (auto _ : state) {
        auto shown = renderToQImage(applyFilters(uprightFrame(frame), one), context, 1280);
        if (!shown) state.SkipWithError("render failed");
        benchmark::DoNotOptimize(shown);
    }
}
BENCHMARK(BM_PreviewFrameRenderOneParameter)->DenseRange(0, 4)->Unit(benchmark::kMillisecond)->UseRealTime();

// The main thread's part of a shown picture: the overlay takes the new picture and paints
// itself (aspect-fit, smooth scaling) at the phone screen's size.
void BM_OverlayPaint(benchmark::State& state) {
    ImageView view(QRectF(0, 0, 390, 844));
    view.setContentMode(ContentMode::AspectFit);
    QImage picture(960, 1280, QImage::Format_RGBA8888_Premultiplied);
    picture.fill(QColor(90, 120, 150));
    QImage target(390, 844, QImage::Format_ARGB32_Premultiplied);
    for (auto _ : state) {
        view.setImage(picture);
        view.render(&target);
    }
}
BENCHMARK(BM_OverlayPaint)->Unit(benchmark::kMillisecond)->UseRealTime();

// Counts paint events; with `picture` set, only those that draw a picture other than the last
// one drawn (a view is also repainted when something under or over it changes).
class PaintCounter : public QObject {
public:
    int paints = 0;
    std::function<const void*()> picture;
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() != QEvent::Paint) return false;
        if (picture) {
            const void* now = picture();
            if (now == last_) return false;
            last_ = now;
        }
        ++paints;
        return false;
    }

private:
    const void* last_ = nullptr;
};

// A 200-change drag of the exposure slider in the edit view, through the real controller: each
// mouse move runs the slider handler (field text, the rows read back, the filter list written to
// the settings store on disk); then the next frame is filtered off the main thread and the main
// thread shows it (the hand-off block and the overlay's paint). Counters, in ms per change:
// handler (mean), handler_max, show (mean), show_max, main_max (the worst change's handler plus
// show on the main thread), render (mean, off the main thread), overlay_paints (paint events of
// the overlay per change); handler_cpu and show_cpu are the
// main thread's CPU time for the same steps (mean), which a loaded machine does not inflate.
void BM_SliderDrag200(benchmark::State& state) {
    fs::path folder = makeTempFolder();
    AppEnvironment env(folder / "home", folder / "library");
    CommandLine line;
    if (auto error = prepareCameraAndLibrary(line, env, RigMode::Step)) state.SkipWithError(error->c_str());
    auto controller = std::make_shared<ViewController>(ScreenProfile::phone());
    Window window(*controller);
    window.makeKeyAndVisible();
    QCoreApplication::processEvents();
    controller->toggleFilterView();
    auto* first = dynamic_cast<Button*>(controller->filterListView->arrangedSubviews().at(0));
    controller->filterButtonTapped(first);
    QCoreApplication::processEvents();
    controller->editCurrentFilter();
    // The exposure row's slider.
    Slider* slider = nullptr;
    for (QObject* o : controller->filterParameterRowsView->arrangedSubviews().at(0)->children())
        if ((slider = dynamic_cast<Slider*>(o))) break;
    auto frame = sensorFrame();
    const image::Image upright = uprightFrame(frame);

    PaintCounter overlayPaints;
    controller->filteredImageView->installEventFilter(&overlayPaints);
    double handlerSum = 0, handlerMax = 0, showSum = 0, showMax = 0, mainMax = 0, renderSum = 0;
    double handlerCpu = 0, showCpu = 0;
    auto cpuNow = [] {
        timespec t{};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
        return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
    };
    int changes = 0;
    auto ms = [](std::chrono::steady_clock::time_point a, std::chrono::steady_clock::time_point b) {
        return std::chrono::duration<double, std::milli>(b - a).count();
    };
    auto send = [&](QEvent::Type type, double x) {
        QPointF at(x, slider->height() / 2.0);
        QMouseEvent e(type, at, slider->mapToGlobal(at), type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton,
                      type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(slider, &e);
    };
    for (auto _ : state) {
        send(QEvent::MouseButtonPress, 20);
        for (int i = 0; i < 200; ++i) {
            double x = 20 + (slider->width() - 40) * (i % 100) / 100.0 + (i / 100) * 0.5;
            auto t0 = std::chrono::steady_clock::now();
            double c0 = cpuNow();
            send(QEvent::MouseMove, x);
            double c1 = cpuNow();
            auto t1 = std::chrono::steady_clock::now();
            std::thread render([&] { controller->updateLiveFilterPreview(upright); });
            render.join();
            auto t2 = std::chrono::steady_clock::now();
            double c2 = cpuNow();
            // The hand-off block, then the repaints it and the handler asked for (the window's
            // update request, posted while the first round ran).
            QCoreApplication::processEvents();
            QCoreApplication::processEvents();
            double c3 = cpuNow();
            auto t3 = std::chrono::steady_clock::now();
            handlerCpu += c1 - c0;
            showCpu += c3 - c2;
            double handler = ms(t0, t1), show = ms(t2, t3);
            handlerSum += handler;
            showSum += show;
            renderSum += ms(t1, t2);
            handlerMax = std::max(handlerMax, handler);
            showMax = std::max(showMax, show);
            mainMax = std::max(mainMax, handler + show);
            ++changes;
        }
        send(QEvent::MouseButtonRelease, 20);
    }
    controller->filteredImageView->removeEventFilter(&overlayPaints);
    // Paint events of the overlay per change: 1 when each new picture was drawn once.
    state.counters["overlay_paints"] = static_cast<double>(overlayPaints.paints) / changes;
    state.counters["handler"] = handlerSum / changes;
    state.counters["handler_max"] = handlerMax;
    state.counters["show"] = showSum / changes;
    state.counters["show_max"] = showMax;
    state.counters["main_max"] = mainMax;
    state.counters["render"] = renderSum / changes;
    // The main thread's own CPU time: what the figures would be on an idle machine.
    state.counters["handler_cpu"] = handlerCpu / changes;
    state.counters["show_cpu"] = showCpu / changes;
    controller->stopCaptureAndWaitForFrames();
    fs::remove_all(folder);
}
BENCHMARK(BM_SliderDrag200)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();


void BM_ShownFramesPerSecond(benchmark::State& state) {
    const bool filterOn = state.range(0) != 0;
    fs::path folder = makeTempFolder();
    for (auto _ : state) {
        AppEnvironment env(folder / "home", folder / "library");
        CommandLine line;
        if (auto error = prepareCameraAndLibrary(line, env, RigMode::RealTime)) state.SkipWithError(error->c_str());
        auto controller = std::make_shared<ViewController>(ScreenProfile::phone());
        Window window(*controller);
        window.makeKeyAndVisible();
        if (filterOn) {
            controller->setSelectedFilter(makeSavedFilter("bench", kFiveParameters));
            controller->setFilterEnabled(true);
        }
        QWidget* shown = filterOn ? static_cast<QWidget*>(controller->filteredImageView)
                                  : static_cast<QWidget*>(controller->previewView);
        PaintCounter counter;
        if (filterOn)
            counter.picture = [&] { return static_cast<const void*>(controller->filteredImageView->image().constBits()); };
        else
            counter.picture = [&] { return static_cast<const void*>(controller->previewLayer->currentFrame().get()); };
        shown->installEventFilter(&counter);

        // Count from the first picture on: the session takes a moment to start.
        QElapsedTimer clock;
        std::uint64_t droppedAtStart = 0, framesAtStart = 0;
        bool counting = false;
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, [&] {
            if (counting) {
                if (clock.elapsed() >= 10000) theApp->quit(0);
                return;
            }
            if (counter.paints == 0) return;
            counting = true;
            counter.paints = 0;
            droppedAtStart = controller->videoDataOutput ? controller->videoDataOutput->droppedFrameCount() : 0;
            framesAtStart = VirtualRig::shared().frameCount();
            clock.start();
        });
        poll.start(10);
        theApp->exec();
        double seconds = static_cast<double>(clock.elapsed()) / 1000.0;
        state.counters["shown_fps"] = counter.paints / seconds;
        state.counters["camera_fps"] = static_cast<double>(VirtualRig::shared().frameCount() - framesAtStart) / seconds;
        std::uint64_t dropped = controller->videoDataOutput ? controller->videoDataOutput->droppedFrameCount() - droppedAtStart : 0;
        state.counters["dropped_fps"] = static_cast<double>(dropped) / seconds;
        shown->removeEventFilter(&counter);
        controller->captureSession->stopRunning();
    }
    fs::remove_all(folder);
}
BENCHMARK(BM_ShownFramesPerSecond)->ArgName("filter")->Arg(0)->Arg(1)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
    setConsoleStream(stderr);
    // A real window when a display is there (xvfb-run gives one), offscreen otherwise.
    Application app(argc, argv, Application::displayAvailable() ? DisplayMode::Window : DisplayMode::Headless);
    theApp = &app;
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
