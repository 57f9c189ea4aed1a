// The normal still's processing after the capture framework delivered its HEIC, stage by stage,
// and a deep-mode development of a 12-megapixel DNG.

#include <benchmark/benchmark.h>

#include <QApplication>
#include <cmath>

#include "app/ExposureSearch.h"
#include "app/StillPhotoPipeline.h"
#include "platform/capture/DeviceDescription.h"
#include "platform/capture/virtual/RigProfile.h"
#include "platform/foundation/Console.h"
#include "platform/foundation/SettingsStore.h"
#include "platform/image/ImageDestination.h"
#include "platform/image/raw/RawFilter.h"

using namespace sorvel;
using namespace sorvel::image;

namespace {

// A 4032 x 3024 picture with detail everywhere (gradients and a fine pattern), as a camera HEIC.
const Bytes& cameraHeic() {
    static const Bytes bytes = [] {
        auto bitmap = Bitmap::make(4032, 3024, PixelFormat::RGBA8, ColorSpace::SRGB);
        for (int y = 0; y < 3024; ++y)
            for (int x = 0; x < 4032; ++x) {
                std::uint8_t* p = bitmap->mutableRow(y) + x * 4;
                p[0] = static_cast<std::uint8_t>(x * 255 / 4031);
                p[1] = static_cast<std::uint8_t>(y * 255 / 3023);
                p[2] = static_cast<std::uint8_t>(((x / 7) ^ (y / 5)) & 0xff);
                p[3] = 255;
            }
        Bytes out;
        auto d = ImageDestination::make(out, kTypeHEIC, 1);
        d->addImage(*bitmap, {{kLossyCompressionQuality, 0.8},
                              {"{Exif}", Dictionary{{"ExposureTime", 0.01}, {"ISOSpeedRatings", Array{Value(100)}}}}});
        d->finalize();
        return out;
    }();
    return bytes;
}

void StillPipeline(benchmark::State& state) {
    auto store = SettingsStore::inMemory();
    SettingsStore::setStandard(store.get());
    store->setFloat(0.65f, "quality_setting_2");
    const Bytes& heic = cameraHeic();
    ConsoleCapture quiet;
    StillPhotoTimings t, sum;
    for (auto _ : state) {
        auto out = scalePhotoResolutionAndConvertToHEIC(heic, 1.0, 1, false, {}, &t);
        benchmark::DoNotOptimize(out);
        sum.decode += t.decode, sum.scale += t.scale, sum.orient += t.orient, sum.render += t.render, sum.encode += t.encode;
    }
    double n = static_cast<double>(state.iterations());
    state.counters["decode_ms"] = 1000 * sum.decode / n;
    state.counters["scale_ms"] = 1000 * sum.scale / n;
    state.counters["orient_ms"] = 1000 * sum.orient / n;
    state.counters["render_ms"] = 1000 * sum.render / n;
    state.counters["encode_ms"] = 1000 * sum.encode / n;
    SettingsStore::setStandard(nullptr);
}
BENCHMARK(StillPipeline)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    return 0;
}
