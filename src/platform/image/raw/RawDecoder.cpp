#include "platform/image/raw/RawDecoder.h"

#include <libraw/libraw.h>

#include <limits>
#include <new>

#include "platform/image/Image.h"

namespace sorvel::image::raw {

namespace {

// A RAW file larger than this is not one our cameras make; refusing it early keeps a hostile
// file from making LibRaw allocate for it.
constexpr std::size_t kMaxFileBytes = std::size_t(512) << 20;
// LibRaw's own allocation ceiling for one picture's buffers.
constexpr unsigned kMaxRawMemoryMB = 2048;

// Whether the sizes LibRaw read from the header are ones we agree to develop.
bool saneSize(const libraw_data_t& d) {
    const std::int64_t rw = d.sizes.raw_width, rh = d.sizes.raw_height;
    const std::int64_t w = d.sizes.width, h = d.sizes.height;
    if (rw <= 0 || rh <= 0 || w <= 0 || h <= 0) return false;
    if (w > ImageLimits::maxSide || h > ImageLimits::maxSide) return false;
    return rw * rh <= ImageLimits::maxPixels && w * h <= ImageLimits::maxPixels;
}

}  // namespace

struct RawDecoder::Impl {
    Bytes bytes;  // LibRaw reads from this buffer until recycled
    LibRaw processor{LIBRAW_OPTIONS_NONE};
};

RawDecoder::~RawDecoder() = default;

std::unique_ptr<RawDecoder> RawDecoder::open(const Bytes& bytes, std::string* whyNot) {
    auto fail = [&](std::string why) -> std::unique_ptr<RawDecoder> {
        if (whyNot) *whyNot = std::move(why);
        return nullptr;
    };
    if (bytes.size() < 64) return fail("too short to be a RAW file");
    if (bytes.size() > kMaxFileBytes) return fail("larger than any RAW file we develop");
    try {
        std::unique_ptr<RawDecoder> d(new RawDecoder);
        d->impl_ = std::make_unique<Impl>();
        d->impl_->bytes = bytes;
        LibRaw& p = d->impl_->processor;
        p.imgdata.params.max_raw_memory_mb = kMaxRawMemoryMB;
        int rc = p.open_buffer(d->impl_->bytes.data(), d->impl_->bytes.size());
        if (rc != LIBRAW_SUCCESS) return fail(std::string("not a RAW file LibRaw can read: ") + libraw_strerror(rc));
        const libraw_data_t& data = p.imgdata;
        // LibRaw also opens plain TIFFs and a few JPEG-like formats; a RAW has a colour filter
        // array or is a (linear) DNG.
        if (data.idata.filters == 0 && data.idata.dng_version == 0)
            return fail("no sensor data (neither a mosaic nor a DNG)");
        if (data.idata.colors < 1 || data.idata.colors > 4) return fail("unsupported number of colours");
        if (!saneSize(data)) return fail("picture size out of range");
        int w = 0, h = 0, colors = 0, bps = 0;
        p.imgdata.params.output_bps = 16;
        p.get_mem_image_format(&w, &h, &colors, &bps);
        if (w <= 0 || h <= 0) return fail("picture size out of range");
        d->width_ = w;
        d->height_ = h;
        return d;
    } catch (const std::bad_alloc&) {
        return fail("out of memory while reading the RAW header");
    } catch (...) {
        return fail("LibRaw failed while reading the RAW header");
    }
}

std::optional<LinearRgb16> RawDecoder::decode(bool halfSize, std::string* whyNot) {
    auto fail = [&](std::string why) -> std::optional<LinearRgb16> {
        if (whyNot) *whyNot = std::move(why);
        return std::nullopt;
    };
    LibRaw& p = impl_->processor;
    try {
        // Each decode starts from the file again: LibRaw's processing consumes its buffers.
        p.recycle();
        p.imgdata.params.max_raw_memory_mb = kMaxRawMemoryMB;
        int rc = p.open_buffer(impl_->bytes.data(), impl_->bytes.size());
        if (rc != LIBRAW_SUCCESS) return fail(libraw_strerror(rc));
        libraw_output_params_t& o = p.imgdata.params;
        o.output_bps = 16;
        o.gamm[0] = 1.0;  // linear output
        o.gamm[1] = 1.0;
        o.no_auto_bright = 1;  // exposure is ours to set
        o.use_camera_wb = 1;   // as shot
        o.use_camera_matrix = 1;
        o.output_color = 1;  // sRGB primaries
        o.highlight = 0;     // clip: a blown channel turns white, never magenta
        o.user_qual = 3;     // AHD
        o.half_size = halfSize ? 1 : 0;
        if ((rc = p.unpack()) != LIBRAW_SUCCESS) return fail(std::string("damaged RAW data: ") + libraw_strerror(rc));
        if ((rc = p.dcraw_process()) != LIBRAW_SUCCESS)
            return fail(std::string("RAW development failed: ") + libraw_strerror(rc));
        int w = 0, h = 0, colors = 0, bps = 0;
        p.get_mem_image_format(&w, &h, &colors, &bps);
        if (w <= 0 || h <= 0 || colors != 3 || bps != 16 || std::int64_t(w) * h > ImageLimits::maxPixels)
            return fail("unexpected developed format");
        LinearRgb16 out;
        out.width = w;
        out.height = h;
        out.halfSize = halfSize;
        out.pixels.resize(std::size_t(w) * std::size_t(h) * 3);
        if ((rc = p.copy_mem_image(out.pixels.data(), w * 3 * 2, 0)) != LIBRAW_SUCCESS)
            return fail(std::string("copying the developed picture failed: ") + libraw_strerror(rc));
        p.recycle();  // the large working buffers go now; the bytes stay for a later decode
        return out;
    } catch (const std::bad_alloc&) {
        p.recycle();
        return fail("out of memory while developing the RAW file");
    } catch (...) {
        p.recycle();
        return fail("LibRaw failed while developing the RAW file");
    }
}

}  // namespace sorvel::image::raw
