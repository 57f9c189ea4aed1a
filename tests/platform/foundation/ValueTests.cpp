#include <gtest/gtest.h>

#include "platform/foundation/Value.h"

using namespace sorvel;

// A settings value read with the wrong reader must follow the one conversion table; a
// divergence here would make a stored "1" or 1.0 read differently in different features.
TEST(Value, ConversionTableAcrossTypes) {
    EXPECT_TRUE(Value(2.5).toBool());
    EXPECT_FALSE(Value(0.0).toBool());
    EXPECT_TRUE(Value(7).toBool());
    EXPECT_TRUE(Value("1").toBool());
    EXPECT_FALSE(Value("0.0").toBool());
    EXPECT_TRUE(Value("YES").toBool());
    EXPECT_FALSE(Value("abc").toBool());
    EXPECT_FALSE(Value(Bytes{1}).toBool());

    EXPECT_EQ(Value(-2.9).toInteger(), -2);
    EXPECT_EQ(Value(true).toInteger(), 1);
    EXPECT_EQ(Value(" 42 ").toInteger(), 42);
    EXPECT_EQ(Value("3.7").toInteger(), 3);
    EXPECT_EQ(Value(1e300).toInteger(), 0);
    EXPECT_EQ(Value("x").toInteger(), 0);

    EXPECT_DOUBLE_EQ(Value("0.65").toReal(), 0.65);
    EXPECT_DOUBLE_EQ(Value(3).toReal(), 3.0);
    EXPECT_DOUBLE_EQ(Value("nan").toReal(), 0.0);
    EXPECT_DOUBLE_EQ(Value(Array{}).toReal(), 0.0);

    EXPECT_EQ(Value(0.65).toString(), "0.65");
    EXPECT_EQ(Value(12).toString(), "12");
    EXPECT_FALSE(Value(true).toString().has_value());
}

// Saved filters and settings go through encode/decode; any lossy step would corrupt them on
// the next start.
TEST(Value, BinaryRoundTripKeepsEveryType) {
    Dictionary filter{{"name", "🌊海草ccd"}, {"parameters", Dictionary{{"0", 1.5}, {"24", -0.25}}}};
    Value v(Array{Value(true), Value(-9007199254740993LL), Value(0.1), Value("文字"), Value(Bytes{0, 255, 7}),
                  Value(Date{1.7e9 + 0.25}), Value(), Value(filter)});
    Bytes encoded = v.encode();
    auto back = Value::decode(encoded.data(), encoded.size());
    ASSERT_TRUE(back.has_value());
    EXPECT_EQ(*back, v) << back->describe();
    EXPECT_EQ((*back->arrayValue())[7]["parameters"]["24"].realValue(), -0.25);
}

// A damaged blob (truncated, lying counts, deep nesting) must be rejected, never crash or
// allocate by a forged count.
TEST(Value, DecodeRejectsDamagedBlobs) {
    Bytes good = Value(Array{Value("abc"), Value(Dictionary{{"k", 1}})}).encode();
    for (std::size_t cut = 0; cut < good.size(); ++cut)
        EXPECT_FALSE(Value::decode(good.data(), cut).has_value()) << "cut at " << cut;

    Bytes hugeCount{static_cast<std::uint8_t>(Value::Type::Array), 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0x7f};
    EXPECT_FALSE(Value::decode(hugeCount.data(), hugeCount.size()).has_value());

    Bytes deep;
    for (int i = 0; i < 200; ++i) {
        deep.push_back(static_cast<std::uint8_t>(Value::Type::Array));
        for (int b = 0; b < 8; ++b) deep.push_back(b == 0 ? 1 : 0);
    }
    deep.push_back(0);
    EXPECT_FALSE(Value::decode(deep.data(), deep.size()).has_value());

    Bytes badBool{static_cast<std::uint8_t>(Value::Type::Bool), 2};
    EXPECT_FALSE(Value::decode(badBool.data(), badBool.size()).has_value());
    Bytes trailing = Value(1).encode();
    trailing.push_back(0);
    EXPECT_FALSE(Value::decode(trailing.data(), trailing.size()).has_value());
}

// Exposure values and settings print in their shortest form; "0.30000000000000004" on screen
// or in a watermark would be a visible fault.
TEST(Value, ShortestDecimalAndNumberParsing) {
    EXPECT_EQ(shortestDecimal(0.1 + 0.2), "0.30000000000000004");
    EXPECT_EQ(shortestDecimal(0.3), "0.3");
    EXPECT_EQ(shortestDecimal(-0.7), "-0.7");
    EXPECT_EQ(shortestDecimal(1.0), "1");
    EXPECT_EQ(shortestDecimal(1e20), "1e+20");
    EXPECT_EQ(parseNumber(" 1.5 "), 1.5);
    EXPECT_EQ(parseNumber("+2"), 2.0);
    EXPECT_FALSE(parseNumber("1.5x"));
    EXPECT_FALSE(parseNumber(""));
    EXPECT_FALSE(parseNumber("inf"));
}
