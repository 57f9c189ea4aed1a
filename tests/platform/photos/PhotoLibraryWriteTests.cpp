#include <gtest/gtest.h>

#include <cstdio>

#include "LibraryTestSupport.h"
#include <sys/stat.h>

#include "platform/foundation/Console.h"
#include "platform/foundation/Uuid.h"
#include "platform/photos/Sha256.h"

namespace fs = std::filesystem;
using namespace sorvel;
using namespace sorvel::testing;

namespace {

enum class Place { None, BeforeResources, AfterResources };

struct WriteKind {
    const char* name;
    bool raw;           // DNG bytes instead of HEIC
    bool pairedMovie;   // Live Photo
    Place location;
};

// The app's library writes: still, filter-test and filtered Live Photo still are one HEIC photo
// resource; the Live Photo is a photo then a moved movie with the location after; deep RAW has
// the location before its DNG resource, deep HEIC after.
const WriteKind kKinds[] = {
    {"still save", false, false, Place::None},
    {"filter-test save", false, false, Place::None},
    {"filtered Live Photo still", false, false, Place::None},
    {"Live Photo save", false, true, Place::AfterResources},
    {"deep RAW save", true, false, Place::BeforeResources},
    {"deep HEIC save", false, false, Place::AfterResources},
};

std::string sha256sumOf(const fs::path& file) {
    std::string cmd = "sha256sum '" + file.string() + "'";
    FILE* p = ::popen(cmd.c_str(), "r");
    if (!p) return {};
    char buf[65] = {};
    std::size_t n = std::fread(buf, 1, 64, p);
    ::pclose(p);
    return std::string(buf, n);
}

}  // namespace

// Catches a write kind whose resources land out of order, under the wrong type or extension,
// without their bytes, with a location that was set before the resources dropped, or a Live
// Photo whose movie is copied instead of moved or not paired with its still.
TEST(PhotoLibrary, EveryWriteKindSavesItsResourcesInOrderWithItsLocation) {
    LibraryFixture f;
    auto library = PhotoLibrary::open(f.libraryFolder);
    const Location where{-33.86, 151.21, 58, Date{1.7e9 - 3}};
    int number = 0;
    for (const WriteKind& kind : kKinds) {
        SCOPED_TRACE(kind.name);
        ++number;
        f.loop.clock.setNow(1.7e9 + number * 10);
        Bytes picture = kind.raw ? fakeDng(5000 + number, number) : fakeHeic(4000 + number, number);
        fs::path movie = f.temp.path() / ("capture-" + std::to_string(number) + ".mov");
        Bytes movieBytes = randomBytes(7000, 100 + number);
        if (kind.pairedMovie) writeBytes(movie, movieBytes);

        CompletionRecord done;
        library->performChanges(
            [&] {
                auto& request = AssetCreationRequest::creationRequestForAsset();
                if (kind.location == Place::BeforeResources) request.setLocation(where);
                request.addResource(AssetResourceType::Photo, picture);
                if (kind.pairedMovie) {
                    AssetResourceCreationOptions options;
                    options.shouldMoveFile = true;
                    request.addResource(AssetResourceType::PairedVideo, movie, options);
                }
                if (kind.location == Place::AfterResources) request.setLocation(where);
            },
            done.handler());
        ASSERT_TRUE(f.loop.main.runUntilIdle());

        ASSERT_EQ(done.calls, 1);
        EXPECT_TRUE(done.success);
        EXPECT_FALSE(done.error.has_value());
        EXPECT_FALSE(done.onMainThread);

        auto assets = library->assets();
        ASSERT_EQ(assets.size(), std::size_t(number));
        const PhotoAsset& a = assets.front();  // newest first
        EXPECT_EQ(a.creationDate, Date{1.7e9 + number * 10});
        EXPECT_EQ(a.mediaType, AssetMediaType::Image);
        char stem[16];
        std::snprintf(stem, sizeof stem, "IMG_%04d", number);
        ASSERT_EQ(a.resources.size(), kind.pairedMovie ? 2u : 1u);
        EXPECT_EQ(a.resources[0].type, AssetResourceType::Photo);
        EXPECT_EQ(a.resources[0].fileName, std::string(stem) + (kind.raw ? ".DNG" : ".HEIC"));
        EXPECT_EQ(a.resources[0].byteSize, picture.size());
        EXPECT_EQ(readBytes(f.libraryFolder / a.resources[0].fileName), picture);
        // Checked against the system's own tool, so a wrong hash implementation cannot hide.
        EXPECT_EQ(a.resources[0].sha256, sha256sumOf(f.libraryFolder / a.resources[0].fileName));
        EXPECT_EQ(bool(a.mediaSubtypes & AssetMediaSubtype::PhotoRaw), kind.raw);
        EXPECT_EQ(bool(a.mediaSubtypes & AssetMediaSubtype::PhotoLive), kind.pairedMovie);
        if (kind.pairedMovie) {
            EXPECT_EQ(a.resources[1].type, AssetResourceType::PairedVideo);
            EXPECT_EQ(a.resources[1].fileName, std::string(stem) + ".MOV");
            EXPECT_EQ(readBytes(f.libraryFolder / a.resources[1].fileName), movieBytes);
            EXPECT_FALSE(fs::exists(movie)) << "the moved movie is still at its temporary place";
            ASSERT_TRUE(a.pairingIdentifier.has_value());
            EXPECT_TRUE(isUuid(*a.pairingIdentifier));
        } else {
            EXPECT_FALSE(a.pairingIdentifier.has_value());
        }
        if (kind.location == Place::None) {
            EXPECT_FALSE(a.location.has_value());
        } else {
            ASSERT_TRUE(a.location.has_value());
            EXPECT_EQ(*a.location, where);
        }
        EXPECT_TRUE(isUuid(a.localIdentifier));
        EXPECT_EQ(library->resourceData(a.localIdentifier, 0), picture);
    }
    // Nothing but the asset files: no temporary file or journal stays behind.
    EXPECT_EQ(visibleFiles(f.libraryFolder).size(), std::size(kKinds) + 1);
}

