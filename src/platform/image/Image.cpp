#include "platform/image/Image.h"

#include "platform/image/Decode.h"
#include "platform/image/Filter.h"
#include "platform/image/Nodes.h"

namespace sorvel::image {

FilterValue::FilterValue(const Image& image) : value_(std::make_shared<const Image>(image)) {}

const Image* FilterValue::image() const {
    auto p = std::get_if<std::shared_ptr<const Image>>(&value_);
    return p ? p->get() : nullptr;
}

namespace {
const std::shared_ptr<const Node>& emptyNode() {
    static const std::shared_ptr<const Node> node = std::make_shared<const EmptyNode>();
    return node;
}
}  // namespace

Image::Image() : node_(emptyNode()) {}

Image::Image(std::shared_ptr<const Node> node) : node_(node ? std::move(node) : emptyNode()) {}

Image::Image(const Bitmap& bitmap) : node_(std::make_shared<const BitmapNode>(bitmap)) {}

std::optional<Image> Image::fromBytes(const std::uint8_t* data, std::size_t size) {
    auto bitmap = decode::decodePrimary(data, size);
    if (!bitmap) return std::nullopt;
    return Image(*bitmap);
}

std::optional<Image> Image::fromPixelBuffer(const PixelBuffer& b) {
    if (b.width <= 0 || b.height <= 0 || !b.data) return std::nullopt;
    if (std::int64_t(b.width) * b.height > ImageLimits::maxPixels) return std::nullopt;
    if (b.bytesPerRow < std::size_t(b.width) * 4) return std::nullopt;
    return Image(std::make_shared<const PixelBufferNode>(b));
}

Image Image::constantColor(const Color& color) {
    return Image(std::make_shared<const ConstantNode>(color));
}

Rect Image::extent() const { return node_->extent(); }

Image Image::oriented(int orientation) const {
    Rect e = extent();
    if (orientation < 1 || orientation > 8 || e.isEmpty() || e.isInfinite()) return *this;
    if (orientation == 1 && e.x == 0 && e.y == 0 && e.integral() == e) return *this;
    if (auto* inner = dynamic_cast<const OrientNode*>(node_.get()))
        return Image(std::make_shared<const OrientNode>(*inner, orientation));
    return Image(std::make_shared<const OrientNode>(node_, orientation));
}

Image Image::transformed(const AffineTransform& t) const {
    if (t == AffineTransform::identity()) return *this;
    if (!t.isInvertible()) return Image();
    if (isEmpty()) return *this;
    return Image(std::make_shared<const TransformNode>(node_, t));
}

Image Image::cropped(const Rect& rect) const {
    Rect e = extent();
    Rect i = e.intersection(rect);
    if (i.isEmpty()) return Image();
    if (rect.contains(e)) return *this;
    return Image(std::make_shared<const CropNode>(node_, rect));
}

Image Image::composited(const Image& background) const {
    if (background.isEmpty()) return *this;
    if (isEmpty()) return background;
    return Image(std::make_shared<const SourceOverNode>(node_, background.node_));
}

std::optional<Image> Image::applyingFilter(std::string_view name, const FilterInputs& inputs) const {
    auto filter = Filter::make(name);
    if (!filter) return std::nullopt;
    filter->setValue(kInputImageKey, *this);
    filter->setValues(inputs);
    return filter->outputImage();
}

}  // namespace sorvel::image
