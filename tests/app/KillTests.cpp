// The camera killed with SIGKILL while it saves: after a restart every acknowledged press is in
// the library exactly once, as a run that was not killed would have saved it, and nothing is
// left in the journal. The real binary in new processes, stopped at named places (its pause
// points) so that each kill lands where it is meant to; small sensors keep a run to seconds.

#include <gtest/gtest.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <array>
#include <chrono>
#include <cmath>
#include <fstream>
#include <nlohmann/json.hpp>
#include <thread>

#include "AppHarness.h"
#include "platform/foundation/Files.h"
#include "platform/image/ImageSource.h"
#include "platform/image/RenderContext.h"

extern char** environ;

namespace fs = std::filesystem;
using namespace sorvel;
using namespace sorvel::testing;

namespace {

const std::string kBinary = std::string(SORVEL_BINARY_DIR) + "/src/sorvel-camera";

std::string readText(const fs::path& file) {
    auto bytes = readFile(file);
    return bytes ? std::string(bytes->begin(), bytes->end()) : std::string();
}

std::size_t countLines(const std::string& text, const std::string& line) {
    std::size_t n = 0, at = 0;
    while ((at = text.find(line + "\n", at)) != std::string::npos) {
        if (at == 0 || text[at - 1] == '\n') ++n;
        at += line.size();
    }
    return n;
}

std::size_t countPrefixed(const std::string& text, const std::string& prefix) {
    std::size_t n = 0;
    for (std::size_t at = 0; (at = text.find(prefix, at)) != std::string::npos; at += prefix.size())
        if (at == 0 || text[at - 1] == '\n') ++n;
    return n;
}

// One run of the binary with its standard error in a file.
class CameraRun {
public:
    CameraRun(const std::vector<std::string>& args, const fs::path& errFile, const std::string& pauseAt = {}) : err_(errFile) {
        std::vector<std::string> env;
        for (char** e = environ; *e; ++e)
            if (std::string(*e).rfind("SORVEL_PAUSE_AT=", 0) != 0) env.emplace_back(*e);
        env.push_back("QT_QPA_PLATFORM=offscreen");
        if (!pauseAt.empty()) env.push_back("SORVEL_PAUSE_AT=" + pauseAt);
        std::vector<char*> argv{const_cast<char*>(kBinary.c_str())}, envp;
        for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        for (auto& e : env) envp.push_back(e.data());
        envp.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 2, errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (posix_spawn(&pid_, kBinary.c_str(), &actions, nullptr, argv.data(), envp.data()) != 0) pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
    }
    ~CameraRun() {
        if (pid_ > 0) kill();
    }
    std::string err() const { return readText(err_); }
    // Waits until standard error holds `line` `times` times; false if the process ended first.
    bool waitForLine(const std::string& line, std::size_t times = 1, double seconds = 240) {
        auto until = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
        while (std::chrono::steady_clock::now() < until) {
            if (countLines(err(), line) >= times) return true;
            if (exited()) return countLines(err(), line) >= times;
            std::this_thread::sleep_for(std::chrono::milliseconds(30));
        }
        return false;
    }
    void kill() {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
        pid_ = -1;
    }
    int wait() {
        int status = 0;
        ::waitpid(pid_, &status, 0);
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

private:
    bool exited() {
        int status;
        if (::waitpid(pid_, &status, WNOHANG) == pid_) {
            pid_ = -1;
            return true;
        }
        return pid_ <= 0;
    }
    fs::path err_;
    pid_t pid_ = -1;
};

struct Picture {
    int width = 0, height = 0;
    Dictionary exif;
    std::vector<std::uint8_t> thumbnail;  // 64 x 48 (or 48 x 64) RGBA
};

std::optional<Picture> pictureOf(const fs::path& file) {
    auto bytes = readFile(file);
    auto source = bytes ? image::ImageSource::make(*bytes) : std::nullopt;
    auto decoded = source ? source->image() : std::nullopt;
    if (!decoded) return std::nullopt;
    Picture p;
    p.width = static_cast<int>(decoded->extent().width);
    p.height = static_cast<int>(decoded->extent().height);
    if (const Dictionary* exif = source->properties().count("{Exif}") ? source->properties().at("{Exif}").dictionaryValue() : nullptr)
        p.exif = *exif;
    const double s = 64.0 / std::max(p.width, p.height);
    image::Image small = decoded->transformed(image::AffineTransform::scale(s, s));
    auto bitmap = image::RenderContext().render(small, small.extent().integral(), image::PixelFormat::RGBA8, image::ColorSpace::SRGB);
    if (!bitmap) return std::nullopt;
    for (int y = 0; y < bitmap->height(); ++y)
        p.thumbnail.insert(p.thumbnail.end(), bitmap->row(y), bitmap->row(y) + bitmap->width() * 4);
    return p;
}

// Two captures of the rig's still scene agree but for noise, the moment they were taken and
// where automatic exposure had got to (it is still moving when a slow machine presses early):
// the same size and capture data, exposures within 15 %, and the same picture once each is
// divided by its mean brightness.
void expectSamePicture(const fs::path& file, const fs::path& reference) {
    auto a = pictureOf(file), b = pictureOf(reference);
    ASSERT_TRUE(a) << file;
    ASSERT_TRUE(b) << reference;
    EXPECT_EQ(a->width, b->width) << file;
    EXPECT_EQ(a->height, b->height) << file;
    for (const char* key : {"PixelXDimension", "PixelYDimension", "FNumber", "LensModel", "Flash", "WhiteBalance"})
        EXPECT_EQ(a->exif[key], b->exif[key]) << key << " of " << file;
    const double t = b->exif["ExposureTime"].toReal();
    EXPECT_NEAR(a->exif["ExposureTime"].toReal(), t, t * 0.15) << file;
    ASSERT_EQ(a->thumbnail.size(), b->thumbnail.size());
    auto mean = [](const std::vector<std::uint8_t>& p) {
        double sum = 0;
        for (std::size_t i = 0; i < p.size(); i += 4) sum += p[i] + p[i + 1] + p[i + 2];
        return sum / double(p.size() / 4 * 3);
    };
    const double ma = mean(a->thumbnail), mb = mean(b->thumbnail);
    ASSERT_GT(ma, 0);
    ASSERT_GT(mb, 0);
    double sum = 0;
    std::size_t n = 0;
    for (std::size_t i = 0; i < a->thumbnail.size(); ++i) {
        if (i % 4 == 3) continue;
        sum += std::abs(a->thumbnail[i] / ma - b->thumbnail[i] / mb);
        ++n;
    }
    // A mirrored, turned or different picture differs by far more than 0.05 of its mean.
    EXPECT_LT(sum / double(n), 0.05) << file << " differs from " << reference;
}

int movieFrames(const fs::path& movie) {
    std::string cmd = "ffprobe -v error -count_frames -select_streams v:0 -show_entries stream=nb_read_frames -of csv=p=0 '" +
                      movie.string() + "' 2>/dev/null";
    FILE* p = popen(cmd.c_str(), "r");
    std::array<char, 64> buf{};
    std::string out;
    while (p && fgets(buf.data(), buf.size(), p)) out += buf.data();
    if (p) pclose(p);
    return std::atoi(out.c_str());
}

class KillTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::ifstream in(std::string(SORVEL_SOURCE_DIR) + "/resources/rig/default.rig");
        std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        for (std::size_t at; (at = text.find("sensor = 4032 x 3024")) != std::string::npos;)
            text.replace(at, 20, "sensor = 1008 x 756");
        std::ofstream(dir.path() / "small.rig") << text;
    }