// Catches a Live Photo that needs a location to keep its movie, and a copy (not a move) that
// removes the caller's file anyway.
TEST(PhotoLibrary, LivePhotoWithoutLocationAndCopiedMovieKeepsBothResources) {
    LibraryFixture f;
    auto library = PhotoLibrary::open(f.libraryFolder);
    fs::path movie = f.temp.path() / "clip.mov";
    writeBytes(movie, randomBytes(3000, 9));
    auto error = library->performChangesAndWait([&] {
        auto& request = AssetCreationRequest::creationRequestForAsset();
        request.addResource(AssetResourceType::Photo, fakeHeic(2000));
        request.addResource(AssetResourceType::PairedVideo, movie);
    });
    ASSERT_FALSE(error) << error->description;
    auto assets = library->assets();
    ASSERT_EQ(assets.size(), 1u);
    EXPECT_EQ(assets[0].resources.size(), 2u);
    EXPECT_FALSE(assets[0].location.has_value());
    EXPECT_TRUE(fs::exists(movie)) << "a movie added without should-move-file was taken away";
}

// Catches the counter reusing a number: a person's own IMG_0001.HEIC in the folder must not be
// overwritten, and a number stays used after its file was deleted.
TEST(PhotoLibrary, NewAssetsNeverTakeAnExistingOrEarlierUsedName) {
    LibraryFixture f;
    auto library = PhotoLibrary::open(f.libraryFolder);
    library.reset();
    Bytes theirs = fakeHeic(100, 77);
    writeBytes(f.libraryFolder / "IMG_0001.HEIC", theirs);
    library = PhotoLibrary::open(f.libraryFolder);
    auto save = [&](std::uint32_t seed) {
        return library->performChangesAndWait([&] {
            AssetCreationRequest::creationRequestForAsset().addResource(AssetResourceType::Photo, fakeHeic(500, seed));
        });
    };
    ASSERT_FALSE(save(1));
    ASSERT_FALSE(save(2));
    EXPECT_EQ(readBytes(f.libraryFolder / "IMG_0001.HEIC"), theirs);
    auto assets = library->assets();
    ASSERT_EQ(assets.size(), 2u);
    EXPECT_EQ(assets[1].resources[0].fileName, "IMG_0002.HEIC");
    EXPECT_EQ(assets[0].resources[0].fileName, "IMG_0003.HEIC");

    fs::remove(f.libraryFolder / "IMG_0003.HEIC");
    library.reset();
    library = PhotoLibrary::open(f.libraryFolder);
    ASSERT_FALSE(save(3));
    EXPECT_EQ(library->assets().front().resources[0].fileName, "IMG_0004.HEIC");
}

