#include "app/filters/Utf8.h"

#include <unicode/brkiter.h>
#include <unicode/normalizer2.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>
#include <unicode/utf8.h>

#include <memory>

namespace sorvel {

std::optional<std::vector<char32_t>> decodeUtf8(std::string_view text) {
    std::vector<char32_t> out;
    out.reserve(text.size());
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(text.data());
    const auto length = static_cast<std::int32_t>(text.size());
    if (static_cast<std::size_t>(length) != text.size()) return std::nullopt;
    for (std::int32_t i = 0; i < length;) {
        UChar32 c;
        // ICU's strict reading: overlong forms, surrogates, values past U+10FFFF and cut-off
        // sequences give a negative value.
        U8_NEXT(bytes, i, length, c);
        if (c < 0) return std::nullopt;
        out.push_back(static_cast<char32_t>(c));
    }
    return out;
}

void appendUtf8(std::string& out, char32_t c) {
    std::uint8_t buffer[U8_MAX_LENGTH];
    std::int32_t length = 0;
    UBool error = false;
    U8_APPEND(buffer, length, U8_MAX_LENGTH, static_cast<UChar32>(c), error);
    if (!error) out.append(reinterpret_cast<const char*>(buffer), static_cast<std::size_t>(length));
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
    icu::UnicodeString s = icu::UnicodeString::fromUTF8(icu::StringPiece(text.data(), static_cast<std::int32_t>(text.size())));
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::BreakIterator> breaks(icu::BreakIterator::createCharacterInstance(icu::Locale::getRoot(), status));
    const icu::Normalizer2* nfc = icu::Normalizer2::getNFCInstance(status);
    if (U_FAILURE(status) || !breaks || !nfc) return std::nullopt;
    breaks->setText(s);
    for (std::int32_t start = breaks->first(), end = breaks->next(); end != icu::BreakIterator::DONE;
         start = end, end = breaks->next()) {
        UErrorCode clusterStatus = U_ZERO_ERROR;
        icu::UnicodeString cluster = nfc->normalize(s.tempSubStringBetween(start, end), clusterStatus);
        if (U_FAILURE(clusterStatus)) return std::nullopt;
        std::u32string out;
        for (std::int32_t i = 0; i < cluster.length(); i = cluster.moveIndex32(i, 1))
            out.push_back(static_cast<char32_t>(cluster.char32At(i)));
        clusters.push_back(std::move(out));
    }
    return clusters;
}

bool isIdeographic(char32_t c) { return u_hasBinaryProperty(static_cast<UChar32>(c), UCHAR_IDEOGRAPHIC); }

}  // namespace sorvel
