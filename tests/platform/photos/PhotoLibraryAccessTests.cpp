#include <gtest/gtest.h>

#include <sys/resource.h>

#include <csignal>

#include "LibraryTestSupport.h"
#include "platform/foundation/Console.h"

namespace fs = std::filesystem;
using namespace sorvel;
using namespace sorvel::testing;

namespace {

struct AnswerRecord {
    std::mutex mutex;
    std::vector<AuthorizationStatus> answers;
    bool onMainThread = false;
    PhotoLibrary::AuthorizationHandler handler() {
        return [this](AuthorizationStatus s) {
            std::lock_guard lock(mutex);
            answers.push_back(s);
            onMainThread = onMainThread || DispatchQueue::isMainThread();
        };
    }
};

}  // namespace

// Catches a default other than authorised, a "limited" answer turned into authorised for the
// add-only request (the app must refuse its deep-mode saves then), and answers on the main queue.
TEST(PhotoLibrary, AuthorizationAnswersComeFromThePermissionsFileOffTheMainQueue) {
    LibraryFixture f;
    EXPECT_EQ(PhotoLibrary::authorizationStatus(), AuthorizationStatus::Authorized);
    EXPECT_EQ(int(PhotoLibrary::authorizationStatus()), 3);

    f.setPermission("photos", "limited");
    AnswerRecord record;
    PhotoLibrary::requestAuthorization(record.handler());
    PhotoLibrary::requestAuthorization(PhotoLibrary::AccessLevel::AddOnly, record.handler());
    ASSERT_TRUE(f.loop.main.runUntilIdle());
    ASSERT_EQ(record.answers.size(), 2u);
    EXPECT_EQ(record.answers[0], AuthorizationStatus::Limited);
    EXPECT_EQ(record.answers[1], AuthorizationStatus::Limited);
    EXPECT_FALSE(record.onMainThread);
    EXPECT_EQ(PhotoLibrary::authorizationStatus(PhotoLibrary::AccessLevel::AddOnly), AuthorizationStatus::Limited);

    f.setPermission("photos", "restricted");
    EXPECT_EQ(PhotoLibrary::authorizationStatus(), AuthorizationStatus::Restricted);
    f.setPermission("photos", "notDetermined");
    EXPECT_EQ(PhotoLibrary::authorizationStatus(), AuthorizationStatus::NotDetermined);
}

// Catches a library that writes although the person refused access.
TEST(PhotoLibrary, RefusedAccessFailsTheChangeWithoutRunningIt) {
    LibraryFixture f;
    f.setPermission("photos", "denied");
    auto library = PhotoLibrary::open(f.libraryFolder);
    AnswerRecord record;
    PhotoLibrary::requestAuthorization(record.handler());
    bool ran = false;
    CompletionRecord done;
    library->performChanges(
        [&] {
            ran = true;
            AssetCreationRequest::creationRequestForAsset().addResource(AssetResourceType::Photo, fakeHeic(100));
        },
        done.handler());
    ASSERT_TRUE(f.loop.main.runUntilIdle());
    ASSERT_EQ(record.answers.size(), 1u);
    EXPECT_EQ(record.answers[0], AuthorizationStatus::Denied);
    EXPECT_FALSE(ran);
    EXPECT_FALSE(done.success);
    ASSERT_TRUE(done.error);
    EXPECT_NE(done.error->description.find("denied"), std::string::npos) << done.error->description;
    EXPECT_TRUE(library->assets().empty());
    EXPECT_TRUE(visibleFiles(f.libraryFolder).empty());
}