// Catches saving bytes that are no picture, or a request without a photo, as if they were one.
TEST(PhotoLibrary, RequestsThatCannotBeAnAssetFailWithAReadableError) {
    LibraryFixture f;
    auto library = PhotoLibrary::open(f.libraryFolder);
    auto notAPicture = library->performChangesAndWait([&] {
        AssetCreationRequest::creationRequestForAsset().addResource(AssetResourceType::Photo, randomBytes(300, 4));
    });
    ASSERT_TRUE(notAPicture);
    EXPECT_NE(notAPicture->description.find("not HEIC"), std::string::npos) << notAPicture->description;

    fs::path movie = f.temp.path() / "only.mov";
    writeBytes(movie, randomBytes(300, 5));
    auto movieOnly = library->performChangesAndWait([&] {
        AssetCreationRequest::creationRequestForAsset().addResource(AssetResourceType::PairedVideo, movie);
    });
    ASSERT_TRUE(movieOnly);
    EXPECT_NE(movieOnly->description.find("photo resource"), std::string::npos) << movieOnly->description;
    EXPECT_TRUE(library->assets().empty());
    EXPECT_TRUE(visibleFiles(f.libraryFolder).empty());
    EXPECT_TRUE(fs::exists(movie));
}

// Catches reading back a resource whose file was changed behind the library's back.
TEST(PhotoLibrary, ResourceDataIsRefusedWhenTheFileNoLongerMatchesItsHash) {
    LibraryFixture f;
    auto library = PhotoLibrary::open(f.libraryFolder);
    Bytes picture = fakeHeic(1000, 3);
    std::string id;
    ASSERT_FALSE(library->performChangesAndWait([&] {
        auto& r = AssetCreationRequest::creationRequestForAsset();
        r.addResource(AssetResourceType::Photo, picture);
        id = r.placeholderLocalIdentifier();
    }));
    auto file = library->resourceFile(id, 0);
    ASSERT_TRUE(file);
    EXPECT_EQ(library->resourceData(id, 0), picture);
    EXPECT_FALSE(library->resourceFile(id, 1));
    picture[500] ^= 1;
    writeBytes(*file, picture);
    EXPECT_FALSE(library->resourceData(id, 0));
}