    std::vector<std::string> args(const std::string& name, const std::vector<std::string>& shoot) const {
        std::vector<std::string> a{"--home", (dir.path() / name / "home").string(), "--library",
                                   (dir.path() / name / "lib").string(), "--rig", (dir.path() / "small.rig").string(), "shoot"};
        a.insert(a.end(), shoot.begin(), shoot.end());
        return a;
    }
    nlohmann::json assets(const std::string& name) const {
        std::string cmd = kBinary + " library list --json --library '" + (dir.path() / name / "lib").string() + "'";
        FILE* p = popen(cmd.c_str(), "r");
        std::string out;
        std::array<char, 4096> buf;
        while (p && fgets(buf.data(), buf.size(), p)) out += buf.data();
        if (p) pclose(p);
        return nlohmann::json::parse(out, nullptr, false);
    }
    fs::path file(const std::string& name, const std::string& fileName) const { return dir.path() / name / "lib" / fileName; }

    // The killed run's restart: no press, only what the journal holds. Then the checks every
    // scenario shares: the journal and the camera's deferred photos are empty, the library
    // passes its check and holds `expected` assets.
    nlohmann::json restartAndCheck(const std::string& name, const std::vector<std::string>& settings, std::size_t expected) {
        std::vector<std::string> shoot = settings;
        shoot.insert(shoot.end(), {"--count", "0"});
        CameraRun restart(args(name, shoot), dir.path() / name / "restart.err");
        EXPECT_EQ(restart.wait(), 0) << restart.err();
        restartConsole = restart.err();
        for (const char* folder : {"journal", "deferred-photos"}) {
            std::error_code ec;
            for (fs::directory_iterator it(dir.path() / name / "home" / folder, ec), end; !ec && it != end; it.increment(ec))
                ADD_FAILURE() << "left behind: " << it->path();
        }
        std::string check = kBinary + " library check --library '" + (dir.path() / name / "lib").string() + "' >/dev/null";
        EXPECT_EQ(std::system(check.c_str()), 0) << "library check failed for " << name;
        auto list = assets(name);
        EXPECT_EQ(list.size(), expected) << list.dump(1);
        return list;
    }

    // One press with `settings` in a run that is not killed: what the killed runs must match.
    nlohmann::json referenceRun(const std::vector<std::string>& settings) {
        std::vector<std::string> once = settings;
        once.insert(once.end(), {"--count", "1"});
        CameraRun uninterrupted(args("reference", once), dir.path() / "reference.err");
        EXPECT_EQ(uninterrupted.wait(), 0) << uninterrupted.err();
        return assets("reference");
    }

