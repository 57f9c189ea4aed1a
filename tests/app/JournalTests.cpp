// The capture journal: its entries and files, and through the real controller the presses it
// brings back at start-up, the damaged entries it keeps aside, and a full disk at journaling
// and at saving time.

#include <sys/mount.h>

#include <fstream>

#include "AppHarness.h"
#include "app/journal/CaptureJournal.h"
#include "app/journal/PressProcessing.h"
#include "platform/capture/DeferredPhotoStore.h"
#include "platform/capture/virtual/VirtualRig.h"
#include "platform/foundation/Files.h"
#include "platform/image/ImageSource.h"
#include "platform/photos/PhotoLibrary.h"
#include "platform/ui/Alert.h"

namespace fs = std::filesystem;
using namespace sorvel;
using namespace sorvel::testing;

namespace {

JournalEntry sampleEntry() {
    JournalEntry e;
    e.identifier = "0F1E2D3C-4B5A-6978-8796-A5B4C3D2E1F0";
    e.kind = CaptureKind::LivePhoto;
    e.pressDate = Date{1796579052.25};
    e.settings = {{"normal_resolution_scale", 0.25}, {"setting_12", true}, {"watermarkContent", "海边"}};
    e.filterParameters = Dictionary{{"3", 1.5}, {"7", -20.0}};
    e.orientation = 4;
    e.location = Location{-33.86, 151.21, 58, Date{1796579050}};
    e.frontCamera = true;
    e.cameraID = "sorvel.rig.front";
    e.screenScale = 3;
    e.outputs = {{assetSlot::kLivePhoto, "A"}, {assetSlot::kFiltered, "B"}};
    e.required = {{assetSlot::kLivePhoto, SlotState::Committed}, {assetSlot::kFiltered, SlotState::Pending}};
    e.hasPhoto = true;
    e.photoSize = 1234;
    e.photoCrc = 0xdeadbeef;
    e.capturedDate = Date{1796579053};
    e.movieFailed = true;
    return e;
}

// Catches a field that does not survive the file (the press would then be processed with
// something else after a restart), and a torn or foreign file read as an entry.
TEST(CaptureJournal, EntriesKeepEveryFieldAndDamagedOnesAreRefused) {
    JournalEntry e = sampleEntry();
    Bytes bytes = encodeJournalEntry(e);
    auto back = decodeJournalEntry(bytes);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->identifier, e.identifier);
    EXPECT_EQ(back->kind, e.kind);
    EXPECT_EQ(back->pressDate, e.pressDate);
    EXPECT_EQ(Value(back->settings), Value(e.settings));
    ASSERT_TRUE(back->filterParameters);
    EXPECT_EQ(Value(*back->filterParameters), Value(*e.filterParameters));
    EXPECT_EQ(back->orientation, 4);
    ASSERT_TRUE(back->location);
    EXPECT_EQ(*back->location, *e.location);
    EXPECT_TRUE(back->frontCamera);
    EXPECT_EQ(back->cameraID, e.cameraID);
    EXPECT_EQ(back->screenScale, 3);
    EXPECT_EQ(back->outputs, e.outputs);
    EXPECT_EQ(back->required, e.required);
    EXPECT_EQ(back->photoSize, 1234u);
    EXPECT_EQ(back->photoCrc, 0xdeadbeefu);
    EXPECT_EQ(back->capturedDate, e.capturedDate);
    EXPECT_TRUE(back->movieFailed);
    EXPECT_FALSE(back->settled());

    for (std::size_t cut : {std::size_t(0), std::size_t(1), bytes.size() / 2, bytes.size() - 1})
        EXPECT_FALSE(decodeJournalEntry(Bytes(bytes.begin(), bytes.begin() + std::ptrdiff_t(cut)))) << cut;
    EXPECT_FALSE(decodeJournalEntry(Value(Dictionary{{"identifier", "x"}}).encode()));
    JournalEntry unknownSlot = e;
    unknownSlot.required["nothing"] = SlotState::Pending;
    EXPECT_FALSE(decodeJournalEntry(encodeJournalEntry(unknownSlot)));
}

