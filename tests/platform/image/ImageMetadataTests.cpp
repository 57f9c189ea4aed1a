// The property reader against exiftool on exiftool's own sample files from many cameras.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <map>
#include <sstream>

#include "TestImages.h"
#include "platform/image/ImageSource.h"

namespace sorvel::image {
namespace {

const std::string kMetadataDir = std::string(SORVEL_TESTDATA_DIR) + "/metadata";

std::vector<std::string> listFiles(const std::string& dir) {
    std::vector<std::string> out;
    if (DIR* d = opendir(dir.c_str())) {
        while (dirent* e = readdir(d))
            if (e->d_name[0] != '.') out.push_back(e->d_name);
        closedir(d);
    }
    std::sort(out.begin(), out.end());
    return out;
}

// One line per file from `exiftool -n -T` with the Exif-group tags; "-" or "" = not reported.
std::map<std::string, std::vector<std::string>> exiftoolTable() {
    std::map<std::string, std::vector<std::string>> table;
    std::string cmd = "exiftool -q -q -n -T -FileName -EXIF:ExposureTime -EXIF:ISO -EXIF:LensModel "
                      "-GPS:GPSLatitude -GPS:GPSLongitude '" + kMetadataDir + "' 2>/dev/null";
    FILE* p = popen(cmd.c_str(), "r");
    if (!p) return table;
    char line[4096];
    while (std::fgets(line, sizeof line, p)) {
        std::string s(line);
        while (!s.empty() && (s.back() == '\n' || s.back() == '\r')) s.pop_back();
        std::vector<std::string> fields;
        std::stringstream ss(s);
        std::string f;
        while (std::getline(ss, f, '\t')) fields.push_back(f);
        while (fields.size() < 6) fields.push_back("");
        table[fields[0]] = fields;
    }
    pclose(p);
    return table;
}

bool reported(const std::string& s) { return !s.empty() && s != "-"; }

TEST(ImageMetadata, NoFileOfTheSampleSetCrashesTheReader) {
    auto files = listFiles(kMetadataDir);
    ASSERT_FALSE(files.empty()) << "missing " << kMetadataDir;
    for (const auto& name : files) {
        Bytes bytes = test::readFile(kMetadataDir + "/" + name);
        auto source = ImageSource::make(bytes);
        if (source) (void)Value(source->properties())["{Exif}"].describe();
    }
}

// Where exiftool reports ExposureTime, ISO, LensModel or GPS position in the Exif block, our
// property dictionary must hold the same value.
TEST(ImageMetadata, AgreesWithExiftoolOnExposureIsoLensAndGps) {
    if (std::system("exiftool -ver > /dev/null 2>&1") != 0) GTEST_SKIP() << "exiftool is not installed";
    auto table = exiftoolTable();
    ASSERT_GT(table.size(), 40u);
    int compared = 0;
    for (const auto& [name, f] : table) {
        const bool any = reported(f[1]) || reported(f[2]) || reported(f[3]) || reported(f[4]) || reported(f[5]);
        if (!any) continue;
        auto source = ImageSource::make(test::readFile(kMetadataDir + "/" + name));
        ASSERT_TRUE(source) << name << ": exiftool reads Exif, we read nothing";
        const Value props(source->properties());
        const Value& exif = props["{Exif}"];
        const Value& gps = props["{GPS}"];
        if (reported(f[1])) {
            double want = std::atof(f[1].c_str());
            EXPECT_NEAR(exif["ExposureTime"].toReal(), want, want * 1e-6) << name;
            ++compared;
        }
        if (reported(f[2])) {
            const Array* iso = exif["ISOSpeedRatings"].arrayValue();
            ASSERT_TRUE(iso && !iso->empty()) << name << ": ISO missing";
            EXPECT_EQ((*iso)[0].toInteger(), std::atoll(f[2].c_str())) << name;
            ++compared;
        }
        if (reported(f[3])) {
            EXPECT_EQ(exif["LensModel"].toString().value_or("<none>"), f[3]) << name;
            ++compared;
        }
        if (reported(f[4])) {
            EXPECT_NEAR(gps["Latitude"].toReal(), std::atof(f[4].c_str()), 1e-7) << name;
            ++compared;
        }
        if (reported(f[5])) {
            EXPECT_NEAR(gps["Longitude"].toReal(), std::atof(f[5].c_str()), 1e-7) << name;
            ++compared;
        }
    }
    EXPECT_GT(compared, 50);
}

TEST(ImageMetadata, DngReportsItsExifAndType) {
    auto source = ImageSource::make(test::readFile(kMetadataDir + "/DNG.dng"));
    ASSERT_TRUE(source);
    EXPECT_EQ(source->type(), "com.adobe.raw-image");
    EXPECT_GT(source->width(), 0);
    EXPECT_TRUE(Value(source->properties())["{Exif}"].dictionaryValue());
    EXPECT_FALSE(source->image()) << "DNG pixels come from the RAW developer";
}

}  // namespace
}  // namespace sorvel::image
