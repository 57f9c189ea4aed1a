// Hot paths of the image framework on a 12-megapixel picture (4032 x 3024):
//   decode HEIC, Lanczos scale 0.5, a five-step point-operation chain to 8-bit, HEIC encode at
//   quality 0.65. compare_vips.py runs the same work with the vips command line beside these.
//
//   image_bench --make-inputs DIR   writes DIR/photo12mp.heic and DIR/photo12mp.png and exits
//   image_bench --heic-study        x265 speed settings: time, size, PSNR and SSIM per preset
//   image_bench [benchmark flags]   the benchmarks (inputs are made in memory)
#include <benchmark/benchmark.h>

#include <sys/resource.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>

#include "platform/image/Filter.h"
#include "platform/image/HeicThumbnail.h"
#include "platform/image/ImageDestination.h"
#include "platform/image/ImageSource.h"
#include "platform/image/RenderContext.h"

using namespace sorvel;
using namespace sorvel::image;

namespace {

constexpr int kW = 4032, kH = 3024;

// A photo-like 12 MP picture: the real example.heic scaled up with Lanczos, plus sensor-like
// noise so the encoder has texture to work on.
const Bitmap& photo() {
    static const Bitmap bitmap = [] {
        std::ifstream in(std::string(SORVEL_TESTDATA) + "/heic/example.heic", std::ios::binary);
        Bytes bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        auto src = Image::fromBytes(bytes);
        if (!src) {
            std::fprintf(stderr, "cannot read example.heic\n");
            std::exit(1);
        }
        double sy = double(kH) / src->extent().height, sx = double(kW) / src->extent().width;
        Image big = *src->applyingFilter("CILanczosScaleTransform", {{"inputScale", sy}, {"inputAspectRatio", sx / sy}});
        Bitmap b = *RenderContext().render(big, {0, 0, kW, kH}, PixelFormat::RGBA8, ColorSpace::SRGB);
        unsigned s = 12345;
        for (int y = 0; y < kH; ++y) {
            std::uint8_t* row = b.mutableRow(y);
            for (int x = 0; x < kW * 4; ++x) {
                if ((x & 3) == 3) continue;
                s = s * 1664525u + 1013904223u;
                int v = row[x] + int((s >> 29)) - 3;
                row[x] = std::uint8_t(std::clamp(v, 0, 255));
            }
        }
        return b;
    }();
    return bitmap;
}

// CPU seconds of the whole process (all threads): on a loaded machine this is steadier than
// wall time, and compare_vips.py measures vips the same way.
double processCpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + 1e-6 * double(u.ru_utime.tv_usec + u.ru_stime.tv_usec);
}

struct CpuCounter {
    benchmark::State& state;
    double start = processCpuSeconds();
    ~CpuCounter() {
        state.counters["proc_cpu_ms"] = benchmark::Counter(1000.0 * (processCpuSeconds() - start) / double(state.iterations()));
    }
};

Bytes encodeHeic(const Bitmap& b, double quality, const char* speed) {
    Bytes out;
    auto dest = ImageDestination::make(out, kTypeHEIC);
    Dictionary options{{kLossyCompressionQuality, quality}, {kHasAlpha, false}, {kProfileName, kColorSpaceSRGB}};
    if (speed) options[kHEICEncoderSpeed] = speed;
    dest->addImage(b, options);
    if (!dest->finalize()) out.clear();
    return out;
}

const Bytes& photoHeic() {
    static const Bytes bytes = encodeHeic(photo(), 0.8, "fast");
    return bytes;
}

void BM_DecodeHeic12MP(benchmark::State& state) {
    const Bytes& bytes = photoHeic();
    CpuCounter cpu{state};
    for (auto _ : state) {
        auto image = Image::fromBytes(bytes);
        benchmark::DoNotOptimize(image);
    }
}

void BM_LanczosHalf12MP(benchmark::State& state) {
    Image src(photo());
    CpuCounter cpu{state};
    for (auto _ : state) {
        Image out = *src.applyingFilter("CILanczosScaleTransform", {{"inputScale", 0.5}, {"inputAspectRatio", 1.0}});
        auto b = RenderContext().render(out, out.extent(), PixelFormat::RGBA8, ColorSpace::SRGB);
        benchmark::DoNotOptimize(b);
    }
}

