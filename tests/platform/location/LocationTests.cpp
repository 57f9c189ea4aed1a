#include <gtest/gtest.h>
#include <stdlib.h>
#include <time.h>

#include <filesystem>
#include <cmath>
#include <fstream>
#include <random>

#include "platform/foundation/Clock.h"
#include "platform/foundation/Console.h"
#include "platform/foundation/Dispatch.h"
#include "platform/foundation/Permissions.h"
#include "platform/location/GpsMetadata.h"
#include "platform/location/GpxTrack.h"
#include "platform/location/LocationManager.h"

namespace fs = std::filesystem;
using namespace sorvel;

namespace {

// Sets TZ for one test and puts the old one back.
class TimeZone {
public:
    explicit TimeZone(const char* tz) {
        if (const char* old = std::getenv("TZ")) old_ = old;
        ::setenv("TZ", tz, 1);
        ::tzset();
    }
    ~TimeZone() {
        if (old_) ::setenv("TZ", old_->c_str(), 1);
        else ::unsetenv("TZ");
        ::tzset();
    }

private:
    std::optional<std::string> old_;
};

class EnvironmentVariable {
public:
    EnvironmentVariable(const char* name, const std::string& value) : name_(name) {
        if (const char* old = std::getenv(name)) old_ = old;
        ::setenv(name, value.c_str(), 1);
    }
    ~EnvironmentVariable() {
        if (old_) ::setenv(name_, old_->c_str(), 1);
        else ::unsetenv(name_);
    }

private:
    const char* name_;
    std::optional<std::string> old_;
};

// Virtual time, manual main queue and a fresh permissions file.
struct LocationFixture {
    VirtualClock clock{1.7e9};
    ManualMainQueue main{clock};
    fs::path folder;
    LocationFixture() {
        Clock::install(&clock);
        DispatchQueue::installMain(&main);
        std::string pattern = (fs::temp_directory_path() / "sorvel-location-XXXXXX").string();
        folder = ::mkdtemp(pattern.data());
        Permissions::setFile(folder / "permissions.conf");
        ::unsetenv("SORVEL_LOCATION");
        ::unsetenv("SORVEL_LOCATION_GPX");
    }
    ~LocationFixture() {
        main.runUntilIdle();
        Permissions::setFile({});
        DispatchQueue::installMain(nullptr);
        Clock::install(nullptr);
        std::error_code ec;
        fs::remove_all(folder, ec);
    }
    fs::path write(const std::string& name, const std::string& text) {
        std::ofstream(folder / name) << text;
        return folder / name;
    }
};

struct RecordingDelegate : LocationManagerDelegate {
    std::vector<std::vector<Location>> deliveries;
    std::vector<double> deliveredAt;
    int authorizationChanges = 0;
    bool offMainThread = false;
    void locationManagerDidUpdateLocations(LocationManager&, const std::vector<Location>& locations) override {
        offMainThread = offMainThread || !DispatchQueue::isMainThread();
        deliveries.push_back(locations);
        deliveredAt.push_back(Clock::current().now());
    }
    void locationManagerDidChangeAuthorization(LocationManager&) override {
        offMainThread = offMainThread || !DispatchQueue::isMainThread();
        ++authorizationChanges;
    }
};

}  // namespace

