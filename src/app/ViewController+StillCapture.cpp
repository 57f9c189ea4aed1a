// The normal still: settings for the press, the photo callback, the save into the library.

#include "app/PhotoLibrarySaves.h"
#include "app/StillPhotoMath.h"
#include "app/StillPhotoPipeline.h"
#include "app/ViewController.h"
#include "app/journal/CaptureJournal.h"
#include "app/journal/PressProcessing.h"
#include "platform/foundation/Console.h"
#include "platform/foundation/PausePoint.h"
#include "platform/foundation/SettingsStore.h"
#include "platform/location/GpsMetadata.h"

namespace sorvel {

void ViewController::captureStillPhoto() {
    PhotoSettings settings = PhotoSettings::withFormat(VideoCodec::Hevc);
    settings.isAutoStillImageStabilizationEnabled = false;
    settings.flashMode = static_cast<FlashMode>(captureFlashModeFor(SettingsStore::standard().integerForKey("flash_mode")));
    if (auto location = currentLocation()) settings.metadata["{GPS}"] = gpsMetadata(*location);
    // Always portrait: the picture is turned upright later, from the orientation at the press.
    if (CaptureConnection* connection = photoOutput->connection(MediaType::Video);
        connection && connection->isVideoOrientationSupported())
        connection->setVideoOrientation(VideoOrientation::Portrait);
    // The press is in the journal and with the camera before the haptic and the blink tell the
    // user it was taken.
    auto entry = journalPress(CaptureKind::Still);
    settings.captureIdentifier = entry->identifier;
    {
        std::lock_guard lock(stillEntriesMutex_);
        stillEntries_[settings.uniqueID()] = entry;
    }
    photoOutput->capturePhoto(settings, std::static_pointer_cast<PhotoCaptureDelegate>(shared_from_this()));
    if (feedbackGenerator1) feedbackGenerator1->impactOccurred();
    flashAnimation();
    consolePrint("捕捉静态照片。");
}

// Capture callback queue: the whole still is processed here, off the main thread.
void ViewController::didFinishProcessingPhoto(PhotoOutput&, const CapturedPhoto& photo, const CaptureStatus& error) {
    std::shared_ptr<JournalEntry> entry;
    {
        std::lock_guard lock(stillEntriesMutex_);
        auto it = stillEntries_.find(photo.resolvedSettings.uniqueID);
        if (it != stillEntries_.end()) {
            entry = it->second;
            stillEntries_.erase(it);
        }
    }
    auto journal = CaptureJournal::shared();
    auto fail = [&](const std::string& line) {
        consolePrint(line);
        if (entry && journal) journal->abandon(*entry);
        reportOutcome(false, line);
    };
    if (error) return fail("捕捉静态照片时出错: " + error->description);
    const auto& data = photo.fileDataRepresentation();
    if (!data) return fail("获取静态照片数据失败。");
    if (!entry) entry = std::make_shared<JournalEntry>();  // a capture this controller did not press
    if (journal)
        if (auto problem = journal->attachPhoto(*entry, *data))
            consolePrint("无法把照片写入拍摄日志（" + *problem + "）：照片只在内存中处理。");
    pausePoint("journal-written");
    processStillPress(entry, *data, false);
}

bool ViewController::processStillPress(const std::shared_ptr<JournalEntry>& entry, const Bytes& data, bool recovering) {
    PressSettingsScope pressSettings(*entry);
    double scale = static_cast<double>(SettingsStore::standard().floatForKey("normal_resolution_scale"));
    consolePrint("拍照时的设备方向: " + std::to_string(entry->orientation));
    auto heic = scalePhotoResolutionAndConvertToHEIC(data, scale, entry->orientation, entry->frontCamera, pressHooks(*entry));
    if (!heic) {
        consolePrint("缩放照片分辨率或转换为HEIC失败。");
        // After a restart the entry is kept aside instead: its bytes are what failed.
        if (!recovering) {
            dropPressSlot(entry, assetSlot::kStill);
            reportOutcome(false, "缩放照片分辨率或转换为HEIC失败。");
        }
        return false;
    }
    if (!recovering) {
        if (auto preview = image::Image::fromBytes(*heic)) {
            DispatchQueue::main().async(weakly(shared_from_this(), [preview](ViewController& self) {
                self.showPreview(preview, 1.0);
            }));
        }
    }
    auto report = recovering ? SaveReport() : SaveReport([weak = weak_from_this()](bool success, const std::string& line,
                                                                                   const std::string& asset) {
        if (auto self = weak.lock()) self->reportOutcome(success, line, asset);
    });
    savePressAsset(entry, assetSlot::kStill, LibrarySaveKind::Still, std::move(*heic), std::nullopt, std::nullopt, report);
    return true;
}

}  // namespace sorvel
