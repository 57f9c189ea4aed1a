#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "app/filters/FilterCodec.h"
#include "app/filters/FilterParameter.h"
#include "app/filters/HanziTable.h"
#include "app/filters/SavedFilter.h"
#include "app/filters/Utf8.h"

namespace sorvel {
namespace {

Dictionary filterWith(const ParameterMap& changes) {
    ParameterMap map = defaultParameterMap();
    for (const auto& [id, v] : changes) map[id] = v;
    return makeSavedFilter("test", map);
}

ParameterMap decodedParameters(std::string_view code) {
    auto decoded = decodeFilter(code);
    EXPECT_TRUE(decoded) << "code " << code << " did not decode";
    if (!decoded) return {};
    EXPECT_EQ(decoded->size(), 1u) << "a decoded code carries only its parameters";
    auto map = parametersOfFilter(*decoded);
    EXPECT_TRUE(map);
    return map ? *map : ParameterMap{};
}

std::string hanziAt(int index) {
    std::string s;
    appendUtf8(s, kol1500HanziArray().at(index));
    return s;
}

// Off-by-one in the digit alphabet or the range check breaks every code at its ends.
TEST(FilterCodec, Base36DigitsCoverExactly0To1295) {
    EXPECT_EQ(base36Encode(0), "aa");
    EXPECT_EQ(base36Encode(35), "a9");
    EXPECT_EQ(base36Encode(36), "ba");
    EXPECT_EQ(base36Encode(1295), "99");
    EXPECT_FALSE(base36Encode(-1));
    EXPECT_FALSE(base36Encode(1296));
    EXPECT_EQ(base36Decode("99"), 1295);
    EXPECT_EQ(base36Decode("0a"), 26 * 36);
    EXPECT_FALSE(base36Decode("a"));
    EXPECT_FALSE(base36Decode("aaa"));
    EXPECT_FALSE(base36Decode("aA"));
    EXPECT_FALSE(base36Decode("a-"));
    for (int n = 0; n <= 1295; ++n) ASSERT_EQ(base36DecodeString(*base36EncodeNumber(n)), n) << n;
    EXPECT_EQ(getCharacterForParameterID(1), 'a');
    EXPECT_EQ(getCharacterForParameterID(25), 'y');
    EXPECT_FALSE(getCharacterForParameterID(26));
    EXPECT_FALSE(getCharacterForParameterID(0));
    EXPECT_EQ(getParameterIDForCharacter('y'), 25);
    EXPECT_FALSE(getParameterIDForCharacter('z'));
    EXPECT_FALSE(getParameterIDForCharacter('0'));
}

// A default filter must share as the bare version letter and come back as all 25 defaults,
// in both forms; the Hanzi form is the padded pair "a0", table index 26.
TEST(FilterCodec, AllDefaultsIsTheVersionLetterAlone) {
    auto code = encodeFilter(makeSavedFilter("x", defaultParameterMap()));
    ASSERT_EQ(code, "a");
    auto hanzi = base36StringToHanzi(*code);
    ASSERT_TRUE(hanzi);
    EXPECT_EQ(*hanzi, hanziAt(26));
    EXPECT_EQ(hanziToBase36String(*hanzi), "a0");
    for (const std::string& form : {*code, *hanzi}) {
        ParameterMap map = decodedParameters(form);
        ASSERT_EQ(map.size(), 25u) << form;
        for (const auto& p : filterParameterCatalogue()) EXPECT_EQ(map[std::to_string(p.id)], p.defaultValue) << form;
    }
}

// Quantisation in the wrong precision or with the wrong rounding shifts a step and changes
// the code other phones read.
TEST(FilterCodec, ExposureAndTemperatureQuantiseToKnownSteps) {
    auto code = encodeFilter(filterWith({{"1", 2.0f}, {"8", 6500.0f}}));
    ASSERT_EQ(code, "aa09hu9");
    ParameterMap map = decodedParameters(*code);
    EXPECT_NEAR(map["1"], 1.99846f, 1e-5);
    EXPECT_NEAR(map["8"], 6498.07f, 0.01);
    EXPECT_EQ(map["2"], 1.0f);

    auto hanzi = base36StringToHanzi(*code);
    ASSERT_TRUE(hanzi);
    EXPECT_EQ(*hanzi, hanziAt(0) + hanziAt(971) + hanziAt(272) + hanziAt(1286));
    EXPECT_EQ(decodedParameters(*hanzi), map);

    EXPECT_EQ(encodeFilter(filterWith({{"3", 0.0f}})), "acaa");
    EXPECT_EQ(encodeFilter(filterWith({{"3", 2.0f}})), "ac99");
}

// Values a hand-edited store can hold: tiny changes, out-of-range, non-finite, wrong types.
// None may crash or produce a code outside the format.
TEST(FilterCodec, EncoderOmitsTinyChangesClampsRangeAndRefusesNonFinite) {
    EXPECT_EQ(encodeFilter(filterWith({{"1", 0.00005f}})), "a");
    EXPECT_EQ(encodeFilter(filterWith({{"3", 7.0f}})), "ac99");
    EXPECT_EQ(encodeFilter(filterWith({{"3", -1e30f}})), "acaa");
    EXPECT_EQ(encodeFilter(filterWith({{"3", 3e38f}})), "ac99");
    EXPECT_FALSE(encodeFilter(filterWith({{"1", NAN}})));
    EXPECT_FALSE(encodeFilter(filterWith({{"1", INFINITY}})));
    EXPECT_FALSE(encodeFilter(filterWith({{"8", -INFINITY}})));

    Dictionary huge = makeSavedFilter("x", {});
    huge["parameters"] = Value(Dictionary{{"2", Value(1e300)}});
    EXPECT_FALSE(encodeFilter(huge)) << "a double beyond float range reads as infinite";

    Dictionary wrongType{{"name", Value("x")}, {"parameters", Value("not a map")}};
    EXPECT_FALSE(encodeFilter(wrongType));
    Dictionary textValue{{"name", Value("x")}, {"parameters", Value(Dictionary{{"1", Value("2")}})}};
    EXPECT_FALSE(encodeFilter(textValue));
    EXPECT_FALSE(encodeFilter(Dictionary{{"name", Value("x")}}));
    Dictionary unknownKey{{"parameters", Value(Dictionary{{"99", Value(3.0)}, {"2", Value(1.5)}})}};
    EXPECT_EQ(encodeFilter(unknownKey), "ab09");
}

// Malformed codes must be rejected whole, never partly imported.
TEST(FilterCodec, MalformedCodesAreRejected) {
    for (const char* bad : {"", "Aa09", " aa09", "ba09", "azaa", "aa0-", "aA09", "a\xff", "aa09\xe6",
                            "\xe6\xb5\xb7", "a\xcc\x81", "aa09a9\xcc\x81x"}) {
        EXPECT_FALSE(decodeFilter(bad)) << "accepted: " << bad;
    }
}

// The trailing one or two characters that do not make a group are ignored, not rejected.
TEST(FilterCodec, IncompleteTrailingGroupIsIgnored) {
    ParameterMap expected = decodedParameters("aa09");
    EXPECT_NEAR(expected["1"], 1.99846f, 1e-5);
    EXPECT_EQ(decodedParameters("aa09x"), expected);
    EXPECT_EQ(decodedParameters("aa09xy"), expected);
    EXPECT_EQ(decodedParameters("aa09\xc3\xa9"), expected) << "one non-ASCII character is one character";
    EXPECT_EQ(decodedParameters("aa09\xc3\xa9\xc3\xa9"), expected);
}

// Two groups for one id: the later one wins (a decoder keeping the first reads another look).
TEST(FilterCodec, LaterGroupOverwritesEarlier) {
    ParameterMap map = decodedParameters("acaac99");
    EXPECT_EQ(map["3"], 2.0f);
    EXPECT_EQ(decodedParameters("ac99caa")["3"], 0.0f);
}

// Hanzi decoding errors: characters outside the table, indexes 1296..1499 that have no
// letter pair, and a Latin letter pasted after a Hanzi code.
TEST(FilterCodec, HanziFormRejectsWhatTheTableCannotRead) {
    std::string code = *base36StringToHanzi("aa09hu9");
    EXPECT_FALSE(decodeFilter(code + "x"));
    EXPECT_FALSE(decodeFilter(code + " "));
    EXPECT_FALSE(decodeFilter(hanziAt(0) + hanziAt(1296)));
    EXPECT_FALSE(decodeFilter(hanziAt(0) + "\xe9\xbe\x98"));  // 龘: an ideograph not in the table
    EXPECT_FALSE(hanziToBase36String(hanziAt(1499)));
    EXPECT_FALSE(base36StringToHanzi("aA"));
    EXPECT_FALSE(decodeFilter(hanziAt(36) + hanziAt(0))) << "pair of the first character is not version a";
}

// A pasted compatibility ideograph is the same character as its unified form (canonically
// equivalent), so it must read as that table entry rather than fail.
TEST(FilterCodec, CompatibilityIdeographReadsAsItsUnifiedForm) {
    EXPECT_EQ(hanziToBase36String("\xef\xa4\x81"), hanziToBase36String("\xe6\x9b\xb4"));  // U+F901, 更
    EXPECT_TRUE(hanziToBase36String("\xe6\x9b\xb4"));
}

// Only the first character decides the form; a Latin code with Hanzi later is a letter code.
TEST(FilterCodec, HanziDetectionLooksAtTheFirstCharacterOnly) {
    EXPECT_TRUE(isHanziString("\xe6\xb5\xb7"));           // 海
    EXPECT_TRUE(isHanziString("\xe3\x80\x87"));           // 〇 (Ideographic, not a letter)
    EXPECT_TRUE(isHanziString("\xf0\xa0\x80\x80"));       // U+20000
    EXPECT_TRUE(isHanziString("\xef\xa4\x80"));           // U+F900 compatibility ideograph
    EXPECT_FALSE(isHanziString(""));
    EXPECT_FALSE(isHanziString("a\xe6\xb5\xb7"));
    EXPECT_FALSE(isHanziString("\xe3\x81\x82"));          // あ
    EXPECT_FALSE(isHanziString("\xf0\x9f\x8c\x8a\xe6\xb5\xb7"));  // 🌊 then 海
    EXPECT_FALSE(decodeFilter("a\xe6\xb5\xb7\xe6\xb5\xb7\xe6\xb5\xb7"));
}

// Round trip through both forms for random filters: every value comes back within one
// quantisation step (a wrong scale or offset would drift further).
TEST(FilterCodec, RandomFiltersRoundTripWithinOneStep) {
    std::mt19937 rng(20261206);
    const auto& catalogue = filterParameterCatalogue();
    for (int trial = 0; trial < 500; ++trial) {
        ParameterMap map = defaultParameterMap();
        for (const auto& p : catalogue)
            if (rng() % 3 == 0) map[std::to_string(p.id)] = std::uniform_real_distribution<float>(p.min, p.max)(rng);
        auto code = encodeFilter(makeSavedFilter("r", map));
        ASSERT_TRUE(code);
        auto hanzi = base36StringToHanzi(*code);
        ASSERT_TRUE(hanzi) << *code;
        ParameterMap fromLetters = decodedParameters(*code);
        ASSERT_EQ(decodedParameters(*hanzi), fromLetters) << *code;
        for (const auto& p : catalogue) {
            std::string id = std::to_string(p.id);
            float step = (p.max - p.min) / 1295.0f;
            EXPECT_LE(std::fabs(fromLetters[id] - map[id]), step * 0.5f + 1e-3f * step + 1e-4f)
                << "id " << id << " code " << *code;
        }
    }
}


// The codes' text handling: malformed UTF-8 refused, characters counted as a person counts
// them (a letter with a combining accent, an emoji family, a flag), canonically equal texts
// equal, ideographs told from other scripts.
TEST(FilterCodecText, Utf8IsStrictAndClustersAreGraphemesInComposedForm) {
    for (const char* bad : {"\xC0\x80", "\xED\xA0\x80", "\xF4\x90\x80\x80", "\xE4\xB8", "\x80", "a\xFF"})
        EXPECT_FALSE(decodeUtf8(bad)) << ::testing::PrintToString(std::string(bad));
    std::string all;
    for (char32_t c : {U'a', U'\u00E9', U'\u4E00', U'\U0001F600', U'\U0010FFFF'}) appendUtf8(all, c);
    auto back = decodeUtf8(all);
    ASSERT_TRUE(back);
    EXPECT_EQ(*back, (std::vector<char32_t>{U'a', U'\u00E9', U'\u4E00', U'\U0001F600', U'\U0010FFFF'}));

    auto clusters = graphemeClusters("e\xCC\x81" "\xF0\x9F\x91\xA8\xE2\x80\x8D\xF0\x9F\x91\xA9\xE2\x80\x8D\xF0\x9F\x91\xA7"
                                     "\xF0\x9F\x87\xA8\xF0\x9F\x87\xB3" "\xE4\xB8\x80");
    ASSERT_TRUE(clusters);
    ASSERT_EQ(clusters->size(), 4u);
    EXPECT_EQ((*clusters)[0], std::u32string(U"\u00E9")) << "the decomposed letter is not composed";
    EXPECT_EQ((*clusters)[1].size(), 5u);
    EXPECT_EQ((*clusters)[2], std::u32string(U"\U0001F1E8\U0001F1F3"));
    EXPECT_EQ((*clusters)[3], std::u32string(U"\u4E00"));
    EXPECT_EQ(graphemeClusters("\xC3\xA9"), graphemeClusters("e\xCC\x81"));
    EXPECT_FALSE(graphemeClusters("\xE4\xB8\x80\xC0\x80"));

    EXPECT_TRUE(isIdeographic(U'\u4E00'));
    EXPECT_TRUE(isIdeographic(U'\U00020000'));
    EXPECT_TRUE(isIdeographic(U'\uF900'));
    EXPECT_FALSE(isIdeographic(U'A'));
    EXPECT_FALSE(isIdeographic(U'\u3041'));
}

}  // namespace
}  // namespace sorvel