// Catches signed magnitudes, refs flipped at zero, an altitude ref written as text or a real
// (the Exif writer reads an integer), and a missing key.
TEST(Location, GpsDictionaryHasMagnitudesRefsAndExactValueTypes) {
    TimeZone utc("UTC0");
    Dictionary sydney = gpsMetadata(Location{-33.86, 151.21, 58, Date{1.7e9}});
    EXPECT_EQ(sydney.size(), 8u);
    EXPECT_EQ(sydney["Latitude"].realValue(), 33.86);
    EXPECT_EQ(*sydney["LatitudeRef"].stringValue(), "S");
    EXPECT_EQ(sydney["Longitude"].realValue(), 151.21);
    EXPECT_EQ(*sydney["LongitudeRef"].stringValue(), "E");
    EXPECT_EQ(sydney["Altitude"].realValue(), 58.0);
    EXPECT_EQ(sydney["AltitudeRef"].integerValue(), 0);

    Dictionary zero = gpsMetadata(Location{0, 0, 0, Date{0}});
    EXPECT_EQ(*zero["LatitudeRef"].stringValue(), "N");
    EXPECT_EQ(*zero["LongitudeRef"].stringValue(), "E");
    EXPECT_EQ(zero["AltitudeRef"].integerValue(), 0);
    EXPECT_EQ(*zero["DateStamp"].stringValue(), "1970:01:01");
    EXPECT_EQ(*zero["TimeStamp"].stringValue(), "00:00:00.000000");

    Dictionary below = gpsMetadata(Location{12.5, -70.25, -12.5, Date{0}});
    EXPECT_EQ(below["Altitude"].realValue(), 12.5);
    EXPECT_EQ(below["AltitudeRef"].integerValue(), 1);
    EXPECT_EQ(*below["LatitudeRef"].stringValue(), "N");
    EXPECT_EQ(below["Longitude"].realValue(), 70.25);
    EXPECT_EQ(*below["LongitudeRef"].stringValue(), "W");
}

// Catches stamps written in UTC instead of local time, or with fewer fractional digits: a fix
// half a second before midnight on New Year's Eve in UTC+8, delivered by the location manager
// on the virtual clock, is still 31 December there while UTC says 15:59.
TEST(Location, StampsOfAFixHalfASecondBeforeLocalMidnightStayOnThatDay) {
    LocationFixture f;
    TimeZone shanghai("CST-8");
    f.clock.setNow(1735660799.5);  // 2024-12-31 23:59:59.5 in UTC+8
    EnvironmentVariable fix("SORVEL_LOCATION", "31.23,121.47,4");
    LocationManager manager;
    RecordingDelegate delegate;
    manager.setDelegate(&delegate);
    manager.startUpdatingLocation();
    ASSERT_TRUE(f.main.runUntilIdle());
    ASSERT_EQ(delegate.deliveries.size(), 1u);
    ASSERT_EQ(delegate.deliveries[0].size(), 1u);
    Location l = delegate.deliveries[0][0];
    EXPECT_EQ(l.timestamp, Date{1735660799.5});
    Dictionary d = gpsMetadata(l);
    EXPECT_EQ(*d["DateStamp"].stringValue(), "2024:12:31");
    EXPECT_EQ(*d["TimeStamp"].stringValue(), "23:59:59.500000");

    TimeZone utc("UTC0");
    Dictionary inUtc = gpsMetadata(l);
    EXPECT_EQ(*inUtc["TimeStamp"].stringValue(), "15:59:59.500000");
}

// Catches a manager that delivers a fix without permission, off the main queue, or ignores the
// permissions file's fix; and an answer to the authorisation request that never arrives.
TEST(Location, FixesFollowThePermissionsFileAndArriveOnTheMainQueue) {
    LocationFixture f;
    ASSERT_TRUE(Permissions::setEntry("location_fix", "-33.86, 151.21, 58"));

    {
        ASSERT_TRUE(Permissions::setEntry("location", "denied"));
        LocationManager manager;
        RecordingDelegate delegate;
        manager.setDelegate(&delegate);
        EXPECT_EQ(manager.authorizationStatus(), AuthorizationStatus::Denied);
        manager.requestWhenInUseAuthorization();
        manager.startUpdatingLocation();
        f.main.advance(5);
        EXPECT_EQ(delegate.authorizationChanges, 1);
        EXPECT_TRUE(delegate.deliveries.empty());
        EXPECT_FALSE(manager.location());
    }

    ASSERT_TRUE(Permissions::setEntry("location", "authorized"));
    LocationManager manager;
    RecordingDelegate delegate;
    manager.setDelegate(&delegate);
    double started = f.clock.now();
    manager.startUpdatingLocation();
    f.main.advance(1);
    EXPECT_FALSE(delegate.offMainThread);
    ASSERT_EQ(delegate.deliveries.size(), 1u);
    EXPECT_EQ(delegate.deliveries[0][0], (Location{-33.86, 151.21, 58, Date{started}}));
    EXPECT_EQ(manager.location(), delegate.deliveries[0][0]);

    // The environment wins over the file.
    EnvironmentVariable fix("SORVEL_LOCATION", "1.5, -2.5");
    LocationManager fromEnvironment;
    RecordingDelegate second;
    fromEnvironment.setDelegate(&second);
    fromEnvironment.startUpdatingLocation();
    f.main.runUntilIdle();
    ASSERT_EQ(second.deliveries.size(), 1u);
    EXPECT_EQ(second.deliveries[0][0].latitude, 1.5);
    EXPECT_EQ(second.deliveries[0][0].longitude, -2.5);
    EXPECT_EQ(second.deliveries[0][0].altitude, 0);
}

