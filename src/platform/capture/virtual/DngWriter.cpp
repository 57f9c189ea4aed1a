#include "platform/capture/virtual/DngWriter.h"

#include <tiffio.h>

#include <algorithm>
#include <cstring>

namespace sorvel {

namespace {

// libtiff's client I/O over a growable byte vector.
struct MemoryFile {
    Bytes data;
    toff_t position = 0;
};

tsize_t readProc(thandle_t h, tdata_t buffer, tsize_t size) {
    auto* f = static_cast<MemoryFile*>(h);
    if (f->position >= f->data.size()) return 0;
    tsize_t n = std::min<tsize_t>(size, static_cast<tsize_t>(f->data.size() - f->position));
    std::memcpy(buffer, f->data.data() + f->position, n);
    f->position += n;
    return n;
}

tsize_t writeProc(thandle_t h, tdata_t buffer, tsize_t size) {
    auto* f = static_cast<MemoryFile*>(h);
    if (size < 0) return -1;
    if (f->position + size > f->data.size()) f->data.resize(f->position + size);
    std::memcpy(f->data.data() + f->position, buffer, size);
    f->position += size;
    return size;
}

toff_t seekProc(thandle_t h, toff_t offset, int whence) {
    auto* f = static_cast<MemoryFile*>(h);
    toff_t base = whence == SEEK_CUR ? f->position : whence == SEEK_END ? f->data.size() : 0;
    f->position = base + offset;
    return f->position;
}

int closeProc(thandle_t) { return 0; }
toff_t sizeProc(thandle_t h) { return static_cast<MemoryFile*>(h)->data.size(); }
int mapProc(thandle_t, tdata_t*, toff_t*) { return 0; }
void unmapProc(thandle_t, tdata_t, toff_t) {}

}  // namespace

std::array<double, 9> dngColorMatrix(const DeviceDescription& camera) {
    // camera = diag(sensitivity) x crosstalk x (XYZ -> linear sRGB).
    const double xyzToSrgb[9] = {3.2404542, -1.5371385, -0.4985314, -0.9692660, 1.8760108,
                                 0.0415560, 0.0556434,  -0.2040259, 1.0572252};
    std::array<double, 9> m{};
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c) {
            double sum = 0;
            for (int k = 0; k < 3; ++k) sum += camera.crosstalk[3 * r + k] * xyzToSrgb[3 * k + c];
            m[3 * r + c] = camera.channelSensitivity[r] * sum;
        }
    // Scaled so that D65 white maps to a camera neutral whose largest channel is 1.
    const double d65[3] = {0.95047, 1.0, 1.08883};
    double largest = 0;
    for (int r = 0; r < 3; ++r) largest = std::max(largest, m[3 * r] * d65[0] + m[3 * r + 1] * d65[1] + m[3 * r + 2] * d65[2]);
    for (double& v : m) v /= largest;
    return m;
}

