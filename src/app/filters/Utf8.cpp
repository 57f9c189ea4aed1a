#include "app/filters/Utf8.h"

#include <QList>
#include <QString>
#include <QTextBoundaryFinder>

namespace sorvel {

std::optional<std::vector<char32_t>> decodeUtf8(std::string_view text) {
    std::vector<char32_t> out;
    out.reserve(text.size());
    std::size_t i = 0;
    while (i < text.size()) {
        unsigned char b = static_cast<unsigned char>(text[i]);
        int extra;
        char32_t c;
        char32_t minimum;
        if (b < 0x80) {
            out.push_back(b);
            ++i;
            continue;
        } else if ((b & 0xE0) == 0xC0) {
            extra = 1, c = b & 0x1F, minimum = 0x80;
        } else if ((b & 0xF0) == 0xE0) {
            extra = 2, c = b & 0x0F, minimum = 0x800;
        } else if ((b & 0xF8) == 0xF0) {
            extra = 3, c = b & 0x07, minimum = 0x10000;
        } else {
            return std::nullopt;
        }
        if (text.size() - i <= static_cast<std::size_t>(extra)) return std::nullopt;
        for (int k = 1; k <= extra; ++k) {
            unsigned char cont = static_cast<unsigned char>(text[i + k]);
            if ((cont & 0xC0) != 0x80) return std::nullopt;
            c = (c << 6) | (cont & 0x3F);
        }
        if (c < minimum || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return std::nullopt;
        out.push_back(c);
        i += extra + 1;
    }
    return out;
}

void appendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

std::optional<std::vector<std::u32string>> graphemeClusters(std::string_view text) {
    auto scalars = decodeUtf8(text);
    if (!scalars) return std::nullopt;
    std::vector<std::u32string> clusters;
    bool ascii = true;
    for (char32_t c : *scalars) ascii = ascii && c < 0x80;
    // Letter codes are plain ASCII, where every character is a cluster of its own except CR LF.
    if (ascii) {
        for (std::size_t i = 0; i < scalars->size(); ++i) {
            if ((*scalars)[i] == U'\r' && i + 1 < scalars->size() && (*scalars)[i + 1] == U'\n') {
                clusters.push_back(U"\r\n");
                ++i;
            } else {
                clusters.push_back(std::u32string(1, (*scalars)[i]));
            }
        }
        return clusters;
    }
    QString s = QString::fromUcs4(scalars->data(), static_cast<qsizetype>(scalars->size()));
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, s);
    qsizetype start = 0;
    while (start < s.size()) {
        qsizetype end = finder.toNextBoundary();
        if (end <= start) end = s.size();
        QString cluster = s.mid(start, end - start).normalized(QString::NormalizationForm_C);
        auto ucs4 = cluster.toUcs4();
        clusters.emplace_back(ucs4.begin(), ucs4.end());
        start = end;
    }
    return clusters;
}

bool isIdeographic(char32_t c) {
    // PropList.txt of Unicode 15, property Ideographic.
    static constexpr char32_t ranges[][2] = {
        {0x3006, 0x3007},   {0x3021, 0x3029},   {0x3038, 0x303A},   {0x3400, 0x4DBF},
        {0x4E00, 0x9FFF},   {0xF900, 0xFA6D},   {0xFA70, 0xFAD9},   {0x16FE4, 0x16FE4},
        {0x17000, 0x187F7}, {0x18800, 0x18CD5}, {0x18D00, 0x18D08}, {0x1B170, 0x1B2FB},
        {0x20000, 0x2A6DF}, {0x2A700, 0x2B739}, {0x2B740, 0x2B81D}, {0x2B820, 0x2CEA1},
        {0x2CEB0, 0x2EBE0}, {0x2F800, 0x2FA1D}, {0x30000, 0x3134A}, {0x31350, 0x323AF},
    };
    for (const auto& r : ranges)
        if (c >= r[0] && c <= r[1]) return true;
    return false;
}

}  // namespace sorvel