// Catches a bad fix text taken as a position (or as 0,0), silently or with a crash.
TEST(Location, UnreadableFixGivesNoProviderAndOneConsoleLine) {
    LocationFixture f;
    for (const char* text : {"north", "91, 10, 0", "10, 181", "1,2,3,4", "", "1;2;3", "nan, 1"}) {
        SCOPED_TRACE(text);
        ConsoleCapture console;
        ASSERT_TRUE(Permissions::setEntry("location_fix", text));
        LocationManager manager;
        RecordingDelegate delegate;
        manager.setDelegate(&delegate);
        manager.startUpdatingLocation();
        f.main.advance(2);
        EXPECT_TRUE(delegate.deliveries.empty());
        if (std::string(text).empty()) continue;  // an empty entry is no source at all
        ASSERT_EQ(console.lines().size(), 1u);
        EXPECT_NE(console.lines()[0].find("location_fix"), std::string::npos) << console.lines()[0];
    }
}

// Catches a replay that ignores the track's spacing, stamps fixes with the file's times instead
// of the Clock's, or goes on after stopping.
TEST(Location, GpxTrackIsReplayedOnTheClockWithItsSpacing) {
    LocationFixture f;
    fs::path gpx = f.write("walk.gpx", R"(<?xml version="1.0"?>
<gpx version="1.1" creator="test"><trk><name>walk</name><trkseg>
  <trkpt lat="48.1" lon="11.5"><ele>520.5</ele><time>2024-05-01T10:00:00Z</time></trkpt>
  <trkpt lon='11.6' lat='-48.2'><time>2024-05-01T10:00:05Z</time><ele>-3</ele></trkpt>
  <trkpt lat="48.3" lon="11.7"><time>2024-05-01T10:00:07.5Z</time></trkpt>
  <trkpt lat="48.4" lon="11.8"/>
</trkseg></trk></gpx>)");
    EnvironmentVariable track("SORVEL_LOCATION_GPX", gpx.string());
    LocationManager manager;
    RecordingDelegate delegate;
    manager.setDelegate(&delegate);
    manager.startUpdatingLocation();
    f.main.advance(7.4);
    ASSERT_EQ(delegate.deliveries.size(), 2u);
    f.main.advance(0.1);
    ASSERT_EQ(delegate.deliveries.size(), 3u);
    EXPECT_EQ(delegate.deliveredAt, (std::vector<double>{1.7e9, 1.7e9 + 5, 1.7e9 + 7.5}));
    EXPECT_EQ(delegate.deliveries[0][0], (Location{48.1, 11.5, 520.5, Date{1.7e9}}));
    EXPECT_EQ(delegate.deliveries[1][0], (Location{-48.2, 11.6, -3, Date{1.7e9 + 5}}));
    EXPECT_EQ(delegate.deliveries[2][0].altitude, 0);
    // The last point has no time: one second later.
    f.main.advance(1);
    ASSERT_EQ(delegate.deliveries.size(), 4u);
    EXPECT_EQ(delegate.deliveries[3][0].latitude, 48.4);

    // Stopping halfway through a second replay ends it.
    manager.stopUpdatingLocation();
    manager.startUpdatingLocation();
    f.main.advance(1);
    manager.stopUpdatingLocation();
    f.main.advance(60);
    EXPECT_EQ(delegate.deliveries.size(), 5u);
}

