#include "LocationProvider.h"

#include <cmath>
#include <cstdlib>

#include "platform/foundation/Clock.h"
#include "platform/foundation/Console.h"
#include "platform/foundation/Dispatch.h"
#include "platform/foundation/Permissions.h"

namespace sorvel {

namespace {

// Pending deliveries hold this weakly-checked flag, so a stopped or destroyed provider never
// delivers a late fix.
struct Session {
    LocationProvider::Deliver deliver;
    bool stopped = false;
};

class FixedProvider final : public LocationProvider {
public:
    explicit FixedProvider(FixedPosition p) : position_(p) {}
    ~FixedProvider() override { stop(); }
    void start(Deliver deliver) override {
        stop();
        session_ = std::make_shared<Session>(Session{std::move(deliver)});
        DispatchQueue::main().async([weak = std::weak_ptr<Session>(session_), p = position_] {
            auto s = weak.lock();
            if (!s || s->stopped) return;
            s->deliver({Location{p.latitude, p.longitude, p.altitude, Clock::current().date()}});
        });
    }
    void stop() override {
        if (session_) session_->stopped = true;
        session_.reset();
    }

private:
    FixedPosition position_;
    std::shared_ptr<Session> session_;
};

class TrackProvider final : public LocationProvider {
public:
    explicit TrackProvider(GpxTrack track) : track_(std::move(track)) {}
    ~TrackProvider() override { stop(); }
    void start(Deliver deliver) override {
        stop();
        session_ = std::make_shared<Session>(Session{std::move(deliver)});
        deliverPoint(session_, std::make_shared<const GpxTrack>(track_), 0);
    }
    void stop() override {
        if (session_) session_->stopped = true;
        session_.reset();
    }

private:
    static double gapAfter(const GpxTrack& track, std::size_t i) {
        const auto& a = track.points[i].time;
        const auto& b = track.points[i + 1].time;
        if (!a || !b || b->secondsSince1970 < a->secondsSince1970) return 1.0;
        return b->secondsSince1970 - a->secondsSince1970;
    }

    static void deliverPoint(const std::shared_ptr<Session>& session, std::shared_ptr<const GpxTrack> track,
                             std::size_t i) {
        auto weak = std::weak_ptr<Session>(session);
        auto run = [weak, track, i] {
            auto s = weak.lock();
            if (!s || s->stopped) return;
            const GpxPoint& p = track->points[i];
            s->deliver({Location{p.latitude, p.longitude, p.elevation, Clock::current().date()}});
            // The delivery may have stopped the provider.
            if (!s->stopped && i + 1 < track->points.size()) scheduleNext(s, track, i + 1, gapAfter(*track, i));
        };
        DispatchQueue::main().async(run);
    }

    static void scheduleNext(const std::shared_ptr<Session>& session, std::shared_ptr<const GpxTrack> track,
                             std::size_t i, double delay) {
        DispatchQueue::main().asyncAfter(delay, [weak = std::weak_ptr<Session>(session), track, i] {
            auto s = weak.lock();
            if (!s || s->stopped) return;
            deliverPoint(s, track, i);
        });
    }

    GpxTrack track_;
    std::shared_ptr<Session> session_;
};

std::optional<std::string> environment(const char* name) {
    const char* v = std::getenv(name);
    if (!v || !*v) return std::nullopt;
    return std::string(v);
}

std::unique_ptr<LocationProvider> fixedFrom(const std::string& text, const std::string& source) {
    auto p = parseFixedPosition(text);
    if (!p) {
        consolePrint("Location: ignoring " + source + " \"" + text + "\": expected \"latitude, longitude, altitude\"");
        return nullptr;
    }
    return makeFixedProvider(*p);
}

std::unique_ptr<LocationProvider> trackFrom(const std::string& file, const std::string& source) {
    std::string error;
    auto track = loadGpx(file, error);
    if (!track) {
        consolePrint("Location: ignoring " + source + " track " + file + ": " + error);
        return nullptr;
    }
    return makeTrackProvider(std::move(*track));
}

}  // namespace

std::optional<FixedPosition> parseFixedPosition(std::string_view text) {
    std::vector<double> numbers;
    while (true) {
        std::size_t comma = text.find(',');
        auto n = parseNumber(text.substr(0, comma));
        if (!n) return std::nullopt;
        numbers.push_back(*n);
        if (comma == std::string_view::npos) break;
        text.remove_prefix(comma + 1);
    }
    if (numbers.size() < 2 || numbers.size() > 3) return std::nullopt;
    if (std::fabs(numbers[0]) > 90 || std::fabs(numbers[1]) > 180) return std::nullopt;
    return FixedPosition{numbers[0], numbers[1], numbers.size() == 3 ? numbers[2] : 0.0};
}

std::unique_ptr<LocationProvider> makeFixedProvider(FixedPosition position) {
    return std::make_unique<FixedProvider>(position);
}

std::unique_ptr<LocationProvider> makeTrackProvider(GpxTrack track) {
    return std::make_unique<TrackProvider>(std::move(track));
}

std::unique_ptr<LocationProvider> makeConfiguredProvider() {
    if (auto fix = environment("SORVEL_LOCATION")) return fixedFrom(*fix, "SORVEL_LOCATION");
    if (auto gpx = environment("SORVEL_LOCATION_GPX")) return trackFrom(*gpx, "SORVEL_LOCATION_GPX");
    if (auto fix = Permissions::entry("location_fix")) return fixedFrom(*fix, "location_fix");
    if (auto gpx = Permissions::entry("location_gpx")) {
        // A relative path in the permissions file is read from the file's own folder, not from
        // wherever the app was started.
        std::filesystem::path file(*gpx);
        if (file.is_relative()) file = Permissions::file().parent_path() / file;
        return trackFrom(file.string(), "location_gpx");
    }
    return nullptr;
}

}  // namespace sorvel
