#pragma once
// The theme's colour texts. Written as "#RRGGBB" (upper-case, each component times 255 rounded
// half away from zero, alpha left out); read more leniently: characters that are not letters or
// digits are stripped from both ends, the rest is read as hexadecimal up to its first
// non-hexadecimal character (nothing readable is 0), and its length picks the form:
// 3 digits RGB (each digit d becomes d x 17), 6 RRGGBB, 8 AARRGGBB; any other length is opaque
// black. Alpha is opaque where the form has none.

#include <QColor>
#include <QString>

namespace sorvel {

QColor colorFromHex(const QString& text);
QString hexString(const QColor& color);

}  // namespace sorvel
