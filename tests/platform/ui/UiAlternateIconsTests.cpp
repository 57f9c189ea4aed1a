#include <gtest/gtest.h>

#include <QProcess>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "UiTestSupport.h"
#include "platform/ui/AlternateIcons.h"

using namespace sorvel;
namespace fs = std::filesystem;

namespace {

std::string readText(const fs::path& path) {
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

void writeText(const fs::path& path, const std::string& text) {
    fs::create_directories(path.parent_path());
    std::ofstream(path) << text;
}

// An installed prefix holding the app's real desktop entry and a few of its icons, and an empty
// user data folder, both under a fresh temporary folder.
struct AlternateIconsFixture : ::testing::Test {
    fs::path root, prefixShare, userHome;
    void SetUp() override {
        root = fs::path(::testing::TempDir()) /
               ("alternate-icons-" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        fs::remove_all(root);
        prefixShare = root / "prefix" / "share";
        userHome = root / "home";
        fs::create_directories(userHome);
    }
    void TearDown() override { fs::remove_all(root); }

    void install() {
        fs::create_directories(prefixShare / "applications");
        fs::copy_file(fs::path(SORVEL_SOURCE_DIR) / "resources/desktop/org.sorvel.Camera.desktop",
                      prefixShare / "applications/org.sorvel.Camera.desktop");
        for (const char* name : {"org.sorvel.Camera", "org.sorvel.Camera.AppIcon2", "org.sorvel.Camera.AppIcon15"})
            writeText(prefixShare / "icons/hicolor/scalable/apps" / (std::string(name) + ".svg"), "<svg/>");
        writeText(prefixShare / "icons/hicolor/48x48/apps/org.sorvel.Camera.AppIcon7.png", "png");
    }
    DesktopEntryIcons icons() const { return DesktopEntryIcons("org.sorvel.Camera", {{prefixShare}, userHome}); }
    fs::path userEntry() const { return userHome / "applications/org.sorvel.Camera.desktop"; }
};

// desktop-file-validate's verdict: empty when the entry is valid (hints allowed), else its report.
std::string validationProblems(const fs::path& entry) {
    QProcess tool;
    tool.setProcessChannelMode(QProcess::MergedChannels);
    tool.start("desktop-file-validate", {QString::fromStdString(entry.string())});
    if (!tool.waitForFinished(30000)) return "desktop-file-validate did not run";
    const QString out = QString::fromUtf8(tool.readAll());
    if (tool.exitCode() != 0 || out.contains("error:") || out.contains("warning:")) return out.toStdString();
    return {};
}

}  // namespace

// Run from its build folder the app has no entry a launcher reads; claiming support would make
// the picker write a user entry that shows an app the desktop cannot start.
TEST_F(AlternateIconsFixture, WithoutAnInstalledEntryNothingIsSupportedOrWritten) {
    DesktopEntryIcons none = icons();
    EXPECT_FALSE(none.supportsAlternateIcons());
    auto error = none.setAlternateIconName("AppIcon2");
    ASSERT_TRUE(error);
    EXPECT_NE(error->find("not installed"), std::string::npos) << *error;
    EXPECT_FALSE(fs::exists(userEntry()));
    // A user-level entry alone (ours from an earlier install) is not an installation.
    writeText(userEntry(), "[Desktop Entry]\nType=Application\nName=x\nExec=x\nIcon=org.sorvel.Camera.AppIcon2\n");
    DesktopEntryIcons userOnly("org.sorvel.Camera", {{userHome}, userHome});
    EXPECT_FALSE(userOnly.supportsAlternateIcons());
}

// The launcher shows whatever Icon= the user entry names; everything else the installed entry
// says (names, phone form factors) must come through, and the file must stay a valid entry.
TEST_F(AlternateIconsFixture, SwitchingWritesAValidUserEntryNamingTheThemeIcon) {
    install();
    DesktopEntryIcons app = icons();
    ASSERT_TRUE(app.supportsAlternateIcons());
    EXPECT_EQ(app.installedEntry(), prefixShare / "applications/org.sorvel.Camera.desktop");
    EXPECT_FALSE(app.alternateIconName());

    EXPECT_EQ(app.setAlternateIconName("AppIcon2"), std::nullopt);
    const std::string written = readText(userEntry());
    EXPECT_NE(written.find("\nIcon=org.sorvel.Camera.AppIcon2\n"), std::string::npos) << written;
    EXPECT_NE(written.find("Name[zh_CN]=Sorvel 相机"), std::string::npos) << written;
    EXPECT_NE(written.find("X-Purism-FormFactor=Workstation;Mobile;"), std::string::npos) << written;
    EXPECT_EQ(validationProblems(userEntry()), "");
    EXPECT_EQ(app.alternateIconName(), "AppIcon2");
    EXPECT_EQ(app.installedIconFile("org.sorvel.Camera.AppIcon2"),
              prefixShare / "icons/hicolor/scalable/apps/org.sorvel.Camera.AppIcon2.svg");

    // A PNG-only icon in a sized folder is in the theme too.
    EXPECT_EQ(app.setAlternateIconName("AppIcon7"), std::nullopt);
    EXPECT_EQ(app.alternateIconName(), "AppIcon7");

    // Back to the primary icon: the app id itself, which reads back as no alternate.
    EXPECT_EQ(app.setAlternateIconName(std::nullopt), std::nullopt);
    EXPECT_NE(readText(userEntry()).find("\nIcon=org.sorvel.Camera\n"), std::string::npos);
    EXPECT_FALSE(app.alternateIconName());
    EXPECT_EQ(validationProblems(userEntry()), "");
}

// An icon the theme lacks would leave the launcher showing a generic placeholder: refuse it
// and keep the entry the user had.
TEST_F(AlternateIconsFixture, AnIconMissingFromTheThemeIsRefusedAndChangesNothing) {
    install();
    DesktopEntryIcons app = icons();
    ASSERT_EQ(app.setAlternateIconName("AppIcon15"), std::nullopt);
    const std::string before = readText(userEntry());
    auto error = app.setAlternateIconName("AppIcon9");
    ASSERT_TRUE(error);
    EXPECT_NE(error->find("org.sorvel.Camera.AppIcon9"), std::string::npos) << *error;
    EXPECT_EQ(readText(userEntry()), before);
    EXPECT_EQ(app.alternateIconName(), "AppIcon15");
}

// A user who hid the app with a menu editor keeps that; a user entry that is not a desktop
// entry at all is moved aside, not overwritten, and the new one starts from the installed entry.
TEST_F(AlternateIconsFixture, TheUsersOwnEntryIsKeptOrMovedAsideWhenUnreadable) {
    install();
    std::string own = readText(prefixShare / "applications/org.sorvel.Camera.desktop");
    own += "NoDisplay=true\n";
    writeText(userEntry(), own);
    DesktopEntryIcons app = icons();
    ASSERT_EQ(app.setAlternateIconName("AppIcon2"), std::nullopt);
    EXPECT_NE(readText(userEntry()).find("NoDisplay=true"), std::string::npos);

    writeText(userEntry(), "this is not a key file\n\x01\x02");
    ASSERT_EQ(app.setAlternateIconName("AppIcon15"), std::nullopt);
    EXPECT_NE(readText(userEntry()).find("\nIcon=org.sorvel.Camera.AppIcon15\n"), std::string::npos);
    EXPECT_EQ(readText(userEntry()).find("NoDisplay"), std::string::npos);
    int asides = 0;
    for (const auto& e : fs::directory_iterator(userHome / "applications"))
        if (e.path().filename().string().find(".damaged-") != std::string::npos) {
            ++asides;
            EXPECT_EQ(readText(e.path()), "this is not a key file\n\x01\x02");
        }
    EXPECT_EQ(asides, 1);
}

// The folders follow the XDG rules: relative entries of $XDG_DATA_DIRS are ignored, an unset
// variable means /usr/local/share and /usr/share, and the executable's own prefix comes first.
TEST(AlternateIconsEnvironment, DataFoldersFollowTheXdgRules) {
    struct Saved {
        const char* name;
        std::optional<std::string> value;
    } saved[] = {{"XDG_DATA_DIRS", {}}, {"XDG_DATA_HOME", {}}, {"HOME", {}}};
    for (Saved& s : saved)
        if (const char* v = std::getenv(s.name)) s.value = v;

    setenv("XDG_DATA_DIRS", "/opt/a/share:relative/share::/opt/b/share", 1);
    setenv("XDG_DATA_HOME", "/tmp/user-data", 1);
    DesktopDataLocations set = DesktopDataLocations::fromEnvironment();
    ASSERT_EQ(set.dataDirs.size(), 3u);
    EXPECT_EQ(set.dataDirs[1], "/opt/a/share");
    EXPECT_EQ(set.dataDirs[2], "/opt/b/share");
    EXPECT_EQ(set.userDataHome, "/tmp/user-data");
    // The test binary's prefix: <build>/tests/platform/ui/.. /share.
    EXPECT_EQ(set.dataDirs[0].filename(), "share");

    unsetenv("XDG_DATA_DIRS");
    setenv("XDG_DATA_HOME", "relative", 1);
    setenv("HOME", "/home/someone", 1);
    DesktopDataLocations unset = DesktopDataLocations::fromEnvironment();
    ASSERT_EQ(unset.dataDirs.size(), 3u);
    EXPECT_EQ(unset.dataDirs[1], "/usr/local/share");
    EXPECT_EQ(unset.dataDirs[2], "/usr/share");
    EXPECT_EQ(unset.userDataHome, "/home/someone/.local/share");

    for (const Saved& s : saved)
        if (s.value) setenv(s.name, s.value->c_str(), 1);
        else unsetenv(s.name);
}
