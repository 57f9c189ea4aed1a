// The picture-quality measurements of the RAW developers, run by compare_raw_quality.py:
//
//   raw_quality make DIR              the rig's DNGs of the chart and star at ISO 100, 800 and
//                                     3200 (isoN.dng), the noise-free one (clean.dng) and the
//                                     truth (truth.tif, float, linear sRGB)
//   raw_quality develop DNG OUT.tif [--plain]
//                                     our developer at the deep mode's options (exposure search
//                                     off, so "inputEV" -0.6), rendered to float linear sRGB;
//                                     --plain: the same with the noise reduction off
//   raw_quality measure TRUTH.tif PICTURE.tif [--srgb]
//                                     prints the figures of PictureQuality.h as one JSON object;
//                                     --srgb: the picture's values are sRGB-encoded
// Exit status 2 on bad arguments, 1 when a file cannot be read or written.

#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>

#include "ColourScience.h"
#include "PictureQuality.h"
#include "RigCapture.h"
#include "TiffPlanes.h"
#include "platform/image/RenderContext.h"
#include "platform/image/raw/RawFilter.h"

using namespace sorvel;
using namespace sorvel::bench;

namespace {

int fail(const std::string& why) {
    std::fprintf(stderr, "raw_quality: %s\n", why.c_str());
    return 1;
}

bool writeBytes(const std::string& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    return bool(out);
}

int make(const std::string& dir) {
    std::string error;
    for (int iso : {100, 800, 3200}) {
        auto dng = rigDng(iso, true, &error);
        const std::string name = "iso" + std::to_string(iso) + ".dng";
        if (!dng || !writeBytes(dir + "/" + name, *dng)) return fail(name + ": " + error);
    }
    auto clean = rigDng(100, false, &error);
    if (!clean || !writeBytes(dir + "/clean.dng", *clean)) return fail("noise-free DNG: " + error);
    if (!writeFloatTiff(dir + "/truth.tif", rigTruth(), &error)) return fail(error);
    return 0;
}

int develop(const std::string& dngPath, const std::string& outPath, bool plain) {
    std::ifstream in(dngPath, std::ios::binary);
    const Bytes bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const auto t0 = std::chrono::steady_clock::now();
    std::string why;
    auto f = image::RawFilter::make(bytes, {}, &why);
    if (!f) return fail(dngPath + ": " + why);
    // The deep mode's option table, in its order.
    f->setValue("inputEV", -0.6);
    f->setValue("inputEnableSharpening", 0.0);
    f->setValue("inputNoiseReductionAmount", plain ? 0.0 : 1.0);
    f->setValue("inputColorNoiseReductionAmount", 0.9);
    f->setValue("inputLuminanceNoiseReductionAmount", 0.8);
    f->setValue("inputNoiseReductionSharpnessAmount", 0.0);
    f->setValue("inputScaleFactor", 1.0);
    f->setValue("inputLocalToneMapAmount", 0.0);
    f->setValue("inputBoost", 0.0);
    f->setValue("inputBoostShadowAmount", 0.0);
    auto picture = f->outputImage();
    if (!picture) return fail(dngPath + ": " + f->lastError());
    auto bitmap = image::RenderContext().render(*picture, picture->extent(), image::PixelFormat::RGBAFloat,
                                                image::ColorSpace::LinearSRGB);
    if (!bitmap) return fail("render failed");
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    Planes p = Planes::sized(bitmap->width(), bitmap->height());
    for (int y = 0; y < p.height; ++y) {
        const float* row = reinterpret_cast<const float*>(bitmap->row(y));
        for (int x = 0; x < p.width; ++x) {
            const std::size_t i = p.index(x, y);
            p.r[i] = row[4 * x], p.g[i] = row[4 * x + 1], p.b[i] = row[4 * x + 2];
        }
    }
    if (!writeFloatTiff(outPath, p, &why)) return fail(why);
    std::printf("%.3f\n", seconds);  // the development's own time, without the file I/O
    return 0;
}

int measureFiles(const std::string& truthPath, const std::string& picturePath, bool srgb) {
    std::string error;
    auto truth = readTiff(truthPath, &error);
    if (!truth) return fail(error);
    auto picture = readTiff(picturePath, &error);
    if (!picture) return fail(error);
    if (picture->width > truth->width || picture->height > truth->height || picture->width < truth->width - 32 ||
        picture->height < truth->height - 32)
        return fail(picturePath + ": not a picture of the rig's sensor size");
    if (srgb)
        for (auto* plane : {&picture->r, &picture->g, &picture->b})
            for (float& v : *plane) v = float(srgbDecode(v));
    std::printf("%s\n", toJson(measure(*picture, *truth, chartGeometry(*truth))).c_str());
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string command = argc > 1 ? argv[1] : "";
    if (command == "make" && argc == 3) return make(argv[2]);
    if (command == "develop" && (argc == 4 || (argc == 5 && std::strcmp(argv[4], "--plain") == 0)))
        return develop(argv[2], argv[3], argc == 5);
    if (command == "measure" && (argc == 4 || (argc == 5 && std::strcmp(argv[4], "--srgb") == 0)))
        return measureFiles(argv[2], argv[3], argc == 5);
    std::fprintf(stderr, "usage: raw_quality make DIR | develop DNG OUT.tif [--plain]"
                         " | measure TRUTH.tif PICTURE.tif [--srgb]\n");
    return 2;
}