std::optional<Bytes> writeDng(const BayerImage& image, const DeviceDescription& camera,
                              const WhiteBalanceGains& gains, const DngDescription& d, std::string* error) {
    auto fail = [&](const char* why) -> std::optional<Bytes> {
        if (error) *error = why;
        return std::nullopt;
    };
    if (image.width <= 0 || image.height <= 0 ||
        image.samples.size() != static_cast<std::size_t>(image.width) * image.height)
        return fail("empty Bayer image");
    MemoryFile file;
    file.data.reserve(image.samples.size() * 2 + 65536);
    TIFF* tif = TIFFClientOpen("capture.dng", "w", &file, readProc, writeProc, seekProc, closeProc, sizeProc, mapProc,
                               unmapProc);
    if (!tif) return fail("libtiff could not open the in-memory file");

    const std::uint8_t dngVersion[4] = {1, 4, 0, 0}, backwardVersion[4] = {1, 1, 0, 0};
    const std::uint16_t cfaDims[2] = {2, 2};
    TIFFSetField(tif, TIFFTAG_SUBFILETYPE, 0);
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, image.width);
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, image.height);
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 16);
    TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_NONE);
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_CFA);
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 1);
    TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, 64);
    TIFFSetField(tif, TIFFTAG_ORIENTATION, d.orientation);
    TIFFSetField(tif, TIFFTAG_MAKE, d.make.c_str());
    TIFFSetField(tif, TIFFTAG_MODEL, d.model.c_str());
    TIFFSetField(tif, TIFFTAG_SOFTWARE, d.software.c_str());
    TIFFSetField(tif, TIFFTAG_DATETIME, d.dateTimeOriginal.c_str());
    TIFFSetField(tif, TIFFTAG_DNGVERSION, dngVersion);
    TIFFSetField(tif, TIFFTAG_DNGBACKWARDVERSION, backwardVersion);
    std::string unique = d.make + " " + d.model + " " + camera.localizedName;
    TIFFSetField(tif, TIFFTAG_UNIQUECAMERAMODEL, unique.c_str());
    TIFFSetField(tif, TIFFTAG_CFAREPEATPATTERNDIM, cfaDims);
    TIFFSetField(tif, TIFFTAG_CFAPATTERN, 4, d.cfaPattern.data());
    const std::uint16_t blackDims[2] = {1, 1};
    TIFFSetField(tif, TIFFTAG_BLACKLEVELREPEATDIM, blackDims);
    float black = static_cast<float>(d.blackLevel);
    TIFFSetField(tif, TIFFTAG_BLACKLEVEL, 1, &black);
    std::uint32_t white = static_cast<std::uint32_t>(d.whiteLevel);
    TIFFSetField(tif, TIFFTAG_WHITELEVEL, 1, &white);
    auto cm = dngColorMatrix(camera);
    float colorMatrix[9];
    for (int i = 0; i < 9; ++i) colorMatrix[i] = static_cast<float>(cm[i]);
    TIFFSetField(tif, TIFFTAG_COLORMATRIX1, 9, colorMatrix);
    TIFFSetField(tif, TIFFTAG_CALIBRATIONILLUMINANT1, 21);  // D65
    // The neutral is the camera's response to white under the light the gains correct.
    float neutral[3] = {1.0f / gains.redGain * gains.greenGain, 1.0f, 1.0f / gains.blueGain * gains.greenGain};
    TIFFSetField(tif, TIFFTAG_ASSHOTNEUTRAL, 3, neutral);
    TIFFSetField(tif, TIFFTAG_EXIFIFD, static_cast<toff_t>(0));

    for (int y = 0; y < image.height; ++y) {
        auto* row = const_cast<std::uint16_t*>(&image.samples[static_cast<std::size_t>(y) * image.width]);
        if (TIFFWriteScanline(tif, row, y, 0) < 0) {
            TIFFClose(tif);
            return fail("libtiff could not write the RAW samples");
        }
    }
    if (!TIFFWriteDirectory(tif)) {
        TIFFClose(tif);
        return fail("libtiff could not write the main directory");
    }

    // The Exif directory is written after the image; its offset is patched into the first one.
    if (TIFFCreateEXIFDirectory(tif) != 0) {
        TIFFClose(tif);
        return fail("libtiff could not create the Exif directory");
    }
    TIFFSetField(tif, EXIFTAG_EXPOSURETIME, d.exposureTime);
    TIFFSetField(tif, EXIFTAG_FNUMBER, camera.fNumber);
    std::uint16_t iso = static_cast<std::uint16_t>(std::clamp(d.iso, 1.0, 65535.0));
    TIFFSetField(tif, EXIFTAG_ISOSPEEDRATINGS, 1, &iso);
    TIFFSetField(tif, EXIFTAG_FOCALLENGTH, camera.focalLength);
    TIFFSetField(tif, EXIFTAG_EXPOSUREBIASVALUE, d.exposureBias);
    TIFFSetField(tif, EXIFTAG_DATETIMEORIGINAL, d.dateTimeOriginal.c_str());
    TIFFSetField(tif, EXIFTAG_FLASH, static_cast<std::uint16_t>(d.flashFired ? 1 : 16));
    TIFFSetField(tif, EXIFTAG_LENSMODEL, camera.lensModel.c_str());
    toff_t exifOffset = 0;
    if (!TIFFWriteCustomDirectory(tif, &exifOffset)) {
        TIFFClose(tif);
        return fail("libtiff could not write the Exif directory");
    }
    TIFFSetDirectory(tif, 0);
    TIFFSetField(tif, TIFFTAG_EXIFIFD, exifOffset);
    if (!TIFFRewriteDirectory(tif)) {
        TIFFClose(tif);
        return fail("libtiff could not link the Exif directory");
    }
    TIFFClose(tif);
    return std::move(file.data);
}

}  // namespace sorvel