// Catches a GPX reader that accepts broken files (and then delivers nonsense), or crashes on
// them.
TEST(Location, MalformedGpxIsRejectedWithAReason) {
    const char* broken[] = {
        "",
        "<kml><trkpt lat=\"1\" lon=\"2\"/></kml>",
        "<gpx></gpx>",
        "<gpx><trkpt lat=\"1\"/></gpx>",
        "<gpx><trkpt lat=\"100\" lon=\"2\"/></gpx>",
        "<gpx><trkpt lat=\"x\" lon=\"2\"/></gpx>",
        "<gpx><trkpt lat=\"1\" lon=\"2\"",
        "<gpx><trkpt lat=\"1\" lon=\"2\"><ele>1</ele>",
        "<gpx><trkpt lat=\"1\" lon=\"2\"><ele>high</ele></trkpt></gpx>",
        "<gpx><trkpt lat=\"1\" lon=\"2\"><time>yesterday</time></trkpt></gpx>",
        "<gpx><trkpt lat=\"1\" lon=\"2\"><ele>3</trkpt></gpx>",
        "<gpx><trkpt lat=\"1\" lon=\"2\"><trkpt lat=\"1\" lon=\"2\"></trkpt></gpx>",
        "<gpx><trkpt lat=\"1 lon=\"2\"/></gpx>",
    };
    for (const char* text : broken) {
        SCOPED_TRACE(text);
        std::string error;
        EXPECT_FALSE(parseGpx(text, error));
        EXPECT_FALSE(error.empty());
    }
    std::string error;
    auto ok = parseGpx("<gpx><trkseg><trkpt lat=\"1\" lon=\"2\"></trkpt><trkptx/></trkseg></gpx>", error);
    ASSERT_TRUE(ok) << error;
    EXPECT_EQ(ok->points.size(), 1u);

    LocationFixture f;
    fs::path bad = f.write("bad.gpx", "<gpx><trkpt lat=\"1\" lon=\"2\"><time>soon</time></trkpt></gpx>");
    ConsoleCapture console;
    ASSERT_TRUE(Permissions::setEntry("location_gpx", bad.filename().string()));
    LocationManager manager;
    RecordingDelegate delegate;
    manager.setDelegate(&delegate);
    manager.startUpdatingLocation();
    f.main.advance(5);
    EXPECT_TRUE(delegate.deliveries.empty());
    ASSERT_EQ(console.lines().size(), 1u);
    EXPECT_NE(console.lines()[0].find("invalid <time>"), std::string::npos) << console.lines()[0];
}

// Catches a GPX reader that crashes, reads past its input or accepts an out-of-range point when
// a good file is damaged byte by byte (run under the sanitizers in CI).
TEST(Location, DamagedGpxNeverYieldsAnInvalidPoint) {
    const std::string good = R"(<gpx><trk><trkseg><trkpt lat="48.1" lon="-11.5"><ele>520.5</ele>)"
                             R"(<time>2024-05-01T10:00:00Z</time></trkpt><trkpt lat='-89.9' lon='179.9'/>)"
                             R"(</trkseg></trk></gpx>)";
    std::mt19937 rng(12345);
    const char alphabet[] = "<>/=\"' 0123456789.-+eEtrkptlaonime:TZ\n";
    int accepted = 0;
    for (int round = 0; round < 20000; ++round) {
        std::string text = good;
        int edits = 1 + int(rng() % 4);
        for (int e = 0; e < edits; ++e) {
            std::size_t at = rng() % text.size();
            switch (rng() % 3) {
            case 0: text[at] = alphabet[rng() % (sizeof alphabet - 1)]; break;
            case 1: text.erase(at, 1 + rng() % 8); break;
            default: text.insert(at, 1, alphabet[rng() % (sizeof alphabet - 1)]); break;
            }
            if (text.empty()) text = "<";
        }
        std::string error;
        auto track = parseGpx(text, error);
        if (!track) {
            EXPECT_FALSE(error.empty());
            continue;
        }
        ++accepted;
        ASSERT_FALSE(track->points.empty()) << text;
        for (const auto& p : track->points) {
            ASSERT_TRUE(std::fabs(p.latitude) <= 90 && std::fabs(p.longitude) <= 180) << text;
            ASSERT_TRUE(std::isfinite(p.elevation)) << text;
        }
    }
    EXPECT_GT(accepted, 0);
}
