#include "TestDng.h"

#include <tiffio.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <unistd.h>
#include <vector>

namespace sorvel::image::test {

Bytes writeTestDng(const DngScene& scene) {
    char path[] = "/tmp/sorvel-test-dng-XXXXXX";
    const int fd = mkstemp(path);
    if (fd < 0) return {};
    close(fd);
    TIFF* tif = TIFFOpen(path, "w");
    if (!tif) return {};
    const int w = scene.width, h = scene.height;
    const std::uint16_t black = 256, white = 4095;
    TIFFSetField(tif, TIFFTAG_SUBFILETYPE, 0);
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, w);
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, h);
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 16);
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 1);
    TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_NONE);
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_CFA);
    TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, h);
    TIFFSetField(tif, TIFFTAG_ORIENTATION, scene.orientation);
    TIFFSetField(tif, TIFFTAG_MAKE, "Sorvel");
    TIFFSetField(tif, TIFFTAG_MODEL, "Test Sensor");
    const std::uint16_t dims[2] = {2, 2};
    TIFFSetField(tif, TIFFTAG_CFAREPEATPATTERNDIM, dims);
    TIFFSetField(tif, TIFFTAG_CFAPATTERN, 4, scene.cfaPattern.data());
    const std::uint8_t version[4] = {1, 4, 0, 0};
    TIFFSetField(tif, TIFFTAG_DNGVERSION, version);
    TIFFSetField(tif, TIFFTAG_DNGBACKWARDVERSION, version);
    TIFFSetField(tif, TIFFTAG_UNIQUECAMERAMODEL, "Sorvel Test Sensor");
    const float blackLevel[1] = {float(black)};
    TIFFSetField(tif, TIFFTAG_BLACKLEVEL, 1, blackLevel);
    const std::uint32_t whiteLevel[1] = {white};
    TIFFSetField(tif, TIFFTAG_WHITELEVEL, 1, whiteLevel);
    // XYZ (D65) to linear sRGB: the "camera" sees sRGB primaries.
    const float colorMatrix[9] = {3.2404542f, -1.5371385f, -0.4985314f, -0.9692660f, 1.8760108f,
                                  0.0415560f, 0.0556434f,  -0.2040259f, 1.0572252f};
    TIFFSetField(tif, TIFFTAG_COLORMATRIX1, 9, colorMatrix);
    TIFFSetField(tif, TIFFTAG_CALIBRATIONILLUMINANT1, 21);  // D65
    TIFFSetField(tif, TIFFTAG_ASSHOTNEUTRAL, 3, scene.asShotNeutral.data());

    std::mt19937 rng(1234);
    std::normal_distribution<float> gauss(0.0f, 1.0f);
    std::vector<std::uint16_t> row(static_cast<std::size_t>(w));
    bool ok = true;
    for (int y = 0; y < h && ok; ++y) {
        for (int x = 0; x < w; ++x) {
            const auto c = scene.colour(x, y);
            const std::size_t channel = scene.cfaPattern[std::size_t((y % 2) * 2 + x % 2)];
            float v = c[channel] * scene.asShotNeutral[channel];
            const float sigma = std::sqrt(scene.noise * scene.noise + scene.shotNoise * std::max(v, 0.0f));
            if (sigma > 0) v += sigma * gauss(rng);
            v = std::clamp(v, 0.0f, 1.0f);
            row[std::size_t(x)] = std::uint16_t(std::lround(black + v * (white - black)));
        }
        ok = TIFFWriteScanline(tif, row.data(), std::uint32_t(y), 0) >= 0;
    }
    TIFFClose(tif);
    std::ifstream in(path, std::ios::binary);
    Bytes bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::remove(path);
    return ok ? bytes : Bytes{};
}

}  // namespace sorvel::image::test
