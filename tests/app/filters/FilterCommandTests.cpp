#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

#include "app/cli/FilterCommand.h"
#include "app/filters/FilterCodec.h"
#include "platform/foundation/Files.h"
#include "platform/image/ImageSource.h"

namespace sorvel {
namespace {

struct Outcome {
    int code;
    std::string out;
    std::string err;
};

Outcome run(std::vector<std::string> args) {
    std::ostringstream out, err;
    int code = runFilterCommand(args, out, err);
    return {code, out.str(), err.str()};
}

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> result;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) result.push_back(line);
    return result;
}

std::filesystem::path scratch(const std::string& name) {
    auto dir = std::filesystem::temp_directory_path() / ("sorvel-filter-cli-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    return dir / name;
}

// Decoding must list all 25 parameters in catalogue order with the decoded values, for both
// code forms; a reader of the output relies on that shape.
TEST(FilterCommand, DecodeListsAllParametersOfEitherForm) {
    Outcome letters = run({"decode", "aa09hu9"});
    ASSERT_EQ(letters.code, 0) << letters.err;
    auto rows = lines(letters.out);
    ASSERT_EQ(rows.size(), 25u);
    EXPECT_EQ(rows[0], "1\t曝光\t1.9984555");
    EXPECT_EQ(rows[1], "2\t对比度\t1");
    EXPECT_EQ(rows[7], "8\t色温\t6498.0693");
    EXPECT_EQ(rows[24], "25\t边缘检测\t0");
    EXPECT_EQ(run({"decode", *base36StringToHanzi("aa09hu9")}).out, letters.out);

    Outcome json = run({"decode", "aa09hu9", "--json"});
    ASSERT_EQ(json.code, 0);
    EXPECT_NE(json.out.find("{\"id\": 1, \"name\": \"曝光\", \"value\": 1.9984555},"), std::string::npos) << json.out;
    EXPECT_NE(json.out.find("{\"id\": 25, \"name\": \"边缘检测\", \"value\": 0}\n]}"), std::string::npos) << json.out;
}

// Encoding from the command line must give the same codes as the app's share dialog.
TEST(FilterCommand, EncodePrintsLetterAndHanziCodes) {
    Outcome r = run({"encode", "8=6500", "1=2"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(lines(r.out), (std::vector<std::string>{"aa09hu9", *base36StringToHanzi("aa09hu9")}));
    EXPECT_EQ(lines(run({"encode"}).out), (std::vector<std::string>{"a", *base36StringToHanzi("a")}));
    for (auto bad : {std::vector<std::string>{"encode", "26=1"}, {"encode", "1=x"}, {"encode", "1"},
                     {"encode", "1.5=2"}, {"encode", "1=1e300"}}) {
        Outcome b = run(bad);
        EXPECT_EQ(b.code, 2) << bad[1];
        EXPECT_TRUE(b.out.empty());
    }
}

// Bad input exits 2 with one line and leaves no file behind (nor touches an existing one).
TEST(FilterCommand, InvalidCodeOrUnreadablePhotoWritesNothing) {
    Outcome bad = run({"decode", "Aa09"});
    EXPECT_EQ(bad.code, 2);
    EXPECT_EQ(lines(bad.err).size(), 1u);
    EXPECT_TRUE(bad.out.empty());

    auto garbage = scratch("garbage.jpg");
    ASSERT_TRUE(writeFileAtomically(garbage, Bytes{0xff, 0xd8, 0x00, 0x01, 0x02}).ok);
    auto out = scratch("never.jpg");
    Outcome unreadable = run({"apply", "ac99", garbage.string(), out.string()});
    EXPECT_EQ(unreadable.code, 2);
    EXPECT_EQ(lines(unreadable.err).size(), 1u);
    EXPECT_FALSE(std::filesystem::exists(out));

    Outcome missing = run({"apply", "ac99", scratch("absent.png").string(), out.string()});
    EXPECT_EQ(missing.code, 2);
    auto existing = scratch("existing.jpg");
    ASSERT_TRUE(writeFileAtomically(existing, Bytes{1, 2, 3}).ok);
    Outcome invalid = run({"apply", "azaa", std::string(SORVEL_TESTDATA_DIR) + "/metadata/GPS.jpg", existing.string()});
    EXPECT_EQ(invalid.code, 2);
    EXPECT_EQ(readFile(existing), (Bytes{1, 2, 3}));
}

// A filtered photo keeps its size, is readable, and keeps the GPS block it came with.
TEST(FilterCommand, ApplyWritesAFilteredPhotoKeepingExifAndGps) {
    const std::string input = std::string(SORVEL_TESTDATA_DIR) + "/metadata/GPS.jpg";
    auto inBytes = readFile(input);
    ASSERT_TRUE(inBytes);
    auto inSource = image::ImageSource::make(*inBytes);
    ASSERT_TRUE(inSource);
    for (const char* name : {"out.jpg", "out.heic"}) {
        auto out = scratch(name);
        Outcome r = run({"apply", "萌似月波差城侨光约衣持幅灵", input, out.string(), "--quality", "0.8"});
        ASSERT_EQ(r.code, 0) << r.err;
        auto bytes = readFile(out);
        ASSERT_TRUE(bytes);
        auto source = image::ImageSource::make(*bytes);
        ASSERT_TRUE(source) << name;
        EXPECT_EQ(source->width(), inSource->width());
        EXPECT_EQ(source->height(), inSource->height());
        EXPECT_EQ(Value(source->properties())["{GPS}"]["Latitude"], Value(inSource->properties())["{GPS}"]["Latitude"]) << name;
        EXPECT_TRUE(Value(source->properties())["{GPS}"]["Latitude"].isNumber()) << name;
        EXPECT_TRUE(source->image());
    }
}

}  // namespace
}  // namespace sorvel
