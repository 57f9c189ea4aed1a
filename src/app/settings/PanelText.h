#pragma once
// Texts and fonts of the settings screens: every literal goes through the localisation table,
// and fonts are the system face at a size in points.

#include <QFont>
#include <QString>

#include "platform/foundation/Localization.h"

namespace sorvel {

inline QString localizedText(const char* key) { return QString::fromStdString(localized(key)); }

inline QFont systemFont(int points, bool bold = false) {
    QFont font;
    font.setPixelSize(points);
    font.setBold(bold);
    return font;
}

}  // namespace sorvel
