// libFuzzer target: outside bytes through the RAW developer (LibRaw's reader, our mosaic
// extraction, demosaic and development) at a reduced scale, then a small render. Built with
// -DSORVEL_FUZZ=ON and clang; seed it with small DNGs (the tests' writer makes them) and
// ../shared/testdata/metadata/DNG.dng.
#include <cstddef>
#include <cstdint>

#include "platform/image/RenderContext.h"
#include "platform/image/raw/RawFilter.h"

using namespace sorvel;
using namespace sorvel::image;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const Bytes bytes(data, data + size);
    auto filter = RawFilter::make(bytes, {{"inputScaleFactor", Value(0.25)}});
    if (!filter) return 0;
    for (double ev : {0.0, 1.0}) {
        filter->setValue("inputEV", ev);
        if (auto image = filter->outputImage()) {
            RenderOptions options;
            options.threads = 1;
            (void)RenderContext(options).render(*image, image->extent().intersection({0, 0, 16, 16}),
                                                PixelFormat::RGBAHalf, ColorSpace::DisplayP3);
        }
    }
    return 0;
}
