#include "platform/image/Decode.h"

#include <cmath>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <algorithm>
#include <atomic>
#include <memory>
#include <vector>
#include <string_view>
#include <thread>

#include <jpeglib.h>
#include <libheif/heif.h>
#include <png.h>

#include "platform/image/Image.h"
#include "platform/image/HeifStructure.h"
#include "platform/image/HevcDecoder.h"
#include "platform/image/HevcParameterSets.h"
#include "platform/image/IsoBoxReader.h"
#include "platform/image/YCbCrConverter.h"

namespace sorvel::image::decode {

namespace {

bool sizeAllowed(std::int64_t w, std::int64_t h) {
    return w > 0 && h > 0 && w <= ImageLimits::maxSide && h <= ImageLimits::maxSide &&
           w * h <= ImageLimits::maxPixels;
}

// An ICC profile describing Display P3 names itself so in its description tag.
bool iccIsDisplayP3(const std::uint8_t* icc, std::size_t size) {
    std::string_view s(reinterpret_cast<const char*>(icc), size);
    if (s.find("Display P3") != std::string_view::npos) return true;
    // 'desc' stored as UTF-16 ('mluc'): look for "P3" with zero bytes between.
    static const char kP3Utf16[] = {'D', 0, 'i', 0, 's', 0, 'p', 0, 'l', 0, 'a', 0, 'y', 0, ' ', 0, 'P', 0, '3'};
    return s.find(std::string_view(kP3Utf16, sizeof kP3Utf16)) != std::string_view::npos;
}

struct HeifContext {
    heif_context* ctx = heif_context_alloc();
    heif_image_handle* handle = nullptr;
    ~HeifContext() {
        if (handle) heif_image_handle_release(handle);
        heif_context_free(ctx);
    }
    bool open(const std::uint8_t* data, std::size_t size) {
        if (!ctx) return false;
        heif_context_set_maximum_image_size_limit(ctx, ImageLimits::maxSide);
        if (heif_context_read_from_memory_without_copy(ctx, data, size, nullptr).code != heif_error_Ok)
            return false;
        return heif_context_get_primary_image_handle(ctx, &handle).code == heif_error_Ok && handle;
    }
};

ColorSpace heifColorSpace(const heif_image_handle* handle) {
    ColorSpace space = ColorSpace::SRGB;
    heif_color_profile_nclx* nclx = nullptr;
    if (heif_image_handle_get_nclx_color_profile(handle, &nclx).code == heif_error_Ok && nclx) {
        if (nclx->color_primaries == heif_color_primaries_SMPTE_EG_432_1) space = ColorSpace::DisplayP3;
        heif_nclx_color_profile_free(nclx);
    } else if (std::size_t n = heif_image_handle_get_raw_color_profile_size(handle); n > 0 && n < (1u << 24)) {
        Bytes icc(n);
        if (heif_image_handle_get_raw_color_profile(handle, icc.data()).code == heif_error_Ok &&
            iccIsDisplayP3(icc.data(), n))
            space = ColorSpace::DisplayP3;
    }
    return space;
}

using HeifImage = std::unique_ptr<heif_image, decltype(&heif_image_release)>;

HeifImage decodeHeifImage(const HeifContext& h, heif_colorspace colorspace, heif_chroma chroma) {
    std::unique_ptr<heif_decoding_options, decltype(&heif_decoding_options_free)> options(
        heif_decoding_options_alloc(), heif_decoding_options_free);
    // The app applies orientation itself: decode the pixels as they lie in the file.
    options->ignore_transformations = 1;
    options->convert_hdr_to_8bit = 1;
    heif_image* raw = nullptr;
    if (heif_decode_image(h.handle, &raw, colorspace, chroma, options.get()).code != heif_error_Ok) raw = nullptr;
    return HeifImage(raw, heif_image_release);
}

int threadCount() { return int(std::clamp(std::thread::hardware_concurrency(), 1u, 16u)); }

// The matrix and range libheif converts a picture with: the file's nclx when it has one, else
// the HEVC stream's own description (libheif's libde265 decoder attaches that to the picture).
struct NativeConversion {
    bool fromFile = false;
    decode::YCbCrCoefficients coefficients;
    decode::YCbCrRange range = decode::YCbCrRange::Full;

