// The normal still's processing after the capture framework delivered its HEIC, stage by stage,
// and a deep-mode development of a 12-megapixel DNG.

#include <benchmark/benchmark.h>

#include <QApplication>
#include <cmath>

#include "app/ExposureSearch.h"
#include "app/StillPhotoPipeline.h"
#include "platform/capture/DeviceDescription.h"
#include "platform/capture/virtual/PhotoPipeline.h"
#include "platform/capture/virtual/RigProfile.h"
#include "platform/foundation/Console.h"
#include "platform/foundation/SettingsStore.h"
#include "platform/image/ImageDestination.h"
#include "platform/image/raw/RawFilter.h"

using namespace sorvel;
using namespace sorvel::image;

namespace {

// A 4032 x 3024 picture with detail everywhere (gradients and a fine pattern).
RgbImage cameraPicture() {
    RgbImage image;
    image.width = 4032, image.height = 3024;
    image.rgba.resize(std::size_t(image.width) * image.height * 4);
    for (int y = 0; y < image.height; ++y)
        for (int x = 0; x < image.width; ++x) {
            std::uint8_t* p = image.rgba.data() + (std::size_t(y) * image.width + x) * 4;
            p[0] = static_cast<std::uint8_t>(x * 255 / 4031);
            p[1] = static_cast<std::uint8_t>(y * 255 / 3023);
            p[2] = static_cast<std::uint8_t>(((x / 7) ^ (y / 5)) & 0xff);
            p[3] = 255;
        }
    return image;
}

const Dictionary& cameraMetadata() {
    static const Dictionary metadata{
        {"{Exif}", Dictionary{{"ExposureTime", 0.01}, {"ISOSpeedRatings", Array{Value(100)}}}}};
    return metadata;
}

// The camera's HEIC exactly as the capture rig delivers it (its encoder, options and tiles).
const Bytes& cameraHeic() {
    static const Bytes bytes = *encodeProcessedPhoto(cameraPicture(), cameraMetadata());
    return bytes;
}

// The same picture as one untiled HEIC (the rig's output before it wrote tiles), for comparison.
const Bytes& untiledHeic() {
    static const Bytes bytes = [] {
        RgbImage picture = cameraPicture();
        auto bitmap = Bitmap::make(picture.width, picture.height, PixelFormat::RGBA8, ColorSpace::SRGB);
        std::copy(picture.rgba.begin(), picture.rgba.end(), bitmap->mutableData());
        Bytes out;
        auto d = ImageDestination::make(out, kTypeHEIC, 1);
        Dictionary options = cameraMetadata();
        options[kLossyCompressionQuality] = Value(0.85);
        d->addImage(*bitmap, options);
        d->finalize();
        return out;
    }();
    return bytes;
}

void runStillPipeline(benchmark::State& state, const Bytes& heic) {
    auto store = SettingsStore::inMemory();
    SettingsStore::setStandard(store.get());
    store->setFloat(0.65f, "quality_setting_2");
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

void StillPipeline(benchmark::State& state) { runStillPipeline(state, cameraHeic()); }
BENCHMARK(StillPipeline)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

void StillPipelineUntiledHeic(benchmark::State& state) { runStillPipeline(state, untiledHeic()); }
BENCHMARK(StillPipelineUntiledHeic)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

// The rig's HEIC encoding of the 12 MP picture (capture-side cost, outside the app's budget).
void RigHeicEncode(benchmark::State& state) {
    const RgbImage picture = cameraPicture();
    for (auto _ : state) benchmark::DoNotOptimize(encodeProcessedPhoto(picture, cameraMetadata()));
}
BENCHMARK(RigHeicEncode)->Unit(benchmark::kMillisecond)->Iterations(2)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    return 0;
}