// Contrast, saturation, brightness (three passes as the filter chain makes them), a colour
// matrix and an invert, rendered to 8-bit sRGB.
Image pointChain(const Image& src) {
    Image a = *src.applyingFilter("CIColorControls", {{"inputContrast", 1.1}});
    Image b = *a.applyingFilter("CIColorControls", {{"inputSaturation", 1.2}});
    Image c = *b.applyingFilter("CIColorControls", {{"inputBrightness", 0.02}});
    Image d = *c.applyingFilter("CIColorMatrix", {{"inputRVector", Vector{0.9, 0.1, 0, 0}}, {"inputBiasVector", Vector{0.01, 0, 0, 0}}});
    return *d.applyingFilter("CIColorInvert");
}

void BM_PointChain5To8Bit12MP(benchmark::State& state) {
    Image src(photo());
    CpuCounter cpu{state};
    for (auto _ : state) {
        Image out = pointChain(src);
        auto b = RenderContext().render(out, out.extent(), PixelFormat::RGBA8, ColorSpace::SRGB);
        benchmark::DoNotOptimize(b);
    }
}

void BM_EncodeHeicQ065_12MP(benchmark::State& state) {
    const Bitmap& b = photo();
    CpuCounter cpu{state};
    for (auto _ : state) {
        Bytes out = encodeHeic(b, 0.65, nullptr);
        benchmark::DoNotOptimize(out);
    }
}

// The normal still's render: the decoded camera picture at scale 1, turned upright
// (orientation 6, a portrait shot) and rendered to 8-bit Display P3 for the encoder.
void BM_StillRender12MP(benchmark::State& state) {
    Image src(photo());
    CpuCounter cpu{state};
    for (auto _ : state) {
        Image scaled = *src.applyingFilter("CILanczosScaleTransform", {{"inputScale", 1.0}, {"inputAspectRatio", 1.0}});
        Image upright = scaled.oriented(6);
        auto b = RenderContext().render(upright, upright.extent(), PixelFormat::RGBA8, ColorSpace::DisplayP3);
        benchmark::DoNotOptimize(b);
    }
}

// The HEIC encoder with the virtual rig's settings (sRGB, quality 0.85) and with the normal
// still's (Display P3, quality 0.65, no alpha), on the same picture: what the settings cost.
void BM_EncodeHeicRigSettings12MP(benchmark::State& state) {
    const Bitmap& b = photo();
    CpuCounter cpu{state};
    for (auto _ : state) {
        Bytes out;
        auto dest = ImageDestination::make(out, kTypeHEIC, 1);
        Dictionary options{{kLossyCompressionQuality, 0.85}, {kHEICEncoderSpeed, "fast"}};
        if (state.range(0) == 0) options[kHEICThumbnailSize] = Value(0);
        dest->addImage(b, options);
        benchmark::DoNotOptimize(dest->finalize());
    }
}

void BM_EncodeHeicStillSettings12MP(benchmark::State& state) {
    static const Bitmap p3 = *RenderContext().render(Image(photo()), {0, 0, kW, kH}, PixelFormat::RGBA8, ColorSpace::DisplayP3);
    CpuCounter cpu{state};
    for (auto _ : state) {
        Bytes out;
        auto dest = ImageDestination::make(out, kTypeHEIC, 1);
        Dictionary options{{kLossyCompressionQuality, 0.65},
                           {kOptimizeColorForSharing, true},
                           {kHasAlpha, false},
                           {kColorModel, kColorModelRGB},
                           {kProfileName, kColorSpaceDisplayP3}};
        if (state.range(0) == 0) options[kHEICThumbnailSize] = Value(0);
        dest->addImage(p3, options);
        benchmark::DoNotOptimize(dest->finalize());
    }
}

BENCHMARK(BM_StillRender12MP)->Unit(benchmark::kMillisecond)->UseRealTime();
// What coding a HEIC's thumbnail adds: a 808 x 606 picture (whose thumbnail, 404 x 302, is the
// size a 12 MP photo's is) written without (0) and with (1) it. The reduction of a 12 MP photo
// is measured apart below; together they are what the thumbnail adds to a 12 MP save.
void BM_HeicThumbnailCoding(benchmark::State& state) {
    static const Bitmap small = *reduceForThumbnail(photo(), 800);
    CpuCounter cpu{state};
    for (auto _ : state) {
        Bytes out;
        auto dest = ImageDestination::make(out, kTypeHEIC, 1);
        dest->addImage(small, {{kLossyCompressionQuality, 0.85}, {kHEICThumbnailSize, state.range(0) ? 384 : 0}});
        benchmark::DoNotOptimize(dest->finalize());
    }
}
BENCHMARK(BM_HeicThumbnailCoding)->Arg(0)->Arg(1)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(20);

