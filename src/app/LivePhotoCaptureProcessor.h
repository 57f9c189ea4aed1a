#pragma once
// The capture delegate of one Live Photo: keeps the still until the movie arrives, saves the
// pair as one asset, previews it, reports the running state to the controller, and saves a
// filtered copy of the still when a user filter is on. Callbacks run on the photo output's
// callback queue, one at a time.

#include <functional>
#include <memory>
#include <optional>

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

    void willBeginCapture(PhotoOutput& output, const ResolvedPhotoSettings& settings) override;
    void didFinishProcessingPhoto(PhotoOutput& output, const CapturedPhoto& photo, const CaptureStatus& error) override;
    void didFinishRecordingLivePhotoMovie(PhotoOutput& output, const std::filesystem::path& movieFile,
                                          const ResolvedPhotoSettings& settings) override;
    void didFinishProcessingLivePhotoMovie(PhotoOutput& output, const std::filesystem::path& movieFile, double duration,
                                           double photoDisplayTime, const ResolvedPhotoSettings& settings,
                                           const CaptureStatus& error) override;

    void saveLivePhotoToPhotosLibrary(const Bytes& still, const std::filesystem::path& movie,
                                      const std::optional<Location>& location);
    void saveFilteredPhoto(const Bytes& still);
    void showPhotoPreview();

private:
    // Whether the movie failed after the still had already arrived; then the still is saved alone.
    bool stillHandled_ = false;
};

}  // namespace sorvel
