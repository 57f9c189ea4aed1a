#include <nlohmann/json.hpp>

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdlib>
#include <sstream>

#include "LibraryTestSupport.h"
#include "platform/photos/GalleryOpener.h"
#include "platform/photos/LibraryListing.h"
#include "platform/foundation/Files.h"

namespace fs = std::filesystem;
using namespace sorvel;
using namespace sorvel::testing;

namespace {

struct CommandRun {
    int code;
    std::string out, err;
};

CommandRun run(std::vector<std::string> args, const fs::path& folder) {
    std::ostringstream out, err;
    int code = runLibraryCommand(args, out, err, folder);
    return {code, out.str(), err.str()};
}

}  // namespace

// Catches a listing that is not newest first, drops the movie of a Live Photo or the location,
// or writes JSON a script cannot rely on; and a command that changes the folder it lists.
TEST(PhotoLibrary, ListCommandShowsAssetsNewestFirstAsTextAndJson) {
    LibraryFixture f;
    {
        auto library = PhotoLibrary::open(f.libraryFolder);
        fs::path movie = f.temp.path() / "m.mov";
        writeBytes(movie, randomBytes(10, 1));
        f.loop.clock.setNow(1767225600);  // 2026-01-01T00:00:00Z
        ASSERT_FALSE(library->performChangesAndWait([&] {
            auto& r = AssetCreationRequest::creationRequestForAsset();
            r.addResource(AssetResourceType::Photo, fakeHeic(20, 1));
            r.addResource(AssetResourceType::PairedVideo, movie);
            r.setLocation(Location{-33.86, 151.21, 58, Date{1767225599.5}});
        }));
        f.loop.clock.setNow(1767225660);
        ASSERT_FALSE(library->performChangesAndWait([&] {
            AssetCreationRequest::creationRequestForAsset().addResource(AssetResourceType::Photo, fakeDng(30, 2));
        }));
    }
    auto text = run({"library", "list"}, f.libraryFolder);
    EXPECT_EQ(text.code, 0) << text.err;
    std::istringstream lines(text.out);
    std::string first, second, total;
    std::getline(lines, first);
    std::getline(lines, second);
    std::getline(lines, total);
    EXPECT_EQ(first.rfind("2026-01-01T00:01:00Z  raw photo  IMG_0002.DNG  ", 0), 0u) << first;
    EXPECT_EQ(second.rfind("2026-01-01T00:00:00Z  live photo  IMG_0001.HEIC + IMG_0001.MOV  at -33.86, 151.21, 58 m  ", 0),
              0u)
        << second;
    EXPECT_EQ(total, "2 assets");

    auto json = run({"library", "list", "--json"}, f.libraryFolder);
    EXPECT_EQ(json.code, 0) << json.err;
    auto doc = nlohmann::json::parse(json.out, nullptr, false);
    ASSERT_TRUE(doc.is_array()) << json.out;
    ASSERT_EQ(doc.size(), 2u);
    EXPECT_EQ(doc[0]["resources"][0]["fileName"], "IMG_0002.DNG");
    EXPECT_EQ(doc[0]["kind"], "raw photo");
    EXPECT_TRUE(doc[0]["location"].is_null());
    EXPECT_TRUE(doc[0]["pairingIdentifier"].is_null());
    const auto& movie = doc[1]["resources"][1];
    EXPECT_EQ(movie["type"], 9);
    EXPECT_EQ(movie["fileName"], "IMG_0001.MOV");
    EXPECT_EQ(movie["byteSize"], 10);
    EXPECT_EQ(movie["sha256"].get<std::string>().size(), 64u);
    const auto& location = doc[1]["location"];
    EXPECT_DOUBLE_EQ(location["latitude"].get<double>(), -33.86);
    EXPECT_DOUBLE_EQ(location["longitude"].get<double>(), 151.21);
    EXPECT_DOUBLE_EQ(location["altitude"].get<double>(), 58);
    EXPECT_EQ(location["timestamp"], "2025-12-31T23:59:59.500000Z");
    EXPECT_TRUE(doc[1]["pairingIdentifier"].is_string());
    EXPECT_EQ(json.out.back(), '\n');

    // The same library passes the check; a changed byte, a stray file and a left temporary fail it.
    auto check = run({"library", "check"}, f.libraryFolder);
    EXPECT_EQ(check.code, 0) << check.out;
    EXPECT_EQ(check.out, "2 assets, 3 files, 0 problems\n");
    {
        auto bytes = readFile(f.libraryFolder / "IMG_0002.DNG");
        ASSERT_TRUE(bytes);
        (*bytes)[bytes->size() / 2] ^= 0x40;
        writeBytes(f.libraryFolder / "IMG_0002.DNG", *bytes);
    }
    writeBytes(f.libraryFolder / "IMG_0099.HEIC", fakeHeic(20, 3));
    writeBytes(f.libraryFolder / ".sorvel-tmp-x-0", fakeHeic(20, 4));
    check = run({"library", "check"}, f.libraryFolder);
    EXPECT_EQ(check.code, 1);
    EXPECT_NE(check.out.find("damaged: IMG_0002.DNG (content differs from the saved file (SHA-256))"), std::string::npos)
        << check.out;
    EXPECT_NE(check.out.find("not in the index: IMG_0099.HEIC"), std::string::npos) << check.out;
    EXPECT_NE(check.out.find("left by an interrupted save: .sorvel-tmp-x-0"), std::string::npos) << check.out;
    EXPECT_NE(check.out.find("3 problems"), std::string::npos) << check.out;
}

