// libFuzzer target: outside bytes through ImageSource (type, size, Exif properties) and the
// decoders, then a small render. Built with -DSORVEL_FUZZ=ON and clang; seed it with
// ../shared/testdata/heic-bad and ../shared/testdata/metadata (see README.md).
#include <cstddef>
#include <cstdint>

#include "platform/image/Exif.h"
#include "platform/image/ImageSource.h"
#include "platform/image/RenderContext.h"

using namespace sorvel::image;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (auto source = ImageSource::make(data, size)) {
        (void)source->properties().size();
        if (auto block = exif::write(source->properties())) (void)exif::read(block->data(), block->size());
    }
    (void)exif::read(data, size);
    if (auto image = Image::fromBytes(data, size)) {
        RenderOptions options;
        options.threads = 1;
        (void)RenderContext(options).render(*image, image->extent().intersection({0, 0, 32, 32}));
    }
    return 0;
}