// Catches an entry removed before all its assets are in the library, one kept after they are,
// a retry that is not found at the next start, and a damaged photo taken for a good one.
TEST(CaptureJournal, AnEntryLeavesOnlyWhenEverySlotIsSettledAndKeepsWhatMustBeRetried) {
    TempFolder dir("sorvel-journal");
    auto journal = CaptureJournal::open(dir.path() / "journal");
    JournalEntry e = sampleEntry();
    e.required = {{assetSlot::kLivePhoto, SlotState::Pending}, {assetSlot::kFiltered, SlotState::Pending}};
    e.hasPhoto = false;
    ASSERT_FALSE(journal->begin(e));
    Bytes photo(5000);
    for (std::size_t i = 0; i < photo.size(); ++i) photo[i] = std::uint8_t(i * 7);
    ASSERT_FALSE(journal->attachPhoto(e, photo));
    fs::path movie = dir.path() / "movie.mov";
    std::ofstream(movie) << "movie";
    ASSERT_FALSE(journal->attachMovie(e, movie));
    EXPECT_EQ(movie, journal->movieFile(e.identifier));
    EXPECT_FALSE(fs::exists(dir.path() / "movie.mov"));
    EXPECT_EQ(journal->inFlight(), 1);

    EXPECT_FALSE(journal->settle(e, assetSlot::kLivePhoto, SlotState::Committed));
    EXPECT_TRUE(fs::exists(dir.path() / "journal" / (e.identifier + ".photo")));
    // Another process (the next start) sees the entry with its slot already committed.
    auto later = CaptureJournal::open(dir.path() / "journal");
    ASSERT_EQ(later->unfinishedIdentifiers(), std::vector<std::string>{e.identifier});
    std::optional<Bytes> loadedPhoto;
    auto loaded = later->load(e.identifier, loadedPhoto);
    ASSERT_TRUE(std::holds_alternative<JournalEntry>(loaded));
    EXPECT_EQ(std::get<JournalEntry>(loaded).required.at(assetSlot::kLivePhoto), SlotState::Committed);
    EXPECT_EQ(loadedPhoto, photo);
    EXPECT_TRUE(std::get<JournalEntry>(loaded).hasMovie);

    EXPECT_FALSE(journal->settle(e, assetSlot::kFiltered, SlotState::Retry));
    EXPECT_EQ(journal->inFlight(), 0);
    EXPECT_TRUE(e.needsRetry());
    EXPECT_EQ(later->unfinishedIdentifiers().size(), 1u);
    EXPECT_TRUE(journal->settle(e, assetSlot::kFiltered, SlotState::Committed));
    for (const char* ext : {".entry", ".photo", ".mov"})
        EXPECT_FALSE(fs::exists(dir.path() / "journal" / (e.identifier + ext))) << ext;

    // A flipped byte in the photo: refused, and kept aside with its reason.
    JournalEntry d = sampleEntry();
    d.identifier = "11111111-2222-3333-4444-555555555555";
    d.required = {{assetSlot::kLivePhoto, SlotState::Pending}};
    ASSERT_FALSE(journal->begin(d));
    ASSERT_FALSE(journal->attachPhoto(d, photo));
    Bytes flipped = photo;
    flipped[100] ^= 1;
    ASSERT_TRUE(writeFileAtomically(dir.path() / "journal" / (d.identifier + ".photo"), flipped).ok);
    auto damaged = later->load(d.identifier, loadedPhoto);
    ASSERT_TRUE(std::holds_alternative<std::string>(damaged));
    EXPECT_NE(std::get<std::string>(damaged).find("damaged"), std::string::npos);
    fs::path aside = later->keepAside(d.identifier, std::get<std::string>(damaged));
    EXPECT_TRUE(fs::exists(aside / (d.identifier + ".photo")));
    EXPECT_TRUE(fs::exists(aside / (d.identifier + ".entry")));
    EXPECT_NE(readFile(aside / (d.identifier + ".reason")), std::nullopt);
    EXPECT_TRUE(later->unfinishedIdentifiers().empty());
}

// A small tmpfs, mounted for the test; tests skip where mounting is not allowed.
class SmallDisk {
public:
    SmallDisk(const fs::path& where, const char* size) : where_(where) {
        fs::create_directories(where);
        std::string options = std::string("size=") + size;
        mounted_ = ::mount("tmpfs", where.c_str(), "tmpfs", 0, options.c_str()) == 0;
    }
    ~SmallDisk() {
        if (mounted_) ::umount2(where_.c_str(), MNT_DETACH);
    }
    bool mounted() const { return mounted_; }
    // Fills what is left, so that the next write of any size fails with ENOSPC.
    void fill() {
        std::ofstream out(where_ / "filler", std::ios::binary);
        std::vector<char> block(4096, 'x');
        while (out.write(block.data(), block.size())) {
        }
    }

private:
    fs::path where_;
    bool mounted_ = false;
};