void BM_HeicThumbnailReductionOf12MP(benchmark::State& state) {
    const Bitmap& b = photo();
    for (auto _ : state) benchmark::DoNotOptimize(reduceForThumbnail(b, kHeicThumbnailSide));
}
BENCHMARK(BM_HeicThumbnailReductionOf12MP)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(20);

// Argument 1 writes the thumbnail item (the default), 0 leaves it out: what the thumbnail costs.
BENCHMARK(BM_EncodeHeicRigSettings12MP)->Arg(0)->Arg(1)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_EncodeHeicStillSettings12MP)->Arg(0)->Arg(1)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_DecodeHeic12MP)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_LanczosHalf12MP)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_PointChain5To8Bit12MP)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_EncodeHeicQ065_12MP)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

bool writeFile(const std::string& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    return bool(out);
}

int makeInputs(const std::string& dir) {
    Bytes png;
    auto dest = ImageDestination::make(png, kTypePNG);
    dest->addImage(photo(), {{kHasAlpha, false}});
    if (!dest->finalize()) return 1;
    return writeFile(dir + "/photo12mp.heic", photoHeic()) && writeFile(dir + "/photo12mp.png", png) ? 0 : 1;
}

// PSNR and SSIM (8 x 8 windows, luma) of a decoded file against the source.
void quality(const Bitmap& a, const Bitmap& b, double* psnr, double* ssim) {
    double se = 0;
    std::vector<float> la(std::size_t(kW) * kH), lb(la.size());
    for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kW; ++x) {
            const std::uint8_t* p = a.row(y) + 4 * x;
            const std::uint8_t* q = b.row(y) + 4 * x;
            for (int c = 0; c < 3; ++c) se += double(p[c] - q[c]) * (p[c] - q[c]);
            la[std::size_t(y) * kW + x] = 0.299f * p[0] + 0.587f * p[1] + 0.114f * p[2];
            lb[std::size_t(y) * kW + x] = 0.299f * q[0] + 0.587f * q[1] + 0.114f * q[2];
        }
    double mse = se / (double(kW) * kH * 3);
    *psnr = 10 * std::log10(255.0 * 255.0 / std::max(mse, 1e-12));
    const double c1 = 6.5025, c2 = 58.5225;
    double sum = 0;
    int n = 0;
    for (int y = 0; y + 8 <= kH; y += 8)
        for (int x = 0; x + 8 <= kW; x += 8) {
            double ma = 0, mb = 0, va = 0, vb = 0, cov = 0;
            for (int j = 0; j < 8; ++j)
                for (int i = 0; i < 8; ++i) ma += la[std::size_t(y + j) * kW + x + i], mb += lb[std::size_t(y + j) * kW + x + i];
            ma /= 64, mb /= 64;
            for (int j = 0; j < 8; ++j)
                for (int i = 0; i < 8; ++i) {
                    double da = la[std::size_t(y + j) * kW + x + i] - ma, db = lb[std::size_t(y + j) * kW + x + i] - mb;
                    va += da * da, vb += db * db, cov += da * db;
                }
            va /= 63, vb /= 63, cov /= 63;
            sum += ((2 * ma * mb + c1) * (2 * cov + c2)) / ((ma * ma + mb * mb + c1) * (va + vb + c2));
            ++n;
        }
    *ssim = sum / n;
}

int heicStudy() {
    const Bitmap& src = photo();
    std::printf("%-10s %8s %10s %8s %8s\n", "speed", "time_s", "bytes", "PSNR_dB", "SSIM");
    const std::pair<const char*, double> runs[] = {{"fast", 0.65}, {"balanced", 0.65}, {"slow", 0.65},
                                                   {"fast", 0.3},  {"fast", 0.0}};
    for (auto [speed, q] : runs) {
        {
            auto t0 = std::chrono::steady_clock::now();
            Bytes out = encodeHeic(src, q, speed);
            double secs = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
            auto back = Image::fromBytes(out);
            if (!back) {
                std::printf("%-10s q=%.2f: encode or decode failed\n", speed, q);
                continue;
            }
            Bitmap px = *RenderContext().render(*back, back->extent(), PixelFormat::RGBA8, ColorSpace::SRGB);
            double psnr, ssim;
            quality(src, px, &psnr, &ssim);
            std::printf("%-10s q=%.2f %8.2f %10zu %8.2f %8.4f\n", speed, q, secs, out.size(), psnr, ssim);
            std::fflush(stdout);
        }
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--make-inputs") == 0 && i + 1 < argc) return makeInputs(argv[i + 1]);
        if (std::strcmp(argv[i], "--heic-study") == 0) return heicStudy();
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
