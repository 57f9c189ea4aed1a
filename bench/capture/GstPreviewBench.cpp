// The GStreamer backend's preview path on a 1280 x 720 YUY2 source at 30 fps (a webcam's
// format), timed by GStreamer's own clock: from the frame's time stamp (made by the source)
// to its picture handed to the preview (turned upright for the portrait screen, as the
// preview view asks for it), and the backend's CPU time per frame: the preview branch's
// decoding, converting and copying on its streaming thread, and the whole process less a
// bare source running alone for the same time.

#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <time.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>

#include "platform/capture/CaptureSession.h"
#include "platform/capture/PhotoOutput.h"
#include "platform/capture/PreviewSink.h"
#include "platform/capture/VideoDataOutput.h"
#include "platform/capture/gstreamer/GStreamerBackend.h"
#include "platform/capture/gstreamer/GstSupport.h"

namespace sorvel {
namespace {

constexpr const char* kSource = "videotestsrc pattern=smpte is-live=true ! video/x-raw,format=YUY2,width=1280,height=720,framerate=30/1";
constexpr double kSeconds = 6;

double threadCpu() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return t.tv_sec + t.tv_nsec * 1e-9;
}

double processCpu() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_utime.tv_sec + u.ru_utime.tv_usec * 1e-6 + u.ru_stime.tv_sec + u.ru_stime.tv_usec * 1e-6;
}

// CPU seconds per frame of the bare source (into a fakesink) over the same time.
double sourceAloneCpuPerFrame() {
    ensureGStreamer();
    std::string description = std::string(kSource) + " ! fakesink sync=false";
    GstElement* p = gst_parse_launch(description.c_str(), nullptr);
    double before = processCpu();
    gst_element_set_state(p, GST_STATE_PLAYING);
    std::this_thread::sleep_for(std::chrono::duration<double>(kSeconds));
    double used = processCpu() - before;
    gst_element_set_state(p, GST_STATE_NULL);
    gst_object_unref(p);
    return used / (kSeconds * 30);
}

void BM_GstPreviewPath(benchmark::State& state) {
    double baseline = sourceAloneCpuPerFrame();
    auto made = GStreamerBackend::make(kSource);
    auto backend = std::move(std::get<std::unique_ptr<GStreamerBackend>>(made));
    CaptureBackend::install(backend.get());
    std::mutex mutex;
    std::vector<GStreamerBackend::FrameTiming> timings;
    backend->setFrameObserver([&](const GStreamerBackend::FrameTiming& t) {
        std::lock_guard lock(mutex);
        timings.push_back(t);
    });
    for (auto _ : state) {
        CaptureSession session;
        auto photo = std::make_shared<PhotoOutput>();
        auto video = std::make_shared<VideoDataOutput>();
        session.beginConfiguration();
        session.addInput(std::get<std::shared_ptr<DeviceInput>>(DeviceInput::make(CaptureDevice::defaultDevice(MediaType::Video))));
        session.addOutput(photo);
        session.addOutput(video);
        session.commitConfiguration();
        PreviewSink preview;
        preview.setSession(&session);
        // The preview view asks for the turned frame on the main thread; here it is asked for on
        // the frame thread, so the latency includes it, and its CPU is counted apart.
        std::atomic<double> turnCpu{0};
        preview.setFrameHandler([&] {
            double t0 = threadCpu();
            benchmark::DoNotOptimize(preview.currentFrame());
            turnCpu = turnCpu + (threadCpu() - t0);
        });
        session.startRunning();
        std::this_thread::sleep_for(std::chrono::milliseconds(500));  // past the start
        {
            std::lock_guard lock(mutex);
            timings.clear();
        }
        turnCpu = 0;
        double before = processCpu();
        std::this_thread::sleep_for(std::chrono::duration<double>(kSeconds));
        double used = processCpu() - before;
        double turned = turnCpu;
        std::vector<GStreamerBackend::FrameTiming> got;
        {
            std::lock_guard lock(mutex);
            got = timings;
        }
        session.stopRunning();
        preview.setSession(nullptr);
        if (got.empty()) {
            state.SkipWithError("no frames");
            break;
        }
        std::vector<double> latency, cpu;
        for (auto& t : got) {
            latency.push_back((t.presented - t.pts) * 1e-6);
            cpu.push_back(t.cpuSeconds * 1e3);
        }
        std::sort(latency.begin(), latency.end());
        double mean = 0, cpuMean = 0;
        for (double v : latency) mean += v;
        for (double v : cpu) cpuMean += v;
        state.counters["frames"] = double(got.size());
        state.counters["fps"] = got.size() / kSeconds;
        state.counters["latency_mean_ms"] = mean / latency.size();
        state.counters["latency_p95_ms"] = latency[latency.size() * 95 / 100];
        state.counters["latency_max_ms"] = latency.back();
        state.counters["budget_2_frames_ms"] = 2000.0 / 30;
        double turnPerFrame = turned / got.size() * 1e3;
        state.counters["preview_turn_cpu_ms_per_frame"] = turnPerFrame;
        state.counters["branch_cpu_ms_per_frame"] = cpuMean / cpu.size() - turnPerFrame;
        state.counters["process_cpu_ms_per_frame"] = used / got.size() * 1e3;
        state.counters["source_alone_cpu_ms_per_frame"] = baseline * 1e3;
        state.counters["backend_cpu_ms_per_frame"] = (used / got.size() - baseline) * 1e3 - turnPerFrame;
    }
    CaptureBackend::install(nullptr);
}
BENCHMARK(BM_GstPreviewPath)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
}  // namespace sorvel

BENCHMARK_MAIN();
