// The app as a desktop and phone application: what `cmake --install` puts where launchers and
// software centres look, checked with the desktop's own validators.

#include <gtest/gtest.h>

#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <filesystem>
#include <fstream>
#include <sstream>

using namespace std::string_literals;
namespace fs = std::filesystem;

namespace {

struct ToolRun {
    int exitCode = -1;
    std::string output;
};

ToolRun runTool(const QString& program, const QStringList& arguments) {
    QProcess tool;
    tool.setProcessChannelMode(QProcess::MergedChannels);
    tool.start(program, arguments);
    if (!tool.waitForFinished(120000)) return {-1, program.toStdString() + " did not finish"};
    return {tool.exitStatus() == QProcess::NormalExit ? tool.exitCode() : -1, tool.readAll().toStdString()};
}

std::string readText(const fs::path& path) {
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

const fs::path kSource = SORVEL_SOURCE_DIR;
const char* const kIconSizes[] = {"16", "24", "32", "48", "64", "128", "256", "512"};

std::vector<std::string> iconNames() {
    std::vector<std::string> names{"org.sorvel.Camera"};
    for (int i = 2; i <= 15; ++i) names.push_back("org.sorvel.Camera.AppIcon" + std::to_string(i));
    return names;
}

// desktop-file-validate exits 0 for entries with mere hints; errors and warnings fail.
void expectValidEntry(const fs::path& entry) {
    ToolRun run = runTool("desktop-file-validate", {QString::fromStdString(entry.string())});
    EXPECT_EQ(run.exitCode, 0) << run.output;
    EXPECT_EQ(run.output.find("error:"), std::string::npos) << run.output;
    EXPECT_EQ(run.output.find("warning:"), std::string::npos) << run.output;
}

}  // namespace

// A launcher skips an invalid entry and a software centre an invalid metainfo file: then the
// app is simply missing from the phone's app grid. The committed screenshot must also be the
// picture the metainfo describes.
TEST(DesktopIntegration, EntryAndMetainfoPassTheValidators) {
    const fs::path entry = kSource / "resources/desktop/org.sorvel.Camera.desktop";
    expectValidEntry(entry);
    const std::string text = readText(entry);
    EXPECT_NE(text.find("\nName=Sorvel Camera\n"), std::string::npos);
    EXPECT_NE(text.find("\nName[zh_CN]=Sorvel 相机\n"), std::string::npos);
    EXPECT_NE(text.find("\nIcon=org.sorvel.Camera\n"), std::string::npos);
    // Phosh and Plasma Mobile list only apps that declare they fit a phone.
    EXPECT_NE(text.find("\nX-Purism-FormFactor=Workstation;Mobile;\n"), std::string::npos);
    EXPECT_NE(text.find("handset"), std::string::npos);

    const fs::path metainfo = kSource / "resources/desktop/org.sorvel.Camera.metainfo.xml";
    ToolRun run = runTool("appstreamcli", {"validate", "--no-net", QString::fromStdString(metainfo.string())});
    EXPECT_EQ(run.exitCode, 0) << run.output;

    // Every screenshot the metainfo names is committed, at the size it states.
    const std::string xml = readText(metainfo);
    QRegularExpression image(R"re(<image type="source" width="(\d+)" height="(\d+)">[^<]*/([^/<]+)</image>)re");
    int images = 0;
    for (auto it = image.globalMatch(QString::fromStdString(xml)); it.hasNext(); ++images) {
        auto match = it.next();
        QImage shot(QString::fromStdString((kSource / "resources/desktop/screenshots" / match.captured(3).toStdString()).string()));
        ASSERT_FALSE(shot.isNull()) << match.captured(3).toStdString();
        EXPECT_EQ(shot.width(), match.captured(1).toInt());
        EXPECT_EQ(shot.height(), match.captured(2).toInt());
    }
    EXPECT_EQ(images, 2);
}

// An install that forgot a size or an alternate would show a blurred or generic icon after the
// user picks it; the installed tree must also pass AppStream's check of a whole prefix.
TEST(DesktopIntegration, InstallPutsTheAppItsEntryAndEveryIconInThePrefix) {
    const fs::path prefix = fs::path(::testing::TempDir()) / "sorvel-install-prefix";
    fs::remove_all(prefix);
    ToolRun install = runTool("cmake", {"--install", SORVEL_BINARY_DIR, "--prefix", QString::fromStdString(prefix.string())});
    ASSERT_EQ(install.exitCode, 0) << install.output;

    const fs::path exe = prefix / "bin/sorvel-camera";
    ASSERT_TRUE(fs::is_regular_file(exe));
    EXPECT_NE(fs::status(exe).permissions() & fs::perms::owner_exec, fs::perms::none);
    expectValidEntry(prefix / "share/applications/org.sorvel.Camera.desktop");
    EXPECT_TRUE(fs::is_regular_file(prefix / "share/metainfo/org.sorvel.Camera.metainfo.xml"));

    const fs::path hicolor = prefix / "share/icons/hicolor";
    for (const std::string& name : iconNames()) {
        EXPECT_TRUE(fs::is_regular_file(hicolor / "scalable/apps" / (name + ".svg"))) << name;
        for (const char* s : kIconSizes) {
            const fs::path png = hicolor / (s + "x"s + s) / "apps" / (name + ".png");
            QImage picture(QString::fromStdString(png.string()));
            ASSERT_FALSE(picture.isNull()) << png;
            EXPECT_EQ(picture.size(), QSize(std::stoi(s), std::stoi(s))) << png;
        }
    }

    ToolRun tree = runTool("appstreamcli", {"validate-tree", "--no-net", QString::fromStdString(prefix.string())});
    EXPECT_EQ(tree.exitCode, 0) << tree.output;
    fs::remove_all(prefix);
}

// Fifteen icons a person cannot tell apart are no choice: the rendered pictures must differ
// from each other (no copy-pasted drawing), and each must fill its square visibly.
TEST(DesktopIntegration, TheFifteenIconsAreDistinctPictures) {
    std::vector<QImage> pictures;
    for (const std::string& name : iconNames()) {
        const fs::path png = fs::path(SORVEL_BINARY_DIR) / "resources/icons/64x64" / (name + ".png");
        QImage picture(QString::fromStdString(png.string()));
        ASSERT_FALSE(picture.isNull()) << png;
        pictures.push_back(picture.convertToFormat(QImage::Format_ARGB32));
    }
    auto difference = [](const QImage& a, const QImage& b) {
        double sum = 0;
        for (int y = 0; y < a.height(); ++y)
            for (int x = 0; x < a.width(); ++x) {
                QRgb p = a.pixel(x, y), q = b.pixel(x, y);
                sum += std::abs(qRed(p) - qRed(q)) + std::abs(qGreen(p) - qGreen(q)) + std::abs(qBlue(p) - qBlue(q));
            }
        return sum / (a.width() * a.height() * 3.0);
    };
    for (std::size_t i = 0; i < pictures.size(); ++i) {
        int opaque = 0;
        for (int y = 0; y < 64; ++y)
            for (int x = 0; x < 64; ++x) opaque += qAlpha(pictures[i].pixel(x, y)) > 200;
        EXPECT_GT(opaque, 64 * 64 / 2) << iconNames()[i];
        for (std::size_t j = i + 1; j < pictures.size(); ++j)
            EXPECT_GT(difference(pictures[i], pictures[j]), 12.0) << iconNames()[i] << " vs " << iconNames()[j];
    }
}
