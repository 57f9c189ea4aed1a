#include "platform/image/ImageDestination.h"

#include <algorithm>
#include <cmath>
#include <csetjmp>
#include <atomic>
#include <cstring>
#include <thread>
#include <vector>

#include <jpeglib.h>
#include <libheif/heif.h>
#include <png.h>

#include "platform/image/Exif.h"
#include "platform/image/HeicThumbnail.h"
#include "platform/image/HeifGridWriter.h"
#include "platform/image/HeifStructure.h"
#include "platform/image/Image.h"
#include "platform/image/RenderContext.h"

namespace sorvel::image {

namespace {

enum class CodingThreads { X265Default, One };

struct EncodeRequest {
    Bitmap pixels;  // 8-bit straight RGBA in `space`
    ColorSpace space;
    double quality;
    bool alpha;
    std::optional<Bytes> exif;
    std::string speed;
    int orientation;  // 1..8: the Exif tag; a HEIC's irot/imir too
    int tileSize;     // HEIC: > 0 writes a grid of tiles this size when the picture is larger
    int thumbnailSide;  // HEIC: the embedded thumbnail's least long side; 0 writes none
    CodingThreads codingThreads = CodingThreads::X265Default;
};

// The request's picture reduced for the embedded thumbnail; nothing when it gets none (alpha
// would need an alpha item of its own, and small pictures are their own thumbnail).
std::optional<EncodeRequest> thumbnailRequest(const EncodeRequest& r) {
    if (r.alpha || r.thumbnailSide <= 0) return std::nullopt;
    auto pixels = reduceForThumbnail(r.pixels, r.thumbnailSide);
    if (!pixels) return std::nullopt;
    EncodeRequest t = r;
    t.pixels = std::move(*pixels);
    t.exif.reset();
    t.tileSize = 0, t.thumbnailSide = 0;
    t.codingThreads = CodingThreads::One;
    return t;
}

// The bitmap as 8-bit straight RGBA in `space`, converted through the renderer when needed.
std::optional<Bitmap> toRGBA8(const Bitmap& b, ColorSpace space) {
    if (b.format() == PixelFormat::RGBA8 && b.colorSpace() == space) return b;
    RenderContext context;
    return context.render(Image(b), Rect{0, 0, double(b.width()), double(b.height())}, PixelFormat::RGBA8, space);
}

heif_error writeToBytes(heif_context*, const void* data, std::size_t size, void* userdata) {
    auto* out = static_cast<Bytes*>(userdata);
    const auto* p = static_cast<const std::uint8_t*>(data);
    out->insert(out->end(), p, p + size);
    return heif_error{heif_error_Ok, heif_suberror_Unspecified, "ok"};
}

// The colour description every HEIC of ours carries: sRGB transfer, full range, BT.601 matrix
// (what libheif converts with), primaries of the picture's space.
HeifNclx nclxFor(ColorSpace space) {
    HeifNclx n;
    n.primaries = space == ColorSpace::DisplayP3 ? heif_color_primaries_SMPTE_EG_432_1 : heif_color_primaries_ITU_R_BT_709_5;
    n.transfer = heif_transfer_characteristic_IEC_61966_2_1;
    n.matrix = heif_matrix_coefficients_ITU_R_BT_601_6;
    n.fullRange = true;
    return n;
}

void setNclx(heif_color_profile_nclx& nclx, ColorSpace space) {
    const HeifNclx profile = nclxFor(space);
    nclx.color_primaries = heif_color_primaries(profile.primaries);
    nclx.transfer_characteristics = heif_transfer_characteristics(profile.transfer);
    nclx.matrix_coefficients = heif_matrix_coefficients(profile.matrix);
    nclx.full_range_flag = profile.fullRange ? 1 : 0;
}

// x265 speed settings, chosen by bench/image (measurements in bench/image/RESULTS.md).
void applySpeed(heif_encoder* enc, const std::string& speed) {
    if (speed == "slow") {
        heif_encoder_set_parameter_string(enc, "preset", "medium");
    } else if (speed == "balanced") {
        heif_encoder_set_parameter_string(enc, "preset", "veryfast");
    } else {
        heif_encoder_set_parameter_string(enc, "preset", "ultrafast");
    }
}

// The 'ispe' of an item of a file we just wrote.
std::optional<std::pair<int, int>> ispeSize(const isobmff::HeifStructure& s, std::uint32_t item) {
    const isobmff::Box* ispe = s.property(item, isobmff::fourcc("ispe"));
    if (!ispe || ispe->size < 12) return std::nullopt;
    return std::pair{int(isobmff::readBE(ispe->body + 4, 4)), int(isobmff::readBE(ispe->body + 8, 4))};
}

using HeifImageOwner = std::unique_ptr<heif_image, decltype(&heif_image_release)>;
using HeifHandleOwner = std::unique_ptr<heif_image_handle, decltype(&heif_image_handle_release)>;

// The region (x0, y0, codedWidth x codedHeight) of the request's pixels as a libheif picture
// with the request's colour description; columns and rows past the bitmap's edge repeat its
// last column and row (a grid's edge tiles are coded at full size and cropped by the grid).
HeifImageOwner heifPicture(const EncodeRequest& r, int x0, int y0, int codedWidth, int codedHeight) {
    HeifImageOwner none(nullptr, heif_image_release);
    const int w = codedWidth, h = codedHeight;
    heif_image* rawImg = nullptr;
    const heif_chroma chroma = r.alpha ? heif_chroma_interleaved_RGBA : heif_chroma_interleaved_RGB;
    if (heif_image_create(w, h, heif_colorspace_RGB, chroma, &rawImg).code != heif_error_Ok) return none;
    HeifImageOwner img(rawImg, heif_image_release);
    if (heif_image_add_plane(img.get(), heif_channel_interleaved, w, h, 8).code != heif_error_Ok) return none;
    int stride = 0;
    std::uint8_t* plane = heif_image_get_plane(img.get(), heif_channel_interleaved, &stride);
    if (!plane) return none;
    const int lastX = r.pixels.width() - 1, lastY = r.pixels.height() - 1;
    for (int y = 0; y < h; ++y) {
        const std::uint8_t* s = r.pixels.row(std::min(y0 + y, lastY));
        std::uint8_t* d = plane + std::size_t(y) * stride;
        const int inside = std::clamp(lastX + 1 - x0, 0, w);
        if (r.alpha) {
            std::memcpy(d, s + 4 * std::size_t(x0), std::size_t(inside) * 4);
            for (int x = inside; x < w; ++x) std::memcpy(d + 4 * x, s + 4 * std::size_t(lastX), 4);
        } else {
            const std::uint8_t* sx = s + 4 * std::size_t(x0);
            for (int x = 0; x < inside; ++x) d[3 * x] = sx[4 * x], d[3 * x + 1] = sx[4 * x + 1], d[3 * x + 2] = sx[4 * x + 2];
            for (int x = inside; x < w; ++x) std::memcpy(d + 3 * x, s + 4 * std::size_t(lastX), 3);
        }
    }

    std::unique_ptr<heif_color_profile_nclx, decltype(&heif_nclx_color_profile_free)> nclx(
        heif_nclx_color_profile_alloc(), heif_nclx_color_profile_free);
    if (!nclx) return none;
    setNclx(*nclx, r.space);
    heif_image_set_nclx_color_profile(img.get(), nclx.get());
    return img;
}

// Codes `img` (from heifPicture) into `ctx` with the request's settings.
HeifHandleOwner encodeInto(heif_context* ctx, const EncodeRequest& r, heif_image* img) {
    HeifHandleOwner none(nullptr, heif_image_handle_release);
    heif_encoder* rawEnc = nullptr;
    if (heif_context_get_encoder_for_format(ctx, heif_compression_HEVC, &rawEnc).code != heif_error_Ok) return none;
    std::unique_ptr<heif_encoder, decltype(&heif_encoder_release)> enc(rawEnc, heif_encoder_release);
    heif_encoder_set_lossy_quality(enc.get(), int(std::lround(r.quality * 100.0)));
    applySpeed(enc.get(), r.speed);
    if (r.codingThreads == CodingThreads::One) {
        // For a thumbnail, starting x265's thread pools and frame threads costs about as much as
        // the coding (BM_HeicThumbnailCoding in bench/image: half the added time without them).
        heif_encoder_set_parameter_string(enc.get(), "x265:pools", "none");
        heif_encoder_set_parameter_string(enc.get(), "x265:frame-threads", "1");
        heif_encoder_set_parameter_string(enc.get(), "x265:lookahead-slices", "0");
    }

    std::unique_ptr<heif_color_profile_nclx, decltype(&heif_nclx_color_profile_free)> nclx(
        heif_nclx_color_profile_alloc(), heif_nclx_color_profile_free);
    if (!nclx) return none;
    setNclx(*nclx, r.space);
    std::unique_ptr<heif_encoding_options, decltype(&heif_encoding_options_free)> options(
        heif_encoding_options_alloc(), heif_encoding_options_free);
    options->save_alpha_channel = r.alpha ? 1 : 0;
    // libheif leaves the nclx box out for old macOS decoders unless told not to.
    options->macOS_compatibility_workaround_no_nclx_profile = 0;
    options->output_nclx_profile = nclx.get();

    heif_image_handle* handle = nullptr;
    if (heif_context_encode_image(ctx, img, enc.get(), options.get(), &handle).code != heif_error_Ok) return none;
    return HeifHandleOwner(handle, heif_image_handle_release);
}

// The region (x0, y0, codedWidth x codedHeight) of the request's pixels as one HEIC file, as
// libheif writes it, with `thumbnail`'s pixels as its 'thmb' item when given.
bool encodeHeicPicture(const EncodeRequest& r, int x0, int y0, int codedWidth, int codedHeight, const Bytes* exif,
                       Bytes& out, const EncodeRequest* thumbnail = nullptr) {
    std::unique_ptr<heif_context, decltype(&heif_context_free)> ctx(heif_context_alloc(), heif_context_free);
    if (!ctx) return false;
    HeifImageOwner img = heifPicture(r, x0, y0, codedWidth, codedHeight);
    if (!img) return false;
    HeifHandleOwner handleOwner = encodeInto(ctx.get(), r, img.get());
    if (!handleOwner) return false;
    heif_image_handle* handle = handleOwner.get();
    if (thumbnail) {
        const Bitmap& t = thumbnail->pixels;
        HeifImageOwner small = heifPicture(*thumbnail, 0, 0, t.width(), t.height());
        HeifHandleOwner smallHandle = small ? encodeInto(ctx.get(), *thumbnail, small.get())
                                            : HeifHandleOwner(nullptr, heif_image_handle_release);
        // libheif 1.15 hands heif_context_assign_thumbnail's two images on swapped, so the master
        // goes second here; the written file is checked below, as a libheif with the order
        // mended would make the picture its thumbnail's thumbnail.
        if (!smallHandle || heif_context_assign_thumbnail(ctx.get(), smallHandle.get(), handle).code != heif_error_Ok)
            return false;
    }
    if (exif && !exif->empty()) {
        if (heif_context_add_exif_metadata(ctx.get(), handle, exif->data(), int(exif->size())).code != heif_error_Ok)
            return false;
    }
    Bytes bytes;
    heif_writer writer{1, writeToBytes};
    if (heif_context_write(ctx.get(), &writer, &bytes).code != heif_error_Ok) return false;
    if (thumbnail) {
        const auto written = isobmff::HeifStructure::read(bytes.data(), bytes.size());
        if (!written || written->referencing(written->primary(), isobmff::fourcc("thmb")).size() != 1 ||
            ispeSize(*written, written->primary()) != std::pair{codedWidth, codedHeight})
            return false;
    }
    out = std::move(bytes);
    return true;
}

// A grid of tileWidth x tileHeight pictures, coded on every core, assembled into one file.
bool encodeHeicGrid(const EncodeRequest& r, int tileWidth, int tileHeight, Bytes& out) {
    HeifGridLayout layout;
    layout.width = r.pixels.width(), layout.height = r.pixels.height();
    layout.tileWidth = tileWidth, layout.tileHeight = tileHeight;
    layout.columns = (layout.width + tileWidth - 1) / tileWidth;
    layout.rows = (layout.height + tileHeight - 1) / tileHeight;
    layout.orientation = r.orientation;
    const int count = layout.columns * layout.rows;
    std::vector<Bytes> tiles(static_cast<std::size_t>(count));
    // Job 0 is the thumbnail (reduced from the whole picture, the longest job: first), then the
    // tiles. A thumbnail that fails leaves the file without one.
    const bool wantThumbnail = !r.alpha && r.thumbnailSide > 0;
    std::optional<HeifGridThumbnail> thumbnail;
    const int first = wantThumbnail ? 0 : 1, jobs = count + 1;
    std::atomic<int> next{first};
    std::atomic<bool> failed{false};
    auto work = [&] {
        for (int job = next++; job < jobs && !failed; job = next++) {
            if (job == 0) {
                auto small = thumbnailRequest(r);
                HeifGridThumbnail t;
                if (small && encodeHeicPicture(*small, 0, 0, small->pixels.width(), small->pixels.height(), nullptr, t.file))
                    t.width = small->pixels.width(), t.height = small->pixels.height(), thumbnail = std::move(t);
                continue;
            }
            const int i = job - 1;
            const int x0 = (i % layout.columns) * tileWidth, y0 = (i / layout.columns) * tileHeight;
            if (!encodeHeicPicture(r, x0, y0, tileWidth, tileHeight, nullptr, tiles[std::size_t(i)])) failed = true;
        }
    };
    const int threads = int(std::clamp(std::thread::hardware_concurrency(), 1u, 16u));
    std::vector<std::thread> workers;
    for (int t = 1; t < std::min(threads, jobs - first); ++t) workers.emplace_back(work);
    work();
    for (auto& w : workers) w.join();
    if (failed) return false;
    auto file = writeHeifGrid(tiles, layout, nclxFor(r.space), r.exif ? *r.exif : Bytes{}, nullptr,
                              thumbnail ? &*thumbnail : nullptr);
    if (!file) return false;
    out = std::move(*file);
    return true;
}

bool encodeHeic(const EncodeRequest& r, Bytes& out) {
    const int w = r.pixels.width(), h = r.pixels.height();
    // Alpha would need a grid of its own: such pictures are written whole, their orientation in
    // the Exif tag alone.
    if (!r.alpha && r.tileSize > 0 && (w > r.tileSize || h > r.tileSize))
        return encodeHeicGrid(r, r.tileSize, r.tileSize, out);
    // A turned picture is written as a grid of one tile, whose transform boxes are ours to write.
    if (!r.alpha && r.orientation != 1) return encodeHeicGrid(r, (w + 7) / 8 * 8, (h + 7) / 8 * 8, out);
    const Bytes* exif = r.exif ? &*r.exif : nullptr;
    if (auto thumbnail = thumbnailRequest(r); thumbnail && encodeHeicPicture(r, 0, 0, w, h, exif, out, &*thumbnail))
        return true;
    return encodeHeicPicture(r, 0, 0, w, h, exif, out);
}

struct JpegError {
    jpeg_error_mgr mgr;
    std::jmp_buf jump;
};
void jpegErrorExit(j_common_ptr cinfo) { std::longjmp(reinterpret_cast<JpegError*>(cinfo->err)->jump, 1); }

bool encodeJpeg(const EncodeRequest& r, Bytes& out) {
    jpeg_compress_struct cinfo;
    JpegError err;
    cinfo.err = jpeg_std_error(&err.mgr);
    err.mgr.error_exit = jpegErrorExit;
    unsigned char* mem = nullptr;
    unsigned long memSize = 0;
    if (setjmp(err.jump)) {
        jpeg_destroy_compress(&cinfo);
        std::free(mem);
        return false;
    }
    jpeg_create_compress(&cinfo);
    jpeg_mem_dest(&cinfo, &mem, &memSize);
    cinfo.image_width = JDIMENSION(r.pixels.width());
    cinfo.image_height = JDIMENSION(r.pixels.height());
    cinfo.input_components = 4;
    cinfo.in_color_space = JCS_EXT_RGBX;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, std::clamp(int(std::lround(r.quality * 100.0)), 1, 100), TRUE);
    jpeg_start_compress(&cinfo, TRUE);
    if (r.exif && r.exif->size() + 6 < 65533) {
        Bytes app1{'E', 'x', 'i', 'f', 0, 0};
        app1.insert(app1.end(), r.exif->begin(), r.exif->end());
        jpeg_write_marker(&cinfo, JPEG_APP0 + 1, app1.data(), unsigned(app1.size()));
    }
    while (cinfo.next_scanline < cinfo.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(r.pixels.row(int(cinfo.next_scanline)));
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    out.assign(mem, mem + memSize);
    std::free(mem);
    return true;
}

bool encodePng(const EncodeRequest& r, Bytes& out) {
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    image.width = png_uint_32(r.pixels.width());
    image.height = png_uint_32(r.pixels.height());
    image.format = PNG_FORMAT_RGBA;
    Bytes stripped;
    const void* src = r.pixels.data();
    png_int_32 stride = png_int_32(r.pixels.bytesPerRow());
    if (!r.alpha) {
        image.format = PNG_FORMAT_RGB;
        stripped.resize(std::size_t(r.pixels.width()) * 3 * r.pixels.height());
        for (int y = 0; y < r.pixels.height(); ++y) {
            const std::uint8_t* s = r.pixels.row(y);
            std::uint8_t* d = stripped.data() + std::size_t(y) * r.pixels.width() * 3;
            for (int x = 0; x < r.pixels.width(); ++x) d[3 * x] = s[4 * x], d[3 * x + 1] = s[4 * x + 1], d[3 * x + 2] = s[4 * x + 2];
        }
        src = stripped.data();
        stride = png_int_32(r.pixels.width() * 3);
    }
    png_alloc_size_t size = 0;
    if (!png_image_write_get_memory_size(image, size, 0, src, stride, nullptr)) return false;
    Bytes bytes(size);
    if (!png_image_write_to_memory(&image, bytes.data(), &size, 0, src, stride, nullptr)) return false;
    bytes.resize(size);
    out = std::move(bytes);
    return true;
}

}  // namespace

std::unique_ptr<ImageDestination> ImageDestination::make(Bytes& output, std::string_view type, int imageCount) {
    if (imageCount != 1) return nullptr;
    if (type != kTypeHEIC && type != kTypeJPEG && type != kTypePNG) return nullptr;
    return std::unique_ptr<ImageDestination>(new ImageDestination(output, std::string(type)));
}

ImageDestination::ImageDestination(Bytes& output, std::string type) : output_(output), type_(std::move(type)) {}

ImageDestination::~ImageDestination() = default;

void ImageDestination::addImage(const Bitmap& bitmap, const Dictionary& options) {
    bitmap_ = bitmap;
    options_ = options;
}

bool ImageDestination::finalize() {
    if (finalized_ || !bitmap_) return false;
    finalized_ = true;
    const Value& q = options_[kLossyCompressionQuality];
    double quality = q.isNumber() ? q.toReal() : 0.8;
    if (!std::isfinite(quality)) quality = 0.8;
    quality = std::clamp(quality, 0.0, 1.0);

    ColorSpace space = bitmap_->colorSpace() == ColorSpace::DisplayP3 ? ColorSpace::DisplayP3 : ColorSpace::SRGB;
    if (const std::string* name = options_[kProfileName].stringValue()) {
        if (*name == kColorSpaceDisplayP3) space = ColorSpace::DisplayP3;
        if (*name == kColorSpaceSRGB) space = ColorSpace::SRGB;
    }
    // JPEG and PNG files carry no profile of ours: they are written as sRGB.
    if (type_ != kTypeHEIC) space = ColorSpace::SRGB;
    const Value& alphaOption = options_[kHasAlpha];
    bool alpha = alphaOption.isNull() ? type_ == kTypePNG : alphaOption.toBool();
    if (type_ == kTypeJPEG) alpha = false;

    auto pixels = toRGBA8(*bitmap_, space);
    if (!pixels) return false;
    int orientation = int(options_[kOrientation].toInteger());
    if (orientation < 1 || orientation > 8) orientation = 1;
    Dictionary exifEntries = options_;
    if (orientation != 1 && type_ != kTypePNG) {
        // The Exif TIFF entries carry the orientation too (a HEIC's readers that do not apply
        // irot and imir read it there).
        Dictionary tiff;
        if (const Dictionary* t = options_["{TIFF}"].dictionaryValue()) tiff = *t;
        tiff.insert_or_assign("Orientation", Value(orientation));
        exifEntries.insert_or_assign("{TIFF}", Value(std::move(tiff)));
    }
    // Tiles smaller than 64 would cost more in headers than they save; x265 wants multiples of 8.
    int tileSize = int(std::clamp<long long>(options_[kHEICTileSize].toInteger(), 0, 65535));
    if (tileSize > 0) tileSize = std::max(64, tileSize / 8 * 8);
    const Value& thumbnailOption = options_[kHEICThumbnailSize];
    const int thumbnailSide = thumbnailOption.isNull() ? kHeicThumbnailSide
                                                       : int(std::clamp<long long>(thumbnailOption.toInteger(), 0, 4096));
    EncodeRequest request{*pixels,     space,       quality, alpha, exif::write(exifEntries),
                          options_[kHEICEncoderSpeed].toString().value_or("fast"), orientation, tileSize, thumbnailSide};
    Bytes encoded;
    bool ok = type_ == kTypeHEIC ? encodeHeic(request, encoded)
              : type_ == kTypeJPEG ? encodeJpeg(request, encoded)
                                   : encodePng(request, encoded);
    if (!ok) return false;
    output_.insert(output_.end(), encoded.begin(), encoded.end());
    return true;
}

}  // namespace sorvel::image
