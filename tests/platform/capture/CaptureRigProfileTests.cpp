#include <gtest/gtest.h>

#include <fstream>

#include "CaptureTestSupport.h"

namespace sorvel::testing {
namespace {

std::string errorOf(const std::string& text) {
    auto r = RigProfile::parse(text);
    return std::holds_alternative<std::string>(r) ? std::get<std::string>(r) : "";
}

const char* kCamera = "[camera]\nid = a\nname = A\n";

// The built-in profile is the camera of every machine; losing a field there changes every
// test and the app.
TEST(CaptureRigProfile, BuiltInProfileDescribesFourCamerasAndAMicrophone) {
    const RigProfile& p = RigProfile::builtIn();
    ASSERT_EQ(p.cameras.size(), 4u);
    EXPECT_TRUE(p.microphone.has_value());
    for (const auto& c : p.cameras) {
        EXPECT_EQ(c.sensor, (Dimensions{4032, 3024})) << c.uniqueID;
        EXPECT_FALSE(c.lensModel.empty());
        EXPECT_EQ(c.hasTorch, c.position == DevicePosition::Back);
        EXPECT_TRUE(c.supportsBayerRaw && c.supportsLivePhoto);
        EXPECT_LT(c.minZoom, c.maxZoom);
    }
    EXPECT_EQ(p.cameras[3].localizedName, "后置长焦相机");
    EXPECT_DOUBLE_EQ(p.cameras[2].fNumber, 1.6);
}

// A broken --rig file must name the line and the problem, never crash or half-apply.
TEST(CaptureRigProfile, BadFilesGiveClearMessages) {
    EXPECT_EQ(errorOf(""), "rig profile: no [camera] section");
    EXPECT_EQ(errorOf("id = a\n"), "rig profile line 1: \"id\" before any section");
    EXPECT_EQ(errorOf(std::string(kCamera) + "zoom = 5 .. 2\n"), "rig profile line 4: bad value \"5 .. 2\" for zoom");
    EXPECT_EQ(errorOf(std::string(kCamera) + "colour = red\n"), "rig profile line 4: unknown key \"colour\"");
    EXPECT_EQ(errorOf(std::string(kCamera) + "sensor = 4033 x 3024\n"),
              "rig profile line 4: bad value \"4033 x 3024\" for sensor");
    EXPECT_EQ(errorOf(std::string(kCamera) + "sensor = 99999999 x 3\n"),
              "rig profile line 4: bad value \"99999999 x 3\" for sensor");
    EXPECT_EQ(errorOf(std::string(kCamera) + "faults = melt\n"), "rig profile line 4: bad value \"melt\" for faults");
    EXPECT_EQ(errorOf(std::string(kCamera) + "iso = nan .. 3\n"), "rig profile line 4: bad value \"nan .. 3\" for iso");
    EXPECT_EQ(errorOf(std::string(kCamera) + kCamera), "rig profile: duplicate camera id a");
    EXPECT_EQ(errorOf("[lens]\n"), "rig profile line 1: unknown section [lens]");
    EXPECT_EQ(errorOf("[camera]\nname = x\n"), "rig profile: every camera needs an id and a name");
    // Binary junk reads as errors, not as a profile.
    std::string junk("\x01\x02[camera\xff\n=\n", 13);
    EXPECT_FALSE(errorOf(junk).empty());
}

// A profile from a file replaces the devices the app discovers.
TEST(CaptureRigProfile, RigFileReplacesTheDevices) {
    VirtualClock clock;
    Clock::install(&clock);
    auto path = std::filesystem::temp_directory_path() / ("sorvel-rig-" + std::to_string(::getpid()) + ".rig");
    {
        std::ofstream out(path);
        out << "# one camera\n[camera]\nid = x\nname = 后置相机\ntype = telephoto\nposition = back\n"
               "zoom = 1 .. 3  # short\nsensor = 2000 x 1500\n";
    }
    auto& rig = VirtualRig::shared();
    EXPECT_FALSE(rig.applyOptions(path.string(), "").has_value());
    auto cams = CaptureDevice::discover({DeviceType::BuiltInTelephotoCamera}, MediaType::Video, DevicePosition::Back);
    ASSERT_EQ(cams.size(), 1u);
    EXPECT_DOUBLE_EQ(cams[0]->maxAvailableVideoZoomFactor(), 3);
    EXPECT_EQ(cams[0]->activeFormat().highResolutionStillDimensions, (Dimensions{2000, 1500}));
    auto missing = rig.applyOptions((path.string() + ".none"), "");
    ASSERT_TRUE(missing.has_value());
    EXPECT_NE(missing->find("cannot read"), std::string::npos);
    auto badScene = rig.applyOptions("", path.string());
    ASSERT_TRUE(badScene.has_value());
    EXPECT_NE(badScene->find("not a picture"), std::string::npos);
    std::filesystem::remove(path);
    rig.reset(RigMode::Step);
    Clock::install(nullptr);
}

}  // namespace
}  // namespace sorvel::testing
