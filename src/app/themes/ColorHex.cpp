#include "app/themes/ColorHex.h"

#include <cmath>
#include <cstdint>

namespace sorvel {

QColor colorFromHex(const QString& text) {
    qsizetype begin = 0, end = text.size();
    while (begin < end && !text[begin].isLetterOrNumber()) ++begin;
    while (end > begin && !text[end - 1].isLetterOrNumber()) --end;
    const QString hex = text.mid(begin, end - begin);

    std::uint64_t value = 0;
    for (QChar c : hex) {
        int digit = c >= '0' && c <= '9'   ? c.unicode() - '0'
                    : c >= 'a' && c <= 'f' ? c.unicode() - 'a' + 10
                    : c >= 'A' && c <= 'F' ? c.unicode() - 'A' + 10
                                           : -1;
        if (digit < 0) break;
        // Only the 3-, 6- and 8-character forms are used, and they fit; a longer number is
        // black whatever it holds, so its overflow does not matter.
        value = value * 16 + static_cast<std::uint64_t>(digit);
    }

    std::uint64_t a = 255, r = 0, g = 0, b = 0;
    switch (hex.size()) {
    case 3:
        r = (value >> 8) * 17;
        g = (value >> 4 & 0xF) * 17;
        b = (value & 0xF) * 17;
        break;
    case 6:
        r = value >> 16;
        g = value >> 8 & 0xFF;
        b = value & 0xFF;
        break;
    case 8:
        a = value >> 24;
        r = value >> 16 & 0xFF;
        g = value >> 8 & 0xFF;
        b = value & 0xFF;
        break;
    default:
        break;
    }
    return QColor::fromRgbF(static_cast<float>(r / 255.0), static_cast<float>(g / 255.0), static_cast<float>(b / 255.0),
                            static_cast<float>(a / 255.0));
}

QString hexString(const QColor& color) {
    float r = 0, g = 0, b = 0;
    color.toRgb().getRgbF(&r, &g, &b);
    auto digits = [](float component) { return static_cast<long>(std::lround(component * 255.0)); };
    return QString::asprintf("#%02lX%02lX%02lX", digits(r), digits(g), digits(b));
}

}  // namespace sorvel