// Catches usage mistakes that list anyway or exit with the wrong code, and a missing library
// folder that is created by merely listing it.
TEST(PhotoLibrary, ListCommandUsageErrorsExitTwoAndAMissingLibraryIsEmpty) {
    TempFolder temp;
    fs::path folder = temp.path() / "nothing-here";
    for (auto args : std::vector<std::vector<std::string>>{
             {"library"}, {"library", "show"}, {"library", "list", "--xml"}, {"library", "list", "--json", "--json"}}) {
        auto r = run(args, folder);
        EXPECT_EQ(r.code, 2) << args.back();
        EXPECT_TRUE(r.out.empty());
        EXPECT_NE(r.err.find("usage: sorvel-camera library list [--json]"), std::string::npos) << r.err;
    }
    auto empty = run({"library", "list", "--json"}, folder);
    EXPECT_EQ(empty.code, 0);
    EXPECT_EQ(empty.out, "[]\n");
    EXPECT_EQ(run({"library", "list"}, folder).out, "0 assets\n");
    EXPECT_FALSE(fs::exists(folder));

    fs::create_directories(folder);
    std::string garbage(5000, 'x');
    writeBytes(folder / LibraryIndex::kFileName, Bytes(garbage.begin(), garbage.end()));
    auto damaged = run({"library", "list"}, folder);
    EXPECT_EQ(damaged.code, 1);
    EXPECT_NE(damaged.err.find("rebuilds it"), std::string::npos) << damaged.err;
}

// Catches a gallery opener that goes through a shell, passes the wrong folder, or reports
// success when the handler failed or is missing.
TEST(PhotoLibrary, OpeningTheGalleryRunsXdgOpenOnTheFolderAndReportsFailure) {
    TempFolder temp;
    fs::path bin = temp.path() / "bin";
    fs::create_directories(bin);
    fs::path record = temp.path() / "args.txt";
    auto script = [&](int exitCode) {
        std::ofstream s(bin / "xdg-open");
        s << "#!/bin/sh\nprintf '%s|' \"$@\" > '" << record.string() << "'\nexit " << exitCode << "\n";
        s.close();
        ::chmod((bin / "xdg-open").c_str(), 0755);
    };
    std::string oldPath = std::getenv("PATH") ? std::getenv("PATH") : "";
    ::setenv("PATH", bin.c_str(), 1);

    fs::path folder = temp.path() / "My Photos; rm -rf x";
    script(0);
    EXPECT_EQ(openGalleryAndWait(folder), std::nullopt);
    std::string expected = folder.string() + "|";
    EXPECT_EQ(readBytes(record), Bytes(expected.begin(), expected.end()));

    script(3);
    auto failed = openGalleryAndWait(folder);
    ASSERT_TRUE(failed);
    EXPECT_NE(failed->find("exit status 3"), std::string::npos) << *failed;

    fs::remove(bin / "xdg-open");
    auto missing = openGalleryAndWait(folder);
    ::setenv("PATH", oldPath.c_str(), 1);
    ASSERT_TRUE(missing);
    EXPECT_NE(missing->find("xdg-open"), std::string::npos) << *missing;
}
