// 12 MP HEIC decode to 8-bit RGBA side by side in one run: libheif's own decode and colour
// conversion (what Decode.cpp used before) against ours (libde265 directly, tiles in parallel,
// our conversion on every core), for one untiled picture and for the rig's 512 x 512 grid.

#include <benchmark/benchmark.h>
#include <libheif/heif.h>

#include <map>
#include <thread>

#include "platform/image/Decode.h"
#include "platform/image/ImageDestination.h"

using namespace sorvel;
using namespace sorvel::image;

namespace {

const Bitmap& picture() {
    static const Bitmap b = [] {
        auto bitmap = Bitmap::make(4032, 3024, PixelFormat::RGBA8, ColorSpace::SRGB);
        for (int y = 0; y < 3024; ++y)
            for (int x = 0; x < 4032; ++x) {
                std::uint8_t* p = bitmap->mutableRow(y) + 4 * x;
                p[0] = std::uint8_t(x * 255 / 4031);
                p[1] = std::uint8_t(y * 255 / 3023);
                p[2] = std::uint8_t(((x / 7) ^ (y / 5)) & 0xFF);
                p[3] = 255;
            }
        return *bitmap;
    }();
    return b;
}

// As the capture rig encodes (quality 0.85, fast), with or without tiles.
const Bytes& heic(int tileSize) {
    static std::map<int, Bytes> files;
    auto it = files.find(tileSize);
    if (it != files.end()) return it->second;
    Bytes out;
    auto d = ImageDestination::make(out, kTypeHEIC);
    d->addImage(picture(), {{kLossyCompressionQuality, Value(0.85)}, {kHEICEncoderSpeed, Value("fast")},
                            {kHEICTileSize, Value(tileSize)}});
    d->finalize();
    return files[tileSize] = std::move(out);
}

void LibheifRGBA(benchmark::State& state) {
    const Bytes& file = heic(int(state.range(0)));
    for (auto _ : state) {
        heif_context* ctx = heif_context_alloc();
        heif_context_set_max_decoding_threads(ctx, int(std::thread::hardware_concurrency()));
        heif_image_handle* handle = nullptr;
        heif_image* img = nullptr;
        heif_decoding_options* options = heif_decoding_options_alloc();
        options->ignore_transformations = 1;
        heif_context_read_from_memory_without_copy(ctx, file.data(), file.size(), nullptr);
        heif_context_get_primary_image_handle(ctx, &handle);
        heif_decode_image(handle, &img, heif_colorspace_RGB, heif_chroma_interleaved_RGBA, options);
        benchmark::DoNotOptimize(img);
        heif_image_release(img);
        heif_decoding_options_free(options);
        heif_image_handle_release(handle);
        heif_context_free(ctx);
    }
}
BENCHMARK(LibheifRGBA)->Arg(0)->Arg(512)->Unit(benchmark::kMillisecond)->Iterations(5)->UseRealTime();

void OurDecode(benchmark::State& state) {
    const Bytes& file = heic(int(state.range(0)));
    for (auto _ : state) {
        auto bitmap = decode::decodePrimary(file.data(), file.size());
        if (!bitmap) state.SkipWithError("decode failed");
        benchmark::DoNotOptimize(bitmap);
    }
}
BENCHMARK(OurDecode)->Arg(0)->Arg(512)->Unit(benchmark::kMillisecond)->Iterations(5)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