class JournalRecovery : public AppHarness {
protected:
    void SetUp() override {
        AppHarness::SetUp();
        env->settings().registerSeeds({{"quality_setting_2", 0.5}, {"normal_resolution_scale", 0.25}, {"setting_2", false}});
    }
    std::vector<PhotoAsset> assets() const { return PhotoLibrary::shared().assets(); }
    fs::path journalFolder() const { return env->home() / "journal"; }
    std::vector<std::string> entries() const { return CaptureJournal::shared()->unfinishedIdentifiers(); }
    // Restarts the app's screen as a new process would: a new controller on the same home.
    ViewController& restart() {
        controller->captureSession->stopRunning();
        runUntilIdle();
        controller.reset();
        CaptureJournal::setShared(CaptureJournal::open(journalFolder()));
        console->clear();
        ViewController& vc = loadController();
        runUntilIdle();
        return vc;
    }
    // Presses while the library cannot be written: the press stays in the journal for a retry.
    void pressWithoutLibrary(int presses) {
        fs::path blocked = folder->path() / "blocked";
        std::ofstream(blocked) << "a file where the library folder should be";
        PhotoLibrary::setShared(PhotoLibrary::open(blocked / "library"));
        for (int i = 0; i < presses; ++i) {
            controller->按下拍照按钮();
            ASSERT_TRUE(pumpUntil([&] { return outcomes().size() >= std::size_t(i + 1); }, 300));
        }
        runUntilIdle();
        PhotoLibrary::setShared(PhotoLibrary::open(env->library()));
    }
};

// Catches a press that is lost when its save fails, a retried press processed with the settings
// of the moment of the retry instead of those of the press, a recovery that prints the whole
// processing or nothing, and a retried asset saved twice.
TEST_F(JournalRecovery, APressWhoseSaveFailedIsSavedAtTheNextStartWithTheSettingsOfThePress) {
    startCamera();
    pressWithoutLibrary(1);
    ASSERT_EQ(outcomes().size(), 1u);
    EXPECT_FALSE(outcomes()[0].success);
    EXPECT_TRUE(console->contains("照片仍在拍摄日志中（" + journalFolder().string() + "），下次启动时会再次保存。"));
    ASSERT_EQ(entries().size(), 1u);
    EXPECT_TRUE(assets().empty());

    // Changed after the press: the retry must not use it.
    env->settings().setFloat(0.5f, "normal_resolution_scale");
    restart();
    ASSERT_EQ(assets().size(), 1u);
    EXPECT_TRUE(entries().empty());
    auto lines = console->lines();
    std::vector<std::string> journalLines;
    for (const auto& l : lines)
        if (l.find("上次") != std::string::npos) journalLines.push_back(l);
    ASSERT_EQ(journalLines.size(), 1u);
    EXPECT_EQ(journalLines[0], "已保存上次未保存完的照片：" + assets()[0].resources[0].fileName);
    EXPECT_FALSE(console->contains("原始图片尺寸: (4032.0, 3024.0)")) << "the recovery printed the processing";

    auto bytes = PhotoLibrary::shared().resourceData(assets()[0].localIdentifier, 0);
    ASSERT_TRUE(bytes);
    auto source = image::ImageSource::make(*bytes);
    ASSERT_TRUE(source);
    // 4032 x 3024 at the press's 0.25, turned upright.
    EXPECT_EQ(source->width(), 756);
    EXPECT_EQ(source->height(), 1008);

    // Another start finds nothing to do and saves nothing again.
    restart();
    EXPECT_EQ(assets().size(), 1u);
    EXPECT_TRUE(consoleLinesStartingWith("已保存上次").empty());
}

// Catches an entry retried at every start for ever when its save can never succeed (or when it
// ends the process each time): after three starts it is kept aside with a message.
TEST_F(JournalRecovery, AnEntryThatThreeStartsCannotSaveIsKeptAside) {
    startCamera();
    pressWithoutLibrary(1);
    ASSERT_EQ(entries().size(), 1u);
    fs::path blocked = folder->path() / "blocked";
    for (int start = 1; start <= 3; ++start) {
        PhotoLibrary::setShared(PhotoLibrary::open(blocked / "library"));
        restart();
        EXPECT_TRUE(assets().empty());
        EXPECT_EQ(entries().size(), 1u) << start;
        EXPECT_TRUE(console->contains("上次未保存完的照片仍无法存入相册，已留在拍摄日志中。")) << start;
    }
    PhotoLibrary::setShared(PhotoLibrary::open(env->library()));
    restart();
    EXPECT_TRUE(entries().empty());
    fs::path aside = journalFolder() / "damaged";
    EXPECT_TRUE(console->contains("无法恢复一张上次未保存完的照片（three starts could not save it），已将它移到 " + aside.string() + "。"));
    EXPECT_EQ(std::distance(fs::directory_iterator(aside), fs::directory_iterator()), 3);  // entry, photo, reason
}

