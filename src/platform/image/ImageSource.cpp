#include "platform/image/ImageSource.h"

#include <algorithm>

#include "platform/image/Decode.h"
#include "platform/image/Exif.h"

namespace sorvel::image {

std::optional<ImageSource> ImageSource::make(const std::uint8_t* data, std::size_t size) {
    if (!data || size == 0) return std::nullopt;
    ImageSource s;
    Dictionary props;
    switch (decode::sniff(data, size)) {
        case decode::Container::HEIF: {
            auto info = decode::heifInfo(data, size);
            if (!info) return std::nullopt;
            s.type_ = "public.heic";
            s.width_ = info->width;
            s.height_ = info->height;
            if (!info->exif.empty()) {
                if (auto d = exif::read(info->exif.data(), info->exif.size())) props = std::move(*d);
            }
            // In HEIF the transform boxes decide how the picture is shown; the Exif tag only
            // when there are none.
            if (info->transformOrientation > 0)
                props.insert_or_assign("Orientation", Value(info->transformOrientation));
            break;
        }
        case decode::Container::JPEG:
        case decode::Container::PNG: {
            auto wh = decode::headerSize(data, size);
            if (!wh) return std::nullopt;
            s.type_ = decode::sniff(data, size) == decode::Container::JPEG ? "public.jpeg" : "public.png";
            s.width_ = wh->first;
            s.height_ = wh->second;
            if (auto d = exif::readFile(data, size)) props = std::move(*d);
            break;
        }
        case decode::Container::TIFF: {
            auto d = exif::readFile(data, size);
            if (!d) return std::nullopt;
            props = std::move(*d);
            s.type_ = props.count("{DNG}") ? "com.adobe.raw-image" : "public.tiff";
            s.width_ = int(props["PixelWidth"].toInteger());
            s.height_ = int(props["PixelHeight"].toInteger());
            if (s.width_ <= 0 || s.height_ <= 0 ||
                std::int64_t(s.width_) * s.height_ > ImageLimits::maxPixels * 4)
                return std::nullopt;
            break;
        }
        default:
            return std::nullopt;
    }
    props.insert_or_assign("PixelWidth", Value(s.width_));
    props.insert_or_assign("PixelHeight", Value(s.height_));
    if (auto o = props.find("Orientation"); o != props.end()) s.orientation_ = int(o->second.toInteger());
    s.properties_ = std::move(props);
    s.bytes_ = std::make_shared<const Bytes>(data, data + size);
    return s;
}

std::optional<Image> ImageSource::image() const {
    if (!bytes_ || type_ == "com.adobe.raw-image" || type_ == "public.tiff") return std::nullopt;
    return Image::fromBytes(*bytes_);
}

}  // namespace sorvel::image

namespace sorvel::image {

namespace {

Image reducedTo(const Image& picture, int maxPixelSize) {
    const Rect e = picture.extent();
    const double longSide = std::max(e.width, e.height);
    if (longSide <= maxPixelSize) return picture;
    auto scaled = picture.applyingFilter("CILanczosScaleTransform",
                                         {{"inputScale", maxPixelSize / longSide}, {"inputAspectRatio", 1.0}});
    return scaled ? *scaled : picture;
}

}  // namespace

std::optional<Image> ImageSource::thumbnail(int maxPixelSize) const {
    if (!bytes_ || maxPixelSize < 1) return std::nullopt;
    const Bytes& b = *bytes_;
    std::optional<Bitmap> small;
    if (type_ == "public.heic") small = decode::decodeHeifThumbnail(b.data(), b.size(), maxPixelSize);
    else if (type_ == "public.jpeg") small = decode::decodeJpegReduced(b.data(), b.size(), maxPixelSize);
    else if (type_ == "com.adobe.raw-image") small = decode::decodeRawPreview(b.data(), b.size(), maxPixelSize);
    std::optional<Image> picture = small ? std::optional<Image>(Image(*small)) : image();
    if (!picture) return std::nullopt;
    return reducedTo(*picture, maxPixelSize);
}

}  // namespace sorvel::image
