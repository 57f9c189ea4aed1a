#include "platform/image/raw/RawDecoder.h"

#include <libraw/libraw.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <new>

#include "platform/image/Image.h"
#include "platform/image/raw/Demosaic.h"

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

// The unpacked mosaic described for our own demosaic, or nothing when the sensor is one it does
// not handle (no 2 x 2 Bayer pattern, four colours, non-square pixels, a black-level pattern
// longer than 2 x 2, a rotated Fuji layout): LibRaw develops those.
std::optional<BayerMosaic> bayerMosaic(LibRaw& p) {
    const libraw_data_t& d = p.imgdata;
    const libraw_colordata_t& c = d.color;
    if (!d.rawdata.raw_image || d.idata.filters < 1000 || d.idata.colors != 3) return std::nullopt;
    if (p.get_internal_data_pointer()->internal_output_params.fuji_width != 0) return std::nullopt;
    if (std::abs(d.sizes.pixel_aspect - 1.0) > 1e-6) return std::nullopt;
    if (d.sizes.width < 3 || d.sizes.height < 3) return std::nullopt;
    if (std::size_t(d.sizes.top_margin) + d.sizes.height > d.sizes.raw_height ||
        std::size_t(d.sizes.left_margin) + d.sizes.width > d.sizes.raw_width ||
        d.sizes.raw_pitch / 2 < d.sizes.raw_width)
        return std::nullopt;
    const unsigned patternRows = c.cblack[4], patternCols = c.cblack[5];
    if (patternRows > 2 || patternCols > 2 || (patternRows == 0) != (patternCols == 0)) return std::nullopt;

    BayerMosaic m;
    // The colour of each pattern position; LibRaw numbers the second green 3.
    int count[3] = {0, 0, 0};
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 2; ++x) {
            int fc = p.FC(y, x);
            if (fc == 3) fc = 1;
            if (y < 2) {
                m.colour[y][x] = fc;
                ++count[fc];
            } else if (fc != m.colour[y & 1][x]) {
                return std::nullopt;  // the pattern does not repeat every two rows
            }
        }
    if (count[0] != 1 || count[1] != 2 || count[2] != 1) return std::nullopt;

    // White balance as shot (else the camera's daylight balance), the smallest gain 1.
    const float* gains = c.cam_mul[0] > 0 && c.cam_mul[1] > 0 && c.cam_mul[2] > 0 ? c.cam_mul : c.pre_mul;
    float mul[4] = {gains[0], gains[1], gains[2], gains[3] > 0 ? gains[3] : gains[1]};
    for (float g : mul)
        if (!(g > 0) || !std::isfinite(g)) return std::nullopt;
    const float least = std::min({mul[0], mul[1], mul[2], mul[3]});
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 2; ++x) {
            const int fc = p.FC(y, x);
            float black = float(c.black) + float(c.cblack[fc]);
            if (patternRows) black += float(c.cblack[6 + (unsigned(y) % patternRows) * patternCols + unsigned(x) % patternCols]);
            const float range = float(c.maximum) - black;
            if (!(range >= 1)) return std::nullopt;
            m.black[y][x] = black;
            m.scale[y][x] = mul[fc] / least / range;
        }
    if (!p.get_internal_data_pointer()->internal_output_params.raw_color) {
        for (int i = 0; i < 3; ++i)
            for (int j = 0; j < 3; ++j) {
                const float v = c.rgb_cam[i][j];
                if (!std::isfinite(v)) return std::nullopt;
                m.cameraToSrgb[std::size_t(i)][std::size_t(j)] = v;
            }
    }
    m.samples = d.rawdata.raw_image;
    m.pitch = d.sizes.raw_pitch / 2;
    m.top = d.sizes.top_margin;
    m.left = d.sizes.left_margin;
    m.width = d.sizes.width;
    m.height = d.sizes.height;
    m.flip = d.sizes.flip & 7;
    return m;
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

std::optional<PlanarPicture> RawDecoder::decode(bool halfSize, std::string* whyNot, Demosaicing method) {
    auto fail = [&](std::string why) -> std::optional<PlanarPicture> {
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
        // The white level is the file's: LibRaw would otherwise take the brightest sample as
        // white when it lies above 75 % of it, and a picture without clipping would brighten.
        o.adjust_maximum_thr = 0.0f;
        o.half_size = halfSize ? 1 : 0;
        if ((rc = p.unpack()) != LIBRAW_SUCCESS) return fail(std::string("damaged RAW data: ") + libraw_strerror(rc));
        fastPath_ = false;
        if (method == Demosaicing::Fast) {
            if (auto mosaic = bayerMosaic(p)) {
                fastPath_ = true;
                PlanarPicture out = halfSize ? binHalf(*mosaic) : demosaic(*mosaic);
                p.recycle();  // the large working buffers go now; the bytes stay for a later decode
                return out;
            }
        }
        if ((rc = p.dcraw_process()) != LIBRAW_SUCCESS)
            return fail(std::string("RAW development failed: ") + libraw_strerror(rc));
        int w = 0, h = 0, colors = 0, bps = 0;
        p.get_mem_image_format(&w, &h, &colors, &bps);
        if (w <= 0 || h <= 0 || colors != 3 || bps != 16 || std::int64_t(w) * h > ImageLimits::maxPixels)
            return fail("unexpected developed format");
        std::vector<std::uint16_t> rgb(std::size_t(w) * std::size_t(h) * 3);
        if ((rc = p.copy_mem_image(rgb.data(), w * 3 * 2, 0)) != LIBRAW_SUCCESS)
            return fail(std::string("copying the developed picture failed: ") + libraw_strerror(rc));
        p.recycle();
        PlanarPicture out = PlanarPicture::sized(w, h);
        const float k = 1.0f / 65535.0f;
        for (std::size_t i = 0, n = out.size(); i < n; ++i) {
            out.r[i] = rgb[3 * i] * k;
            out.g[i] = rgb[3 * i + 1] * k;
            out.b[i] = rgb[3 * i + 2] * k;
        }
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
