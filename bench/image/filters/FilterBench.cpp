// The filter library and the RAW developer at the sizes the app uses them:
//   - a 12 MP photo through the full 21-step user-filter chain (every parameter away from its
//     default, blends and crops as the app does them) rendered to 8-bit, on all cores;
//   - the same photo with one changed parameter;
//   - a 1280 x 960 preview frame through five typical parameters on one core;
//   - a 12 MP DNG developed at scale 1 to half float: the first read (decode, demosaic,
//     development, render) and a read after changing only "inputEV".
//
//   filter_bench --make-dng FILE   writes the 12 MP test DNG and exits
//   filter_bench --develop FILE    develops FILE once at scale 1 to half float, prints the time
//   filter_bench [benchmark flags] the benchmarks
#include <benchmark/benchmark.h>

#include <chrono>
#include <ctime>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>

#include "TestDng.h"
#include "platform/image/Filter.h"
#include "platform/image/RenderContext.h"
#include "platform/image/raw/RawFilter.h"

using namespace sorvel;
using namespace sorvel::image;

namespace {

constexpr int kW = 4032, kH = 3024;

Bytes readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// The real example photo scaled to w x h (rendered once, then a plain bitmap).
Image photo(int w, int h) {
    auto src = Image::fromBytes(readFile(std::string(SORVEL_TESTDATA) + "/heic/example.heic"));
    if (!src) {
        std::fprintf(stderr, "cannot read example.heic\n");
        std::exit(1);
    }
    const double sy = double(h) / src->extent().height, sx = double(w) / src->extent().width;
    Image scaled = *src->applyingFilter("CILanczosScaleTransform", {{"inputScale", sy}, {"inputAspectRatio", sx / sy}});
    return Image(*RenderContext().render(scaled, {0, 0, double(w), double(h)}, PixelFormat::RGBA8, ColorSpace::SRGB));
}

const Image& photo12() {
    static const Image p = photo(kW, kH);
    return p;
}

Image step(const Image& in, const char* name, const FilterInputs& inputs) {
    auto out = in.applyingFilter(name, inputs);
    return out ? *out : in;
}

// A filter output faded to `amount` over the current picture, as the app blends its looks.
Image blended(const Image& current, const Image& effect, double amount) {
    Image faded = step(effect, "CIColorMatrix", {{"inputAVector", Vector{0, 0, 0, amount}}});
    return faded.composited(current);
}

Image cropInset(const Image& img, double inset) { return img.cropped(img.extent().insetBy(inset, inset)); }

// The app's 21 rows, every parameter away from its default.
Image fullChain(const Image& in) {
    Image c = in;
    c = step(c, "CIExposureAdjust", {{"inputEV", 0.4}});
    c = step(c, "CIColorControls", {{"inputContrast", 1.15}});
    c = step(c, "CIColorControls", {{"inputSaturation", 1.2}});
    c = step(c, "CIColorControls", {{"inputBrightness", 0.03}});
    c = step(c, "CIVibrance", {{"inputAmount", 0.3}});
    c = step(c, "CIGammaAdjust", {{"inputPower", 1.1}});
    c = step(c, "CIHueAdjust", {{"inputAngle", 8 * M_PI / 180}});
    c = step(c, "CITemperatureAndTint", {{"inputNeutral", Vector{6000, 0}}});
    c = cropInset(step(c, "CIBloom", {{"inputIntensity", 0.3}, {"inputRadius", 10.0}}), 30);
    c = blended(c, step(c, "CIDither", {}), 0.3);
    for (const char* look : {"CIPhotoEffectChrome", "CIPhotoEffectFade", "CIPhotoEffectInstant", "CIPhotoEffectMono",
                             "CIPhotoEffectTonal", "CIPhotoEffectNoir", "CIPhotoEffectTransfer"})
        c = blended(c, step(c, look, {}), 0.15);
    c = step(c, "CIVignette", {{"inputIntensity", 1.0}});
    c = step(c, "CIHighlightShadowAdjust", {{"inputHighlightAmount", 0.8}, {"inputShadowAmount", 0.3}});
    c = cropInset(step(c, "CIBoxBlur", {{"inputRadius", 4.0}}), 4);
    c = blended(c, step(c, "CIEdges", {{"inputIntensity", 10.0}}), 0.2);
    return c;
}

// CPU time of the whole process (all render threads), in seconds. On this shared machine the
// wall time depends on what else runs; the CPU time is the work itself.
double processCpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

void renderTo8Bit(benchmark::State& state, const Image& image, int threads) {
    RenderContext ctx(RenderOptions{.threads = threads});
    const double cpu0 = processCpuSeconds();
    for (auto _ : state) {
        auto b = ctx.render(image, image.extent(), PixelFormat::RGBA8, ColorSpace::SRGB);
        benchmark::DoNotOptimize(b);
    }
    state.counters["proc_cpu_ms"] = benchmark::Counter((processCpuSeconds() - cpu0) * 1e3 / double(state.iterations()));
    state.counters["MP/s"] = benchmark::Counter(image.extent().width * image.extent().height * 1e-6,
                                                benchmark::Counter::kIsIterationInvariantRate);
}

void BM_FullChain12MP(benchmark::State& state) {
    Image out = fullChain(photo12());
    if (out.extent() != photo12().extent()) state.SkipWithError("chain changed the extent");
    renderTo8Bit(state, out, 0);
}
BENCHMARK(BM_FullChain12MP)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_SingleParameter12MP(benchmark::State& state) {
    renderTo8Bit(state, step(photo12(), "CIColorControls", {{"inputSaturation", 1.3}}), 0);
}
BENCHMARK(BM_SingleParameter12MP)->Unit(benchmark::kMillisecond)->UseRealTime();

// What the 8-bit render of an untouched 12 MP picture costs: the floor under both above.
void BM_NoFilter12MP(benchmark::State& state) { renderTo8Bit(state, photo12(), 0); }
BENCHMARK(BM_NoFilter12MP)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_PreviewFiveParameters1280x960(benchmark::State& state) {
    static const Image frame = photo(1280, 960);
    Image c = frame;
    c = step(c, "CIExposureAdjust", {{"inputEV", 0.3}});
    c = step(c, "CIColorControls", {{"inputContrast", 1.1}});
    c = step(c, "CIColorControls", {{"inputSaturation", 1.2}});
    c = step(c, "CIVibrance", {{"inputAmount", 0.4}});
    c = step(c, "CITemperatureAndTint", {{"inputNeutral", Vector{6000, 0}}});
    renderTo8Bit(state, c, 1);
}
BENCHMARK(BM_PreviewFiveParameters1280x960)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_PreviewNoFilter1280x960(benchmark::State& state) {
    static const Image frame = photo(1280, 960);
    renderTo8Bit(state, frame, 1);
}
BENCHMARK(BM_PreviewNoFilter1280x960)->Unit(benchmark::kMillisecond)->UseRealTime();

// Each step of the chain alone on a preview frame, one core: where the chain's time goes.
void BM_PreviewEachStep(benchmark::State& state) {
    static const Image frame = photo(1280, 960);
    struct Named {
        const char* name;
        FilterInputs inputs;
    };
    static const Named steps[] = {
        {"CIExposureAdjust", {{"inputEV", 0.4}}},
        {"CIColorControls", {{"inputSaturation", 1.2}}},
        {"CIVibrance", {{"inputAmount", 0.3}}},
        {"CIGammaAdjust", {{"inputPower", 1.1}}},
        {"CIHueAdjust", {{"inputAngle", 0.14}}},
        {"CITemperatureAndTint", {{"inputNeutral", Vector{6000, 0}}}},
        {"CIBloom", {{"inputIntensity", 0.3}, {"inputRadius", 10.0}}},
        {"CIDither", {}},
        {"CIPhotoEffectChrome", {}},
        {"CIVignette", {{"inputIntensity", 1.0}}},
        {"CIHighlightShadowAdjust", {{"inputHighlightAmount", 0.8}, {"inputShadowAmount", 0.3}}},
        {"CIBoxBlur", {{"inputRadius", 4.0}}},
        {"CIEdges", {{"inputIntensity", 10.0}}},
    };
    const Named& s = steps[state.range(0)];
    state.SetLabel(s.name);
    renderTo8Bit(state, step(frame, s.name, s.inputs).cropped(frame.extent()), 1);
}
BENCHMARK(BM_PreviewEachStep)->DenseRange(0, 12)->Unit(benchmark::kMillisecond)->UseRealTime();

// A photo-like 12 MP Bayer DNG: the example photo as the scene, with a little sensor noise.
Bytes makeDng() {
    static const Bitmap scene = *RenderContext().render(photo12(), {0, 0, kW, kH}, PixelFormat::RGBAFloat,
                                                        ColorSpace::LinearSRGB);
    test::DngScene s;
    s.width = kW;
    s.height = kH;
    s.noise = 0.004f;
    s.colour = [](int x, int y) {
        const float* p = reinterpret_cast<const float*>(scene.row(y)) + 4 * x;
        return std::array<float, 3>{p[0] * 0.8f, p[1] * 0.8f, p[2] * 0.8f};
    };
    return test::writeTestDng(s);
}

const Bytes& dng12() {
    static const Bytes b = makeDng();
    return b;
}

std::optional<Bitmap> renderHalf(const Image& image) {
    return RenderContext().render(image, image.extent(), PixelFormat::RGBAHalf, ColorSpace::DisplayP3);
}

void BM_RawFirstRead12MP(benchmark::State& state) {
    for (auto _ : state) {
        auto f = RawFilter::make(dng12());
        auto b = renderHalf(*f->outputImage());
        benchmark::DoNotOptimize(b);
    }
}
BENCHMARK(BM_RawFirstRead12MP)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

// A new "inputEV" for each read, cycling through -1 .. +1 in tenths (the exposure search's
// range): a value that only grows would time ever brighter pictures as the run goes on.
double nextEV(double ev) { return ev >= 0.95 ? -1.0 : ev + 0.1; }

void BM_RawReadAfterEVChange12MP(benchmark::State& state) {
    auto f = RawFilter::make(dng12());
    renderHalf(*f->outputImage());
    double ev = 0;
    for (auto _ : state) {
        f->setValue("inputEV", ev = nextEV(ev));
        auto b = renderHalf(*f->outputImage());
        benchmark::DoNotOptimize(b);
    }
    if (f->workCounts().decodes != 1) state.SkipWithError("decoded again");
}
BENCHMARK(BM_RawReadAfterEVChange12MP)->Unit(benchmark::kMillisecond)->UseRealTime();

// The exposure search's own reads: a 256 x 256 rendition after each "inputEV" change.
void BM_RawExposureSearchRead(benchmark::State& state) {
    auto f = RawFilter::make(dng12());
    f->outputImage();
    double ev = 0;
    for (auto _ : state) {
        f->setValue("inputEV", ev = nextEV(ev));
        Image img = *f->outputImage();
        Image thumb = img.transformed(AffineTransform::scale(256 / img.extent().width, 256 / img.extent().height));
        auto b = RenderContext().render(thumb, thumb.extent(), PixelFormat::RGBA8, ColorSpace::SRGB);
        benchmark::DoNotOptimize(b);
    }
}
BENCHMARK(BM_RawExposureSearchRead)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "--make-dng") == 0) {
        const Bytes& b = dng12();
        std::ofstream(argv[2], std::ios::binary).write(reinterpret_cast<const char*>(b.data()), std::streamsize(b.size()));
        return b.empty() ? 1 : 0;
    }
    if (argc == 3 && std::strcmp(argv[1], "--develop") == 0) {
        const auto t0 = std::chrono::steady_clock::now();
        std::string why;
        auto f = RawFilter::make(readFile(argv[2]), {}, &why);
        if (!f) {
            std::fprintf(stderr, "%s\n", why.c_str());
            return 1;
        }
        auto img = f->outputImage();
        auto b = img ? renderHalf(*img) : std::nullopt;
        const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        if (!b) return 1;
        std::printf("%.3f\n", s);
        return 0;
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    return 0;
}