    TempFolder dir{"sorvel-kill"};
    std::string restartConsole;
};

const std::vector<std::string> kStill{"--set", "setting_2=false"};

// Killed with four stills acknowledged: the first stopped at the start of its processing (its
// bytes in the journal), the others still with the camera as deferred photos. Then killed in
// the encoder, and in the library commit (files renamed, index not yet written).
TEST_F(KillTest, StillsKilledAfterTheBurstInProcessingEncodingAndCommitAreAllSavedOnce) {
    auto ref = referenceRun(kStill);
    ASSERT_EQ(ref.size(), 1u);
    fs::path referenceFile = file("reference", ref[0]["resources"][0]["fileName"]);

    struct Scenario {
        const char* name;
        const char* pauseAt;
        int presses;
    };
    for (Scenario s : {Scenario{"burst", "processing", 4}, Scenario{"encoding", "encoding", 2},
                       Scenario{"commit", "library-commit", 2}}) {
        SCOPED_TRACE(s.name);
        std::vector<std::string> shoot = kStill;
        shoot.insert(shoot.end(), {"--count", std::to_string(s.presses), "--interval", "0.25"});
        {
            CameraRun killed(args(s.name, shoot), dir.path() / (std::string(s.name) + ".err"), s.pauseAt);
            ASSERT_TRUE(killed.waitForLine("捕捉静态照片。", s.presses)) << killed.err();
            ASSERT_TRUE(killed.waitForLine(std::string("paused at ") + s.pauseAt)) << killed.err();
            killed.kill();
            EXPECT_EQ(countLines(killed.err(), "静态照片已保存到相册（HEIC格式）。"), 0u) << killed.err();
        }
        auto list = restartAndCheck(s.name, kStill, s.presses);
        // One line for each press saved after the restart.
        EXPECT_EQ(countPrefixed(restartConsole, "已保存上次未保存完的照片：IMG_"), std::size_t(s.presses)) << restartConsole;
        for (const auto& asset : list) {
            EXPECT_EQ(asset["kind"], "photo");
            expectSamePicture(file(s.name, asset["resources"][0]["fileName"]), referenceFile);
        }
    }
}

// Killed while a Live Photo's movie was still being recorded (its still in the journal): the
// restart makes the movie from the camera's deferred record and saves the pair.
TEST_F(KillTest, ALivePhotoKilledDuringItsMovieIsSavedWithItsMovie) {
    const std::vector<std::string> live{"--set", "setting_2=true"};
    std::vector<std::string> once = live;
    once.insert(once.end(), {"--count", "1"});
    auto ref = referenceRun(live);
    ASSERT_EQ(ref.size(), 1u);
    ASSERT_EQ(ref[0]["kind"], "live photo");
    {
        CameraRun killed(args("live", once), dir.path() / "live.err", "live-still-journalled");
        ASSERT_TRUE(killed.waitForLine("paused at live-still-journalled")) << killed.err();
        killed.kill();
    }
    auto list = restartAndCheck("live", live, 1);
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0]["kind"], "live photo");
    ASSERT_EQ(list[0]["resources"].size(), 2u);
    expectSamePicture(file("live", list[0]["resources"][0]["fileName"]), file("reference", ref[0]["resources"][0]["fileName"]));
    // 1.5 s after the press, and before it as much as the camera had run: a few frames either way
    // with the moment of the press.
    const int frames = movieFrames(file("live", list[0]["resources"][1]["fileName"]));
    EXPECT_NEAR(frames, movieFrames(file("reference", ref[0]["resources"][1]["fileName"])), 6);
    EXPECT_GE(frames, 45);
}

// Killed when the deep development began: the restart develops the DNG and saves both files.
TEST_F(KillTest, ADeepPictureKilledInItsDevelopmentIsSavedAsDngAndHeic) {
    const std::vector<std::string> deep{"--set", "setting_0=true", "--set", "setting_4=false", "--set", "save_format=RAW+HEIC"};
    std::vector<std::string> once = deep;
    once.insert(once.end(), {"--count", "1"});
    auto ref = referenceRun(deep);
    ASSERT_EQ(ref.size(), 2u);
    {
        CameraRun killed(args("deep", once), dir.path() / "deep.err", "deep-develop");
        ASSERT_TRUE(killed.waitForLine("paused at deep-develop")) << killed.err();
        killed.kill();
    }
    auto list = restartAndCheck("deep", deep, 2);
    auto heicOf = [](const nlohmann::json& l) {
        for (const auto& a : l)
            if (a["kind"] == "photo") return a["resources"][0]["fileName"].get<std::string>();
        return std::string();
    };
    int raws = 0;
    for (const auto& a : list) raws += a["kind"] == "raw photo";
    EXPECT_EQ(raws, 1);
    expectSamePicture(file("deep", heicOf(list)), file("reference", heicOf(ref)));
}

}  // namespace
