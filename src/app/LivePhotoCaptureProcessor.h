#pragma once
// The capture delegate of one Live Photo: keeps the still until the movie arrives, saves the
// pair as one asset, previews it, reports the running state to the controller, and saves a
// filtered copy of the still when a user filter is on. Callbacks run on the photo output's
// callback queue, one at a time.

#include <functional>
#include <memory>
#include <optional>

#include "app/journal/JournalEntry.h"
#include "platform/capture/PhotoCaptureDelegate.h"
#include "platform/location/Location.h"

namespace sorvel {

class ViewController;

class LivePhotoCaptureProcessor : public PhotoCaptureDelegate {
public:
    std::weak_ptr<ViewController> viewController;
    std::optional<Location> currentLocation;
    std::function<void(bool)> livePhotoStatusHandler = [](bool) {};
    std::optional<Bytes> stillImageData;
    bool isLivePhotoCaptureFailed = false;
    // The press in the capture journal: what the processing reads, where the still and movie
    // are kept until the library has them.
    std::shared_ptr<JournalEntry> entry = std::make_shared<JournalEntry>();

    void willBeginCapture(PhotoOutput& output, const ResolvedPhotoSettings& settings) override;
    void didFinishProcessingPhoto(PhotoOutput& output, const CapturedPhoto& photo, const CaptureStatus& error) override;
    void didFinishRecordingLivePhotoMovie(PhotoOutput& output, const std::filesystem::path& movieFile,
                                          const ResolvedPhotoSettings& settings) override;
    void didFinishProcessingLivePhotoMovie(PhotoOutput& output, const std::filesystem::path& movieFile, double duration,
                                           double photoDisplayTime, const ResolvedPhotoSettings& settings,
                                           const CaptureStatus& error) override;

    void saveLivePhotoToPhotosLibrary(const Bytes& still, const std::filesystem::path& movie,
                                      const std::optional<Location>& location);
    // False when the still could not be processed.
    bool saveFilteredPhoto(const Bytes& still);
    void showPhotoPreview();
    // A press of an earlier process: the pair saved when the movie is there, else the still
    // alone; only the slots not yet in the library. False when the still could not be processed.
    bool finishRecovered(const Bytes& still, const std::optional<std::filesystem::path>& movie);

private:
    // Whether the movie failed after the still had already arrived; then the still is saved alone.
    bool stillHandled_ = false;
};

}  // namespace sorvel