// Catches a wrong SHA-256 (padding at the 55/56/64-byte edges, multi-block input).
TEST(PhotoLibrary, Sha256MatchesKnownDigests) {
    auto digest = [](const std::string& s) {
        Sha256 h;
        h.update(reinterpret_cast<const std::uint8_t*>(s.data()), s.size());
        return h.finishHex();
    };
    EXPECT_EQ(digest(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    EXPECT_EQ(digest("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    EXPECT_EQ(digest("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
              "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
    // A million 'a's fed in uneven pieces.
    Sha256 h;
    std::string chunk(997, 'a');
    std::size_t left = 1000000;
    while (left) {
        std::size_t n = std::min(left, chunk.size());
        h.update(reinterpret_cast<const std::uint8_t*>(chunk.data()), n);
        left -= n;
    }
    EXPECT_EQ(h.finishHex(), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
}

// Catches a change block with two assets that saves one of them when the other fails, and two
// assets of one block that share a number.
TEST(PhotoLibrary, AssetsOfOneChangeBlockAreSavedTogetherOrNotAtAll) {
    LibraryFixture f;
    auto library = PhotoLibrary::open(f.libraryFolder);
    auto failed = library->performChangesAndWait([&] {
        AssetCreationRequest::creationRequestForAsset().addResource(AssetResourceType::Photo, fakeHeic(100, 1));
        AssetCreationRequest::creationRequestForAsset().addResource(AssetResourceType::Photo, randomBytes(100, 2));
    });
    ASSERT_TRUE(failed);
    EXPECT_TRUE(library->assets().empty());
    EXPECT_TRUE(visibleFiles(f.libraryFolder).empty());

    ASSERT_FALSE(library->performChangesAndWait([&] {
        AssetCreationRequest::creationRequestForAsset().addResource(AssetResourceType::Photo, fakeHeic(100, 1));
        AssetCreationRequest::creationRequestForAsset().addResource(AssetResourceType::Photo, fakeDng(100, 2));
    }));
    EXPECT_EQ(visibleFiles(f.libraryFolder), (std::set<std::string>{"IMG_0001.HEIC", "IMG_0002.DNG"}));
    EXPECT_EQ(library->assets().size(), 2u);
}

// Catches a creation request made outside a change block that is saved later by accident, and
// a library that keeps writing beside an index that was deleted with its folder.
TEST(PhotoLibrary, RequestsOutsideABlockAreIgnoredAndARemovedFolderIsMadeAgain) {
    LibraryFixture f;
    auto library = PhotoLibrary::open(f.libraryFolder);
    {
        ConsoleCapture console;
        AssetCreationRequest::creationRequestForAsset().addResource(AssetResourceType::Photo, fakeHeic(100, 1));
        ASSERT_EQ(console.lines().size(), 1u);
        EXPECT_NE(console.lines()[0].find("outside a change block"), std::string::npos);
    }
    ASSERT_FALSE(library->performChangesAndWait([] {}));
    EXPECT_TRUE(library->assets().empty());

    fs::remove_all(f.libraryFolder);
    ASSERT_FALSE(library->performChangesAndWait([&] {
        AssetCreationRequest::creationRequestForAsset().addResource(AssetResourceType::Photo, fakeHeic(100, 2));
    }));
    ASSERT_EQ(library->assets().size(), 1u);
    EXPECT_TRUE(fs::exists(f.libraryFolder / "IMG_0001.HEIC"));
    EXPECT_TRUE(fs::exists(f.libraryFolder / LibraryIndex::kFileName));
}

// Catches a moved movie that is lost when it cannot be hard-linked (its temporary folder on
// another file system, as /tmp on tmpfs often is): it must be copied, then removed.
TEST(PhotoLibrary, MovieOnAnotherFileSystemIsCopiedThenRemoved) {
    LibraryFixture f;
    fs::path shm = "/dev/shm";
    struct stat a {}, b {};
    if (::stat(shm.c_str(), &a) != 0 || ::stat(f.temp.path().c_str(), &b) != 0 || a.st_dev == b.st_dev)
        GTEST_SKIP() << "no second file system at /dev/shm here";
    fs::path movie = shm / ("sorvel-test-" + makeUuid() + ".mov");
    Bytes movieBytes = randomBytes(300000, 6);
    writeBytes(movie, movieBytes);
    auto library = PhotoLibrary::open(f.libraryFolder);
    auto error = library->performChangesAndWait([&] {
        auto& r = AssetCreationRequest::creationRequestForAsset();
        r.addResource(AssetResourceType::Photo, fakeHeic(100, 1));
        AssetResourceCreationOptions move;
        move.shouldMoveFile = true;
        r.addResource(AssetResourceType::PairedVideo, movie, move);
    });
    bool sourceLeft = fs::exists(movie);
    fs::remove(movie);
    ASSERT_FALSE(error) << error->description;
    EXPECT_FALSE(sourceLeft);
    EXPECT_EQ(readBytes(f.libraryFolder / "IMG_0001.MOV"), movieBytes);
}

// Catches a signature check that misnames real files from cameras and phones (a HEIC with
// another brand, a big-endian or little-endian DNG, a JPEG) or refuses them.
TEST(PhotoLibrary, RealPicturesGetTheExtensionOfTheirFormat) {
    LibraryFixture f;
    auto library = PhotoLibrary::open(f.libraryFolder);
    const fs::path data = SORVEL_TESTDATA_DIR;
    const std::pair<const char*, const char*> files[] = {
        {"heic/example.heic", "HEIC"}, {"metadata/QuickTime.heic", "HEIC"}, {"metadata/DNG.dng", "DNG"},
        {"metadata/Canon.jpg", "JPG"}};
    for (const auto& [file, extension] : files) {
        SCOPED_TRACE(file);
        Bytes picture = readBytes(data / file);
        ASSERT_FALSE(picture.empty());
        auto error = library->performChangesAndWait([&] {
            auto& r = AssetCreationRequest::creationRequestForAsset();
            r.addResource(AssetResourceType::Photo, picture);
            if (std::string(extension) == "HEIC") r.addResource(AssetResourceType::PairedVideo, data / "metadata/QuickTime.mov");
        });
        ASSERT_FALSE(error) << error->description;
        const PhotoAsset a = library->assets().front();
        EXPECT_EQ(fs::path(a.resources[0].fileName).extension().string(), std::string(".") + extension);
        EXPECT_EQ(readBytes(f.libraryFolder / a.resources[0].fileName), picture);
    }
    EXPECT_TRUE(fs::exists(data / "metadata/QuickTime.mov")) << "a copied movie must stay where it was";
}