// Catches a damaged entry that is deleted, or that stops the others from being saved.
TEST_F(JournalRecovery, ADamagedEntryIsKeptAsideWithAMessageAndTheOthersAreSaved) {
    startCamera();
    pressWithoutLibrary(2);
    auto pending = entries();
    ASSERT_EQ(pending.size(), 2u);
    fs::path photo = journalFolder() / (pending[0] + ".photo");
    auto bytes = readFile(photo);
    ASSERT_TRUE(bytes);
    (*bytes)[bytes->size() / 3] ^= 0x10;
    ASSERT_TRUE(writeFileAtomically(photo, *bytes).ok);

    restart();
    EXPECT_EQ(assets().size(), 1u);
    EXPECT_TRUE(entries().empty());
    fs::path aside = journalFolder() / "damaged";
    EXPECT_TRUE(fs::exists(aside / (pending[0] + ".photo")));
    EXPECT_TRUE(fs::exists(aside / (pending[0] + ".reason")));
    EXPECT_TRUE(console->contains("无法恢复一张上次未保存完的照片（the captured photo is damaged (its size or checksum differs)），已将它移到 " +
                                  aside.string() + "。"))
        << ::testing::PrintToString(console->lines());
    EXPECT_EQ(consoleLinesStartingWith("已保存上次未保存完的照片：").size(), 1u);
}

// Catches a full disk that crashes the press, loses the press silently, or harms what was
// saved before; and at saving time, a press dropped instead of kept for the next start.
TEST_F(JournalRecovery, AFullDiskAtJournalingAndAtSavingTimeSaysSoAndLosesNothingSaved) {
    SmallDisk disk(folder->path() / "small", "256k");
    if (!disk.mounted()) GTEST_SKIP() << "mounting a tmpfs needs root";
    ViewController& vc = startCamera();
    vc.按下拍照按钮();
    ASSERT_TRUE(pumpUntil([&] { return !outcomes().empty(); }, 300));
    runUntilIdle();
    ASSERT_EQ(assets().size(), 1u);
    const PhotoAsset first = assets()[0];

    // The journal on the full disk: the press is still taken and saved, with a message and an
    // alert, and the earlier asset is untouched.
    disk.fill();
    CaptureJournal::setShared(CaptureJournal::open(folder->path() / "small" / "journal"));
    vc.按下拍照按钮();
    ASSERT_TRUE(pumpUntil([&] { return assets().size() == 2; }, 300));
    runUntilIdle();
    auto journalLines = consoleLinesStartingWith("无法写入拍摄日志（");
    ASSERT_EQ(journalLines.size(), 1u);
    EXPECT_NE(journalLines[0].find("No space left on device"), std::string::npos) << journalLines[0];
    EXPECT_EQ(Alert::presented().size(), 1u);
    EXPECT_TRUE(PhotoLibrary::shared().resourceData(first.localIdentifier, 0));
    Alert::dismissAll();

    // The library on the full disk: the save fails with its line, the press waits in the
    // journal (on the roomy disk again), and the next start saves it.
    CaptureJournal::setShared(CaptureJournal::open(journalFolder()));
    fs::remove(folder->path() / "small" / "filler");
    PhotoLibrary::setShared(PhotoLibrary::open(folder->path() / "small" / "library"));
    disk.fill();
    vc.按下拍照按钮();
    ASSERT_TRUE(pumpUntil([&] { return outcomes().size() >= 3; }, 300));
    runUntilIdle();
    EXPECT_FALSE(outcomes().back().success);
    EXPECT_EQ(consoleLinesStartingWith("保存静态照片时出错: ").size(), 1u);
    EXPECT_EQ(entries().size(), 1u);
    PhotoLibrary::setShared(PhotoLibrary::open(env->library()));
    restart();
    EXPECT_EQ(assets().size(), 3u);
    EXPECT_TRUE(entries().empty());
    EXPECT_TRUE(PhotoLibrary::shared().resourceData(first.localIdentifier, 0));
}

}  // namespace
