#include <gtest/gtest.h>

#include <map>

#include "platform/foundation/Localization.h"

using namespace sorvel;

// The compiled-in table must answer its keys, and an unknown key must come back as itself
// (the literal is the text shown), never empty.
TEST(Localization, TableAnswersAndMissingKeysShowThemselves) {
    EXPECT_EQ(localized("ok"), "好");
    EXPECT_NE(localized("permission_required"), "permission_required");
    EXPECT_EQ(localized("未知"), "未知");
    EXPECT_EQ(localized(""), "");
}

// A malformed line must be skipped without losing the entries around it.
TEST(Localization, ParserSkipsMalformedLines) {
    std::map<std::string, std::string> got;
    auto add = [](void* ctx, std::string k, std::string v) { (*static_cast<std::map<std::string, std::string>*>(ctx))[k] = v; };
    bool clean = parseStringsTable("/* c */\n\"a\" = \"1\";\n\"broken = \"x\";\n// note\n\"b\" = \"two \\\"q\\\"\\n\";\n\"c\"=\"3\"", add, &got);
    EXPECT_FALSE(clean);
    EXPECT_EQ(got["a"], "1");
    EXPECT_EQ(got["b"], "two \"q\"\n");
    EXPECT_EQ(got.count("broken"), 0u);
}
