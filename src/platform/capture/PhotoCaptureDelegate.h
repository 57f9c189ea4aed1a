#pragma once
// Callbacks of one capture, in this order, on the photo output's callback queue and never
// overlapping:
//   willBeginCapture
//   didFinishProcessingPhoto            (photo, or error)
//   didFinishRecordingLivePhotoMovie    (Live Photo only)
//   didFinishProcessingLivePhotoMovie   (Live Photo only: file, duration, display time, or error)
//   didFinishCapture                    (resolved settings, or error)
// A capture refused before it began skips willBeginCapture and the movie callbacks.

#include <filesystem>

#include "platform/capture/CapturedPhoto.h"

namespace sorvel {

class PhotoOutput;

class PhotoCaptureDelegate {
public:
    virtual ~PhotoCaptureDelegate() = default;
    virtual void willBeginCapture(PhotoOutput& output, const ResolvedPhotoSettings& settings) {
        (void)output, (void)settings;
    }
    virtual void didFinishProcessingPhoto(PhotoOutput& output, const CapturedPhoto& photo, const CaptureStatus& error) {
        (void)output, (void)photo, (void)error;
    }
    virtual void didFinishRecordingLivePhotoMovie(PhotoOutput& output, const std::filesystem::path& movieFile,
                                                  const ResolvedPhotoSettings& settings) {
        (void)output, (void)movieFile, (void)settings;
    }
    // `duration` and `photoDisplayTime` in seconds from the movie's start.
    virtual void didFinishProcessingLivePhotoMovie(PhotoOutput& output, const std::filesystem::path& movieFile,
                                                   double duration, double photoDisplayTime,
                                                   const ResolvedPhotoSettings& settings, const CaptureStatus& error) {
        (void)output, (void)movieFile, (void)duration, (void)photoDisplayTime, (void)settings, (void)error;
    }
    virtual void didFinishCapture(PhotoOutput& output, const ResolvedPhotoSettings& settings,
                                  const CaptureStatus& error) {
        (void)output, (void)settings, (void)error;
    }
};

}  // namespace sorvel