    // The conversion for a picture the decoder just decoded; nothing for matrices we leave to libheif.
    std::optional<NativeConversion> forPicture(const decode::HevcDecoder& decoder) const {
        if (fromFile) return *this;
        auto k = decode::ycbcrCoefficients(decoder.matrixCoefficients());
        if (!k) return std::nullopt;
        return NativeConversion{true, *k, decoder.fullRange() ? decode::YCbCrRange::Full : decode::YCbCrRange::Limited};
    }
};

// Nothing when the picture is of a kind the converter does not reproduce exactly as libheif would.
std::optional<NativeConversion> nativeConversion(const HeifContext& h) {
    if (heif_image_handle_has_alpha_channel(h.handle) || heif_image_handle_get_luma_bits_per_pixel(h.handle) != 8 ||
        heif_image_handle_get_chroma_bits_per_pixel(h.handle) != 8)
        return std::nullopt;
    heif_color_profile_nclx* nclx = nullptr;
    if (heif_image_handle_get_nclx_color_profile(h.handle, &nclx).code != heif_error_Ok || !nclx)
        return NativeConversion{};
    const int matrix = nclx->matrix_coefficients;
    const bool fullRange = nclx->full_range_flag != 0;
    heif_nclx_color_profile_free(nclx);
    auto coefficients = decode::ycbcrCoefficients(matrix);
    if (!coefficients) return std::nullopt;
    return NativeConversion{true, *coefficients, fullRange ? decode::YCbCrRange::Full : decode::YCbCrRange::Limited};
}

// The planes' top-left width x height (the coded picture may be larger than the item).
std::optional<decode::YCbCrPlanes> cropped(decode::YCbCrPlanes p, int width, int height) {
    if (p.width < width || p.height < height) return std::nullopt;
    p.width = width, p.height = height;
    return p;
}

std::optional<std::pair<int, int>> ispeSize(const isobmff::HeifStructure& s, std::uint32_t item) {
    const isobmff::Box* ispe = s.property(item, isobmff::fourcc("ispe"));
    if (!ispe || ispe->size < 12) return std::nullopt;
    const std::int64_t w = isobmff::readBE(ispe->body + 4, 4), h = isobmff::readBE(ispe->body + 8, 4);
    if (!sizeAllowed(w, h)) return std::nullopt;
    return std::pair{int(w), int(h)};
}

std::optional<Bitmap> decodeNativeSingle(const isobmff::HeifStructure& s, const NativeConversion& c, ColorSpace space) {
    const std::uint32_t item = s.primary();
    const isobmff::Box* config = s.property(item, isobmff::fourcc("hvcC"));
    const auto size = ispeSize(s, item);
    auto coded = s.data(item);
    if (!config || !size || !coded) return std::nullopt;
    decode::HevcDecoder decoder(threadCount());
    if (!decoder.decode(config->body, config->size, coded->data(), coded->size())) return std::nullopt;
    auto planes = cropped(decoder.planes(), size->first, size->second);
    const auto conversion = c.forPicture(decoder);
    if (!planes || !conversion) return std::nullopt;
    // The conversion writes every byte.
    auto bitmap = Bitmap::makeUninitialized(size->first, size->second, PixelFormat::RGBA8, space);
    if (!bitmap) return std::nullopt;
    decode::convertToRGBA(*planes, conversion->coefficients, conversion->range, bitmap->mutableData(),
                          bitmap->bytesPerRow(), threadCount());
    return bitmap;
}

// Every tile decoded and converted straight into its place on one of the cores; a tile's chroma
// sits on even coordinates, so converting tile by tile gives the whole picture's result.
std::optional<Bitmap> decodeNativeGrid(const isobmff::HeifStructure& s, const NativeConversion& c, ColorSpace space) {
    using isobmff::fourcc;
    const auto grid = s.grid(s.primary());
    const auto tiles = s.references(s.primary(), fourcc("dimg"));
    if (!grid || !sizeAllowed(grid->width, grid->height) || tiles.empty() ||
        tiles.size() != std::size_t(grid->rows) * std::size_t(grid->columns))
        return std::nullopt;
    const auto tileSize = ispeSize(s, tiles.front());
    if (!tileSize) return std::nullopt;
    const int tileW = tileSize->first, tileH = tileSize->second;  // clang 14 cannot capture a structured binding
    for (std::uint32_t tile : tiles)
        if (s.itemType(tile) != fourcc("hvc1") || ispeSize(s, tile) != tileSize || !s.property(tile, fourcc("hvcC")))
            return std::nullopt;
    if (std::int64_t(tileW) * grid->columns < grid->width || std::int64_t(tileH) * grid->rows < grid->height)
        return std::nullopt;
    // The tiles cover the picture and each writes every byte of its part (a failed tile fails all).
    auto bitmap = Bitmap::makeUninitialized(int(grid->width), int(grid->height), PixelFormat::RGBA8, space);
    if (!bitmap) return std::nullopt;

    std::atomic<std::size_t> next{0};
    std::atomic<bool> failed{false};
    auto work = [&] {
        decode::HevcDecoder decoder;
        for (std::size_t i = next++; i < tiles.size() && !failed; i = next++) {
            const int x0 = int(i % std::size_t(grid->columns)) * tileW, y0 = int(i / std::size_t(grid->columns)) * tileH;
            if (x0 >= int(grid->width) || y0 >= int(grid->height)) continue;  // wholly cropped away
            const isobmff::Box* config = s.property(tiles[i], fourcc("hvcC"));
            auto coded = s.data(tiles[i]);
            if (!coded || !decoder.decode(config->body, config->size, coded->data(), coded->size())) {
                failed = true;
                break;
            }
            auto planes = cropped(decoder.planes(), std::min(tileW, int(grid->width) - x0),
                                  std::min(tileH, int(grid->height) - y0));
            const auto conversion = c.forPicture(decoder);
            if (!planes || !conversion) {
                failed = true;
                break;
            }
            decode::convertToRGBA(*planes, conversion->coefficients, conversion->range,
                                  bitmap->mutableRow(y0) + 4 * std::size_t(x0), bitmap->bytesPerRow(), 1);
        }
    };
    const int threads = std::min<int>(threadCount(), int(tiles.size()));
    std::vector<std::thread> workers;
    for (int t = 1; t < threads; ++t) workers.emplace_back(work);
    work();
    for (auto& w : workers) w.join();
    if (failed) return std::nullopt;
    return bitmap;
}

// The primary picture decoded by libde265 directly and converted on every core. Nothing for what
// the converter does not reproduce exactly as libheif would (alpha, more than 8 bits, monochrome,
// matrices other than BT.601/709/2020, items other than 'hvc1' and grids of them).
std::optional<Bitmap> decodeNative(const HeifContext& h, const std::optional<isobmff::HeifStructure>& structure,
                                   ColorSpace space) {
    const auto conversion = nativeConversion(h);
    if (!conversion || !structure) return std::nullopt;
    const std::uint32_t type = structure->itemType(structure->primary());
    if (type == isobmff::fourcc("hvc1")) return decodeNativeSingle(*structure, *conversion, space);
    if (type == isobmff::fourcc("grid")) return decodeNativeGrid(*structure, *conversion, space);
    return std::nullopt;
}

// The irot/imir boxes of an item, in the order they apply.
std::vector<Bytes> transformBoxes(const isobmff::HeifStructure& s, std::uint32_t item) {
    std::vector<Bytes> boxes;
    for (const isobmff::Box* b : s.properties(item))
        if (b->type == isobmff::fourcc("irot") || b->type == isobmff::fourcc("imir"))
            boxes.emplace_back(b->start, b->start + b->totalSize);
    return boxes;
}

// The thumbnail item `item` of the primary picture decoded as stored, when it is a coded picture
// that shows what the primary shows (its proportions, its transforms, no larger) and is at least
// `minLongSide` on its long side. The colour description is the item's own 'colr' (as libheif
// reads it), else its stream's.
std::optional<Bitmap> decodeThumbnailItem(const isobmff::HeifStructure& s, std::uint32_t item,
                                          std::pair<int, int> primarySize, int minLongSide) {
    using isobmff::fourcc;
    const isobmff::Box* config = s.property(item, fourcc("hvcC"));
    const auto size = ispeSize(s, item);
    if (s.itemType(item) != fourcc("hvc1") || !config || !size) return std::nullopt;
    const auto [w, h] = *size;
    const auto [pw, ph] = primarySize;
    if (std::max(w, h) < minLongSide || w > pw || h > ph) return std::nullopt;
    // Within 2 %: writers round a thumbnail's sides to whole (or even) pixels.
    if (std::abs(double(w) * ph - double(h) * pw) > 0.02 * double(pw) * h) return std::nullopt;
    if (transformBoxes(s, item) != transformBoxes(s, s.primary())) return std::nullopt;
    const auto coded = decode::codedPictureSize(config->body, config->size);
    if (!coded || !sizeAllowed(coded->width, coded->height) || std::int64_t(coded->width) > w + 64 ||
        std::int64_t(coded->height) > h + 64)
        return std::nullopt;

    NativeConversion conversion;
    ColorSpace space = ColorSpace::SRGB;
    if (const isobmff::Box* colr = s.property(item, fourcc("colr")); colr && colr->size >= 4) {
        const std::uint32_t kind = std::uint32_t(isobmff::readBE(colr->body, 4));
        if (kind == fourcc("nclx") && colr->size >= 11) {
            const int primaries = int(isobmff::readBE(colr->body + 4, 2));
            const auto coefficients = decode::ycbcrCoefficients(int(isobmff::readBE(colr->body + 8, 2)));
            if (!coefficients) return std::nullopt;
            conversion = NativeConversion{true, *coefficients,
                                          (colr->body[10] & 0x80) ? decode::YCbCrRange::Full : decode::YCbCrRange::Limited};
            if (primaries == heif_color_primaries_SMPTE_EG_432_1) space = ColorSpace::DisplayP3;
        } else if ((kind == fourcc("prof") || kind == fourcc("rICC")) && iccIsDisplayP3(colr->body + 4, colr->size - 4)) {
            space = ColorSpace::DisplayP3;
        }
    }
    auto data = s.data(item);
    if (!data || data->empty()) return std::nullopt;
    decode::HevcDecoder decoder;
    if (!decoder.decode(config->body, config->size, data->data(), data->size())) return std::nullopt;
    auto planes = cropped(decoder.planes(), w, h);
    const auto picked = conversion.forPicture(decoder);
    if (!planes || !picked) return std::nullopt;
    auto bitmap = Bitmap::makeUninitialized(w, h, PixelFormat::RGBA8, space);
    if (!bitmap) return std::nullopt;
    decode::convertToRGBA(*planes, picked->coefficients, picked->range, bitmap->mutableData(), bitmap->bytesPerRow(), 1);
    return bitmap;
}

std::optional<Bitmap> decodeHeifConverted(const HeifContext& h, ColorSpace space) {
    HeifImage img = decodeHeifImage(h, heif_colorspace_RGB, heif_chroma_interleaved_RGBA);
    if (!img) return std::nullopt;
    int w = heif_image_get_width(img.get(), heif_channel_interleaved);
    int hgt = heif_image_get_height(img.get(), heif_channel_interleaved);
    int stride = 0;
    const std::uint8_t* plane = heif_image_get_plane_readonly(img.get(), heif_channel_interleaved, &stride);
    if (!plane || !sizeAllowed(w, hgt) || stride < w * 4) return std::nullopt;
    auto bitmap = Bitmap::make(w, hgt, PixelFormat::RGBA8, space);
    if (!bitmap) return std::nullopt;
    for (int y = 0; y < hgt; ++y) std::memcpy(bitmap->mutableRow(y), plane + std::size_t(y) * stride, std::size_t(w) * 4);
    return bitmap;
}

bool openForDecoding(HeifContext& h, const std::uint8_t* data, std::size_t size) {
    if (!h.open(data, size)) return false;
    if (!sizeAllowed(heif_image_handle_get_ispe_width(h.handle), heif_image_handle_get_ispe_height(h.handle)))
        return false;
    // Spreads a grid picture's tiles over the cores.
    heif_context_set_max_decoding_threads(h.ctx, threadCount());
    return true;
}

// An overlay's canvas size from its item data: version, flags (bit 0: 32-bit fields), four
// 16-bit fill values, then width and height.
std::optional<std::pair<std::uint64_t, std::uint64_t>> overlayCanvas(const std::vector<std::uint8_t>& d) {
    if (d.size() < 2) return std::nullopt;
    const int field = (d[1] & 1) ? 4 : 2;
    if (d.size() < std::size_t(10 + 2 * field)) return std::nullopt;
    return std::pair{isobmff::readBE(d.data() + 10, field), isobmff::readBE(d.data() + 10 + field, field)};
}

// False when the sizes a file declares do not fit together: a grid's tiles larger than the grid
// needs (every tile row and column must show at least one pixel), an overlay's canvas larger
// than its item, or a coded picture far beyond its item (a picture is its item rounded up to
// whole coding blocks, 64 at most). Decoders allocate what these say, gigabytes for a few
// damaged bytes, before finding out. So a derived picture is decoded only from coded pictures
// (a grid of overlays, an overlay of grids or an identity derivation is refused).
bool sizesFit(const std::optional<isobmff::HeifStructure>& s) {
    using isobmff::fourcc;
    if (!s) return true;  // libheif's reader and its own limits decide
    const auto derived = [&](std::uint32_t item) {
        const std::uint32_t t = s->itemType(item);
        return t == fourcc("grid") || t == fourcc("iovl") || t == fourcc("iden");
    };
    const std::uint32_t primaryType = s->itemType(s->primary());
    if (primaryType == fourcc("iden")) return false;
    if (primaryType == fourcc("iovl")) {
        const auto item = ispeSize(*s, s->primary());
        const auto d = s->data(s->primary());
        const auto canvas = d ? overlayCanvas(*d) : std::nullopt;
        const auto inputs = s->references(s->primary(), fourcc("dimg"));
        return item && canvas && canvas->first <= std::uint64_t(item->first) &&
               canvas->second <= std::uint64_t(item->second) && std::none_of(inputs.begin(), inputs.end(), derived);
    }
    std::vector<std::uint32_t> items{s->primary()};
    if (primaryType == fourcc("grid")) {
        items = s->references(s->primary(), fourcc("dimg"));
        const auto grid = s->grid(s->primary());
        if (!grid || items.empty() || std::any_of(items.begin(), items.end(), derived)) return false;
        const auto tile = ispeSize(*s, items.front());
        if (!tile) return false;
        for (const std::uint32_t item : items)
            if (ispeSize(*s, item) != tile) return false;
        const auto covers = [](std::int64_t tileSide, int count, std::int64_t side) {
            return tileSide * (count - 1) < side && side <= tileSide * count;
        };
        if (!covers(tile->first, grid->columns, grid->width) || !covers(tile->second, grid->rows, grid->height))
            return false;
    }
    for (const std::uint32_t item : items) {
        const isobmff::Box* config = s->property(item, fourcc("hvcC"));
        if (s->itemType(item) != fourcc("hvc1") || !config) continue;
        const auto coded = decode::codedPictureSize(config->body, config->size);
        if (!coded) continue;  // libde265 refuses what cannot be read
        const auto declared = ispeSize(*s, item);
        if (!declared || !sizeAllowed(coded->width, coded->height) ||
            std::int64_t(coded->width) > declared->first + 64 || std::int64_t(coded->height) > declared->second + 64)
            return false;
    }
    return true;
}

std::optional<Bitmap> decodeHeif(const std::uint8_t* data, std::size_t size) {
    HeifContext h;
    if (!openForDecoding(h, data, size)) return std::nullopt;
    const auto structure = isobmff::HeifStructure::read(data, size);
    if (!sizesFit(structure)) return std::nullopt;
    const ColorSpace space = heifColorSpace(h.handle);
    if (auto bitmap = decodeNative(h, structure, space)) return bitmap;
    return decodeHeifConverted(h, space);
}

struct JpegError {
    jpeg_error_mgr mgr;
    std::jmp_buf jump;
};

void jpegErrorExit(j_common_ptr cinfo) {
    auto* err = reinterpret_cast<JpegError*>(cinfo->err);
    std::longjmp(err->jump, 1);
}
void jpegSilence(j_common_ptr, int) {}

// Kept free of C++ objects with destructors between setjmp and longjmp.
// `scaleDenominator` 1, 2, 4 or 8: libjpeg decodes at that fraction of the size, in its IDCT.
bool decodeJpegInto(const std::uint8_t* data, std::size_t size, std::optional<Bitmap>* out, bool headerOnly,
                    int* width, int* height, unsigned scaleDenominator = 1) {
    jpeg_decompress_struct cinfo;
    JpegError err;
    cinfo.err = jpeg_std_error(&err.mgr);
    err.mgr.error_exit = jpegErrorExit;
    err.mgr.emit_message = jpegSilence;
    std::uint8_t* icc = nullptr;
    if (setjmp(err.jump)) {
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, data, static_cast<unsigned long>(size));
    jpeg_save_markers(&cinfo, JPEG_APP0 + 2, 0xFFFF);
    if (jpeg_read_header(&cinfo, TRUE) != JPEG_HEADER_OK) {
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    *width = int(cinfo.image_width);
    *height = int(cinfo.image_height);
    if (headerOnly || !sizeAllowed(cinfo.image_width, cinfo.image_height) ||
        cinfo.jpeg_color_space == JCS_CMYK || cinfo.jpeg_color_space == JCS_YCCK) {
        jpeg_destroy_decompress(&cinfo);
        return headerOnly && sizeAllowed(cinfo.image_width, cinfo.image_height);
    }
    unsigned int iccLen = 0;
    ColorSpace space = ColorSpace::SRGB;
    if (jpeg_read_icc_profile(&cinfo, &icc, &iccLen) && icc && iccIsDisplayP3(icc, iccLen))
        space = ColorSpace::DisplayP3;
    std::free(icc);
    icc = nullptr;
    cinfo.out_color_space = JCS_EXT_RGBA;
    cinfo.scale_num = 1;
    cinfo.scale_denom = scaleDenominator;
    jpeg_start_decompress(&cinfo);
    *out = Bitmap::make(int(cinfo.output_width), int(cinfo.output_height), PixelFormat::RGBA8, space);
    if (!*out) {
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    while (cinfo.output_scanline < cinfo.output_height) {
        JSAMPROW row = (*out)->mutableRow(int(cinfo.output_scanline));
        jpeg_read_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    return true;
}

std::optional<Bitmap> decodeJpeg(const std::uint8_t* data, std::size_t size) {
    std::optional<Bitmap> out;
    int w = 0, h = 0;
    if (!decodeJpegInto(data, size, &out, false, &w, &h)) return std::nullopt;
    return out;
}

std::optional<Bitmap> decodePng(const std::uint8_t* data, std::size_t size) {
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&image, data, size)) return std::nullopt;
    if (!sizeAllowed(image.width, image.height)) {
        png_image_free(&image);
        return std::nullopt;
    }
    image.format = PNG_FORMAT_RGBA;
    auto bitmap = Bitmap::make(int(image.width), int(image.height), PixelFormat::RGBA8, ColorSpace::SRGB);
    if (!bitmap) {
        png_image_free(&image);
        return std::nullopt;
    }
    if (!png_image_finish_read(&image, nullptr, bitmap->mutableData(), png_int_32(bitmap->bytesPerRow()), nullptr)) {
        png_image_free(&image);
        return std::nullopt;
    }
    return bitmap;
}

// libheif 1.15 applies the HEIF transform properties but does not report them: they are read
// from the boxes. Anything odd gives "no transform".
using isobmff::Box;
using isobmff::children;
using isobmff::find;
using isobmff::fourcc;

std::uint32_t be(const std::uint8_t* p, int n) { return std::uint32_t(isobmff::readBE(p, n)); }

// 2 x 2 pixel-direction matrices (x right, y down) of the eight orientation values.
constexpr int kOrientationMatrix[9][4] = {{0, 0, 0, 0},  {1, 0, 0, 1},  {-1, 0, 0, 1},
                                          {-1, 0, 0, -1}, {1, 0, 0, -1}, {0, 1, 1, 0},
                                          {0, -1, 1, 0},  {0, -1, -1, 0}, {0, 1, -1, 0}};

// The orientation value equal to the primary item's irot/imir properties, in association
// order; 0 when it has none.
int heifTransformOrientation(const std::uint8_t* data, std::size_t size) {
    auto top = children(data, size);
    const Box* meta = find(top, fourcc("meta"));
    if (!meta || meta->size < 4) return 0;
    auto inMeta = children(meta->body + 4, meta->size - 4);
    const Box* pitm = find(inMeta, fourcc("pitm"));
    const Box* iprp = find(inMeta, fourcc("iprp"));
    if (!pitm || !iprp || pitm->size < 6) return 0;
    const std::uint32_t primary = pitm->body[0] == 0 ? be(pitm->body + 4, 2) : (pitm->size >= 8 ? be(pitm->body + 4, 4) : 0);
    auto inIprp = children(iprp->body, iprp->size);
    const Box* ipco = find(inIprp, fourcc("ipco"));
    const Box* ipma = find(inIprp, fourcc("ipma"));
    if (!ipco || !ipma || ipma->size < 8) return 0;
    auto properties = children(ipco->body, ipco->size);
    const std::uint8_t* p = ipma->body;
    const std::uint8_t* end = p + ipma->size;
    const int version = p[0];
    const bool wide = (p[3] & 1) != 0;
    std::uint32_t entries = be(p + 4, 4);
    p += 8;
    int m[4] = {1, 0, 0, 1};
    bool any = false;
    for (std::uint32_t e = 0; e < entries; ++e) {
        const int idBytes = version < 1 ? 2 : 4;
        if (end - p < idBytes + 1) return 0;
        std::uint32_t item = be(p, idBytes);
        int count = p[idBytes];
        p += idBytes + 1;
        for (int a = 0; a < count; ++a) {
            const int n = wide ? 2 : 1;
            if (end - p < n) return 0;
            std::uint32_t index = be(p, n) & (wide ? 0x7FFFu : 0x7Fu);
            p += n;
            if (item != primary || index == 0 || index > properties.size()) continue;
            const Box& prop = properties[index - 1];
            int t[4];
            if (prop.type == fourcc("irot") && prop.size >= 1) {
                int angle = prop.body[0] & 3;  // anticlockwise quarter turns
                int r[4] = {1, 0, 0, 1};
                for (int k = 0; k < angle; ++k) {  // r = rot90ccw * r; rot90ccw = value 8's matrix
                    int nr[4] = {r[2], r[3], -r[0], -r[1]};
                    std::copy(nr, nr + 4, r);
                }
                std::copy(r, r + 4, t);
            } else if (prop.type == fourcc("imir") && prop.size >= 1) {
                // As libheif reads it (and other decoders with it): axis 0 flips top <-> bottom,
                // axis 1 left <-> right. Checked against heif-convert in the tests.
                if ((prop.body[0] & 1) == 0) t[0] = 1, t[1] = 0, t[2] = 0, t[3] = -1;
                else t[0] = -1, t[1] = 0, t[2] = 0, t[3] = 1;
            } else {
                continue;
            }
            int nm[4] = {t[0] * m[0] + t[1] * m[2], t[0] * m[1] + t[1] * m[3], t[2] * m[0] + t[3] * m[2],
                         t[2] * m[1] + t[3] * m[3]};
            std::copy(nm, nm + 4, m);
            any = true;
        }
    }
    if (!any) return 0;
    for (int o = 1; o <= 8; ++o)
        if (std::equal(m, m + 4, kOrientationMatrix[o])) return o;
    return 0;
}

}  // namespace

Container sniff(const std::uint8_t* d, std::size_t n) {
    if (!d) return Container::Unknown;
    if (n >= 3 && d[0] == 0xFF && d[1] == 0xD8 && d[2] == 0xFF) return Container::JPEG;
    if (n >= 8 && std::memcmp(d, "\x89PNG\r\n\x1a\n", 8) == 0) return Container::PNG;
    if (n >= 4 && (std::memcmp(d, "II*\0", 4) == 0 || std::memcmp(d, "MM\0*", 4) == 0)) return Container::TIFF;
    if (n >= 12 && std::memcmp(d + 4, "ftyp", 4) == 0) {
        std::string_view brand(reinterpret_cast<const char*>(d + 8), 4);
        // QuickTime movies ("qt  ") share the box layout but are no picture.
        if (brand != "qt  " && brand.substr(0, 3) != "mp4" && brand != "isom" && brand != "M4V ")
            return Container::HEIF;
    }
    return Container::Unknown;
}

std::optional<Bitmap> decodePrimary(const std::uint8_t* data, std::size_t size) {
    switch (sniff(data, size)) {
        case Container::HEIF: return decodeHeif(data, size);
        case Container::JPEG: return decodeJpeg(data, size);
        case Container::PNG: return decodePng(data, size);
        default: return std::nullopt;
    }
}

std::optional<Bitmap> decodeHeifNative(const std::uint8_t* data, std::size_t size) {
    if (sniff(data, size) != Container::HEIF) return std::nullopt;
    HeifContext h;
    if (!openForDecoding(h, data, size)) return std::nullopt;
    return decodeNative(h, isobmff::HeifStructure::read(data, size), heifColorSpace(h.handle));
}

std::optional<HeifInfo> heifInfo(const std::uint8_t* data, std::size_t size) {
    if (sniff(data, size) != Container::HEIF) return std::nullopt;
    HeifContext h;
    if (!h.open(data, size)) return std::nullopt;
    HeifInfo info;
    info.transformOrientation = heifTransformOrientation(data, size);
    // The size as stored: the displayed size with a quarter turn undone ('ispe' is not
    // trusted: some writers store the turned size there).
    info.width = heif_image_handle_get_width(h.handle);
    info.height = heif_image_handle_get_height(h.handle);
    if (info.transformOrientation >= 5) std::swap(info.width, info.height);
    if (!sizeAllowed(info.width, info.height)) return std::nullopt;
    heif_item_id id = 0;
    if (heif_image_handle_get_list_of_metadata_block_IDs(h.handle, "Exif", &id, 1) == 1) {
        std::size_t n = heif_image_handle_get_metadata_size(h.handle, id);
        if (n > 4 && n < (std::size_t(1) << 26)) {
            Bytes block(n);
            if (heif_image_handle_get_metadata(h.handle, id, block.data()).code == heif_error_Ok) {
                // The item starts with a 4-byte big-endian offset to the TIFF header.
                std::uint32_t off = (std::uint32_t(block[0]) << 24) | (block[1] << 16) | (block[2] << 8) | block[3];
                if (std::size_t(off) + 4 < n) info.exif.assign(block.begin() + 4 + off, block.end());
            }
        }
    }
    return info;
}

std::optional<Bitmap> decodeHeifThumbnail(const std::uint8_t* data, std::size_t size, int minLongSide) {
    if (sniff(data, size) != Container::HEIF) return std::nullopt;
    const auto structure = isobmff::HeifStructure::read(data, size);
    if (!structure) return std::nullopt;
    const auto primarySize = ispeSize(*structure, structure->primary());
    if (!primarySize) return std::nullopt;
    for (const std::uint32_t item : structure->referencing(structure->primary(), isobmff::fourcc("thmb")))
        if (auto bitmap = decodeThumbnailItem(*structure, item, *primarySize, minLongSide)) return bitmap;
    return std::nullopt;
}

std::optional<Bitmap> decodeJpegReduced(const std::uint8_t* data, std::size_t size, int minLongSide) {
    if (sniff(data, size) != Container::JPEG) return std::nullopt;
    std::optional<Bitmap> out;
    int w = 0, h = 0;
    if (!decodeJpegInto(data, size, &out, true, &w, &h)) return std::nullopt;
    const std::int64_t longSide = std::max(w, h);
    unsigned denominator = 8;
    while (denominator > 1 && (longSide + denominator - 1) / denominator < minLongSide) denominator /= 2;
    if (!decodeJpegInto(data, size, &out, false, &w, &h, denominator)) return std::nullopt;
    return out;
}

std::optional<std::pair<int, int>> headerSize(const std::uint8_t* data, std::size_t size) {
    switch (sniff(data, size)) {
        case Container::JPEG: {
            std::optional<Bitmap> unused;
            int w = 0, h = 0;
            if (!decodeJpegInto(data, size, &unused, true, &w, &h)) return std::nullopt;
            return std::pair{w, h};
        }
        case Container::PNG: {
            png_image image;
            std::memset(&image, 0, sizeof image);
            image.version = PNG_IMAGE_VERSION;
            if (!png_image_begin_read_from_memory(&image, data, size)) return std::nullopt;
            std::pair<int, int> wh{int(image.width), int(image.height)};
            png_image_free(&image);
            if (!sizeAllowed(wh.first, wh.second)) return std::nullopt;
            return wh;
        }
        default: return std::nullopt;
    }
}

}  // namespace sorvel::image::decode