// Catches a library that crashes, or half-writes, when its folder cannot exist (a regular file
// stands where a parent folder should be; this stops root too), and that deletes the movie it
// was asked to move.
TEST(PhotoLibrary, UnusableFolderFailsEverySaveAndKeepsTheMovie) {
    LibraryFixture f;
    writeBytes(f.temp.path() / "not-a-folder", randomBytes(10, 1));
    fs::path folder = f.temp.path() / "not-a-folder" / "Library";
    auto library = PhotoLibrary::open(folder);
    ASSERT_TRUE(library->unavailableReason());

    fs::path movie = f.temp.path() / "live.mov";
    Bytes movieBytes = randomBytes(2000, 2);
    writeBytes(movie, movieBytes);
    CompletionRecord done;
    library->performChanges(
        [&] {
            auto& r = AssetCreationRequest::creationRequestForAsset();
            r.addResource(AssetResourceType::Photo, fakeHeic(1000));
            AssetResourceCreationOptions move;
            move.shouldMoveFile = true;
            r.addResource(AssetResourceType::PairedVideo, movie, move);
        },
        done.handler());
    ASSERT_TRUE(f.loop.main.runUntilIdle());
    EXPECT_EQ(done.calls, 1);
    EXPECT_FALSE(done.success);
    ASSERT_TRUE(done.error);
    EXPECT_NE(done.error->description.find("not-a-folder"), std::string::npos) << done.error->description;
    EXPECT_EQ(readBytes(movie), movieBytes);
    EXPECT_TRUE(library->assets().empty());
}

// Catches a disk-full failure that leaves half an asset (the still without its movie, a partial
// file, a temporary file) or consumes the source movie. The file size limit makes writes fail
// with EFBIG as a full disk would, and it binds root as well.
TEST(PhotoLibrary, FullDiskInTheMiddleOfALivePhotoLeavesNothingAndKeepsTheMovie) {
    LibraryFixture f;
    auto library = PhotoLibrary::open(f.libraryFolder);
    fs::path movie = f.temp.path() / "live.mov";
    Bytes movieBytes = randomBytes(4000, 3);
    writeBytes(movie, movieBytes);
    auto saveLivePhoto = [&](std::size_t stillSize) {
        return library->performChangesAndWait([&] {
            auto& r = AssetCreationRequest::creationRequestForAsset();
            r.addResource(AssetResourceType::Photo, fakeHeic(stillSize, 4));
            AssetResourceCreationOptions move;
            move.shouldMoveFile = true;
            r.addResource(AssetResourceType::PairedVideo, movie, move);
            r.setLocation(Location{1, 2, 3, Date{4}});
        });
    };

    auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit old{};
    ::getrlimit(RLIMIT_FSIZE, &old);
    rlimit small = old;
    small.rlim_cur = 256 * 1024;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    auto error = saveLivePhoto(1024 * 1024);
    ::setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);

    ASSERT_TRUE(error);
    EXPECT_NE(error->description.find("cannot write"), std::string::npos) << error->description;
    EXPECT_TRUE(library->assets().empty());
    EXPECT_TRUE(visibleFiles(f.libraryFolder).empty());
    EXPECT_EQ(readBytes(movie), movieBytes);

    // The same save succeeds once there is room, under the first number.
    ASSERT_FALSE(saveLivePhoto(1024 * 1024));
    auto assets = library->assets();
    ASSERT_EQ(assets.size(), 1u);
    EXPECT_EQ(assets[0].resources[0].fileName, "IMG_0001.HEIC");
    EXPECT_FALSE(fs::exists(movie));
}

// Catches a Live Photo saved without its movie, or a still left behind when the movie is missing.
TEST(PhotoLibrary, MissingMovieFailsTheWholeLivePhoto) {
    LibraryFixture f;
    auto library = PhotoLibrary::open(f.libraryFolder);
    fs::path movie = f.temp.path() / "gone.mov";
    auto error = library->performChangesAndWait([&] {
        auto& r = AssetCreationRequest::creationRequestForAsset();
        r.addResource(AssetResourceType::Photo, fakeHeic(1000));
        AssetResourceCreationOptions move;
        move.shouldMoveFile = true;
        r.addResource(AssetResourceType::PairedVideo, movie, move);
    });
    ASSERT_TRUE(error);
    EXPECT_NE(error->description.find("gone.mov"), std::string::npos) << error->description;
    EXPECT_TRUE(library->assets().empty());
    EXPECT_TRUE(visibleFiles(f.libraryFolder).empty());
}
