#include "TiffPlanes.h"

#include <tiffio.h>

#include <cstdint>
#include <cstring>
#include <memory>

namespace sorvel::bench {

Planes Planes::sized(int w, int h) {
    Planes p;
    p.width = w;
    p.height = h;
    const std::size_t n = std::size_t(w) * std::size_t(h);
    p.r.assign(n, 0.0f);
    p.g.assign(n, 0.0f);
    p.b.assign(n, 0.0f);
    return p;
}

namespace {

struct TiffCloser {
    void operator()(TIFF* t) const { TIFFClose(t); }
};

}  // namespace

std::optional<Planes> readTiff(const std::string& path, std::string* error) {
    auto fail = [&](const std::string& why) -> std::optional<Planes> {
        if (error) *error = path + ": " + why;
        return std::nullopt;
    };
    std::unique_ptr<TIFF, TiffCloser> tif(TIFFOpen(path.c_str(), "r"));
    if (!tif) return fail("not a TIFF libtiff can open");
    std::uint32_t w = 0, h = 0;
    std::uint16_t bits = 0, samples = 0, format = SAMPLEFORMAT_UINT, planar = PLANARCONFIG_CONTIG;
    TIFFGetField(tif.get(), TIFFTAG_IMAGEWIDTH, &w);
    TIFFGetField(tif.get(), TIFFTAG_IMAGELENGTH, &h);
    TIFFGetFieldDefaulted(tif.get(), TIFFTAG_BITSPERSAMPLE, &bits);
    TIFFGetFieldDefaulted(tif.get(), TIFFTAG_SAMPLESPERPIXEL, &samples);
    TIFFGetFieldDefaulted(tif.get(), TIFFTAG_SAMPLEFORMAT, &format);
    TIFFGetFieldDefaulted(tif.get(), TIFFTAG_PLANARCONFIG, &planar);
    if (w == 0 || h == 0 || w > 20000 || h > 20000) return fail("size out of range");
    if (samples < 3 || planar != PLANARCONFIG_CONTIG) return fail("not interleaved RGB");
    const bool isFloat = format == SAMPLEFORMAT_IEEEFP && bits == 32;
    if (!isFloat && bits != 8 && bits != 16) return fail("unsupported sample size");
    Planes p = Planes::sized(int(w), int(h));
    std::vector<std::uint8_t> line(std::size_t(TIFFScanlineSize(tif.get())));
    const float scale = bits == 8 ? 1.0f / 255 : 1.0f / 65535;
    for (std::uint32_t y = 0; y < h; ++y) {
        if (TIFFReadScanline(tif.get(), line.data(), y, 0) < 0) return fail("damaged scan line");
        for (std::uint32_t x = 0; x < w; ++x) {
            float v[3];
            for (int c = 0; c < 3; ++c) {
                const std::size_t k = std::size_t(x) * samples + std::size_t(c);
                if (isFloat) {
                    std::memcpy(&v[c], line.data() + 4 * k, 4);
                } else if (bits == 16) {
                    std::uint16_t s;
                    std::memcpy(&s, line.data() + 2 * k, 2);
                    v[c] = float(s) * scale;
                } else {
                    v[c] = float(line[k]) * scale;
                }
            }
            const std::size_t i = p.index(int(x), int(y));
            p.r[i] = v[0], p.g[i] = v[1], p.b[i] = v[2];
        }
    }
    return p;
}

bool writeFloatTiff(const std::string& path, const Planes& p, std::string* error) {
    std::unique_ptr<TIFF, TiffCloser> tif(TIFFOpen(path.c_str(), "w"));
    if (!tif) {
        if (error) *error = path + ": cannot be written";
        return false;
    }
    TIFFSetField(tif.get(), TIFFTAG_IMAGEWIDTH, std::uint32_t(p.width));
    TIFFSetField(tif.get(), TIFFTAG_IMAGELENGTH, std::uint32_t(p.height));
    TIFFSetField(tif.get(), TIFFTAG_BITSPERSAMPLE, 32);
    TIFFSetField(tif.get(), TIFFTAG_SAMPLEFORMAT, SAMPLEFORMAT_IEEEFP);
    TIFFSetField(tif.get(), TIFFTAG_SAMPLESPERPIXEL, 3);
    TIFFSetField(tif.get(), TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
    TIFFSetField(tif.get(), TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(tif.get(), TIFFTAG_COMPRESSION, COMPRESSION_NONE);
    TIFFSetField(tif.get(), TIFFTAG_ROWSPERSTRIP, 16);
    std::vector<float> line(std::size_t(p.width) * 3);
    for (int y = 0; y < p.height; ++y) {
        for (int x = 0; x < p.width; ++x) {
            const std::size_t i = p.index(x, y);
            float* out = line.data() + 3 * std::size_t(x);
            out[0] = p.r[i], out[1] = p.g[i], out[2] = p.b[i];
        }
        if (TIFFWriteScanline(tif.get(), line.data(), std::uint32_t(y), 0) < 0) {
            if (error) *error = path + ": write failed";
            return false;
        }
    }
    return true;
}

}  // namespace sorvel::bench
