// Saving into the photo library end to end: change block, temporary files, fsyncs, hashes,
// renames and the index transaction. The folder lies in the temporary directory
// ($TMPDIR, else /tmp); its file system decides most of the figure.

#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <random>

#include "platform/photos/PhotoLibrary.h"
#include "platform/photos/Sha256.h"

namespace fs = std::filesystem;
using namespace sorvel;

namespace {

constexpr std::size_t kHeicBytes = 3 * 1024 * 1024;   // a 12-megapixel HEIC
constexpr std::size_t kMovieBytes = 2 * 1024 * 1024;  // a 3-second Live Photo movie

Bytes heicSizedBytes(std::size_t size) {
    std::mt19937 rng(7);
    Bytes b(size);
    for (auto& x : b) x = static_cast<std::uint8_t>(rng());
    const std::uint8_t head[12] = {0, 0, 0, 24, 'f', 't', 'y', 'p', 'h', 'e', 'i', 'c'};
    std::copy(std::begin(head), std::end(head), b.begin());
    return b;
}

fs::path makeTempFolder() {
    std::string pattern = (fs::temp_directory_path() / "sorvel-bench-XXXXXX").string();
    return ::mkdtemp(pattern.data());
}

void BM_SaveStill3MB(benchmark::State& state) {
    fs::path root = makeTempFolder();
    auto library = PhotoLibrary::open(root / "Library");
    Bytes heic = heicSizedBytes(kHeicBytes);
    for (auto _ : state) {
        auto error = library->performChangesAndWait([&] {
            AssetCreationRequest::creationRequestForAsset().addResource(AssetResourceType::Photo, heic);
        });
        if (error) state.SkipWithError(error->description.c_str());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kHeicBytes));
    library.reset();
    fs::remove_all(root);
}
BENCHMARK(BM_SaveStill3MB)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_SaveLivePhotoMovedMovie(benchmark::State& state) {
    fs::path root = makeTempFolder();
    auto library = PhotoLibrary::open(root / "Library");
    Bytes heic = heicSizedBytes(kHeicBytes);
    Bytes movie = heicSizedBytes(kMovieBytes);
    fs::path moviePath = root / "capture.mov";
    for (auto _ : state) {
        state.PauseTiming();
        std::ofstream(moviePath, std::ios::binary)
            .write(reinterpret_cast<const char*>(movie.data()), static_cast<std::streamsize>(movie.size()));
        state.ResumeTiming();
        auto error = library->performChangesAndWait([&] {
            auto& r = AssetCreationRequest::creationRequestForAsset();
            r.addResource(AssetResourceType::Photo, heic);
            AssetResourceCreationOptions move;
            move.shouldMoveFile = true;
            r.addResource(AssetResourceType::PairedVideo, moviePath, move);
        });
        if (error) state.SkipWithError(error->description.c_str());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * (kHeicBytes + kMovieBytes)));
    library.reset();
    fs::remove_all(root);
}
BENCHMARK(BM_SaveLivePhotoMovedMovie)->Unit(benchmark::kMillisecond)->UseRealTime();

// The hash alone, to tell its share of a save from the disk's.
void BM_Sha256Of3MB(benchmark::State& state) {
    Bytes heic = heicSizedBytes(kHeicBytes);
    for (auto _ : state) {
        Sha256 h;
        h.update(heic.data(), heic.size());
        benchmark::DoNotOptimize(h.finish());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kHeicBytes));
}
BENCHMARK(BM_Sha256Of3MB)->Unit(benchmark::kMillisecond);

}  // namespace
