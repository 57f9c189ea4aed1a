// Any text as a share code: decoding must never crash, and whatever decodes must survive a
// round trip through both code forms unchanged (a decoded filter lies on the code's grid).
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "app/filters/FilterCodec.h"
#include "app/filters/SavedFilter.h"

using namespace sorvel;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view code(reinterpret_cast<const char*>(data), size);
    (void)isHanziString(code);
    (void)hanziToBase36String(code);
    (void)base36StringToHanzi(code);
    auto decoded = decodeFilter(code);
    if (!decoded) return 0;

    auto parameters = parametersOfFilter(*decoded);
    if (!parameters || parameters->size() != 25) __builtin_trap();
    auto letters = encodeFilter(*decoded);
    if (!letters) __builtin_trap();
    auto hanzi = base36StringToHanzi(*letters);
    if (!hanzi) __builtin_trap();
    for (std::string_view again : {std::string_view(*letters), std::string_view(*hanzi)}) {
        auto redecoded = decodeFilter(again);
        if (!redecoded || parametersOfFilter(*redecoded) != parameters) __builtin_trap();
    }
    return 0;
}
