#pragma once
// The capture delegate of one deep-mode picture: receives the DNG, saves it and/or develops it
// into a Display P3 HEIC, and always ends the screen's busy state. Callbacks run on the photo
// output's callback queue, one at a time; the whole development runs there.

#include <atomic>
#include <functional>
#include <map>
#include <string>
#include <memory>
#include <optional>
#include <vector>

#include "app/journal/JournalEntry.h"
#include "platform/capture/PhotoCaptureDelegate.h"
#include "platform/location/Location.h"

namespace sorvel {

class ViewController;

// "RAW", "HEIC" or "RAW+HEIC" from the settings (extreme mode saves only the HEIC; an unknown
// text counts as absent).
std::string deepSaveFormat();

class RAWCaptureDelegate : public PhotoCaptureDelegate {
public:
    std::optional<Bytes> rawData;
    std::optional<Bytes> heicData;
    std::function<void()> didFinish;
    std::function<void()> endCaptureAnimation;
    std::weak_ptr<ViewController> viewController;
    std::optional<Location> currentLocation;
    std::atomic<bool> shouldMirrorImage{false};
    // The press in the capture journal: its settings, filter and location are what the
    // development reads.
    std::shared_ptr<JournalEntry> entry = std::make_shared<JournalEntry>();

    void didFinishProcessingPhoto(PhotoOutput& output, const CapturedPhoto& photo, const CaptureStatus& error) override;
    void didFinishCapture(PhotoOutput& output, const ResolvedPhotoSettings& settings, const CaptureStatus& error) override;

    void saveRawToPhotoLibrary(const Bytes& raw);
    // False when the development failed.
    bool convertRawToHEICAndSave(const Bytes& raw);
    // What the end of the capture does with `rawData`: the saves the format asks for, under the
    // press's settings. Also the whole work of a press recovered after a restart.
    bool develop();

    // What the last development used, for tests: the developer's options as set (absent keys
    // were left at the developer's defaults), whether the colour boost ran, the HEIC quality.
    struct Development {
        std::map<std::string, double> options;
        bool colourBoosted = false;
        double quality = 0;
    } development;

    // Seconds spent in each development stage of the last picture, for the benchmarks. Boost,
    // filter and watermark only build steps of the recipe; their pixels cost in `render`.
    struct Timings {
        double open = 0;                  // the developer made from the bytes (header read)
        double decode = 0;                // LibRaw unpack and demosaic, wherever it happened
        std::vector<double> searchTries;  // each exposure-search try (develop and analyse), decode excluded
        double develop = 0;               // the output at the final options, decode excluded
        double boost = 0, filter = 0, watermark = 0, render = 0, encode = 0;
    } timings;

private:
    void finishCapture();
};

}  // namespace sorvel
