// The capture journal from the controller's side: the press's entry, and the entries an
// earlier process left, processed in the background at start-up.

#include <algorithm>

#include "app/LivePhotoCaptureProcessor.h"
#include "app/RAWCaptureDelegate.h"
#include "app/ViewController.h"
#include "app/filters/SavedFilter.h"
#include "app/journal/CaptureJournal.h"
#include "app/journal/PressProcessing.h"
#include "platform/capture/CaptureBackend.h"
#include "platform/capture/DeferredPhotoStore.h"
#include "platform/foundation/Clock.h"
#include "platform/foundation/Console.h"
#include "platform/foundation/ConsoleMute.h"
#include "platform/foundation/Localization.h"
#include "platform/foundation/SettingsStore.h"
#include "platform/foundation/Uuid.h"
#include "platform/photos/PhotoLibrary.h"
#include "platform/ui/Alert.h"

namespace sorvel {

namespace {

constexpr int kRecoveryAttempts = 3;

std::map<std::string, SlotState> requiredSlots(CaptureKind kind, bool filtered) {
    switch (kind) {
    case CaptureKind::Still: return {{assetSlot::kStill, SlotState::Pending}};
    case CaptureKind::LivePhoto: {
        std::map<std::string, SlotState> r{{assetSlot::kLivePhoto, SlotState::Pending}};
        if (filtered) r[assetSlot::kFiltered] = SlotState::Pending;
        return r;
    }
    case CaptureKind::Deep: {
        std::string format = deepSaveFormat();
        std::map<std::string, SlotState> r;
        if (format != "HEIC") r[assetSlot::kRaw] = SlotState::Pending;
        if (format != "RAW") r[assetSlot::kHeic] = SlotState::Pending;
        return r;
    }
    }
    return {};
}

// The saved assets' first files, for the one line a recovered press prints.
std::string savedFiles(const JournalEntry& entry) {
    std::string names;
    for (const auto& [slot, state] : entry.required) {
        if (state != SlotState::Committed) continue;
        auto asset = PhotoLibrary::shared().asset(entry.assetFor(slot.c_str()));
        if (!asset || asset->resources.empty()) continue;
        if (!names.empty()) names += "、";
        names += asset->resources.front().fileName;
    }
    return names;
}

}  // namespace

std::shared_ptr<JournalEntry> ViewController::journalPress(CaptureKind kind) {
    auto entry = std::make_shared<JournalEntry>();
    entry->identifier = makeUuid();
    entry->kind = kind;
    entry->pressDate = Clock::current().date();
    entry->settings = snapshotSettings();
    if (isFilterEnabled())
        if (auto filter = selectedFilter())
            if (auto parameters = parametersOfFilter(*filter)) entry->filterParameters = parametersDictionary(*parameters);
    entry->orientation = currentDeviceOrientation.load();
    entry->location = currentLocation();
    entry->frontCamera = isUsingFrontCamera();
    if (currentVideoDeviceInput) entry->cameraID = currentVideoDeviceInput->device()->uniqueID();
    entry->screenScale = screenProfile().scale;
    for (const char* slot : {assetSlot::kStill, assetSlot::kLivePhoto, assetSlot::kFiltered, assetSlot::kRaw, assetSlot::kHeic})
        entry->outputs[slot] = makeUuid();
    entry->required = requiredSlots(kind, entry->filterParameters.has_value());

    auto journal = CaptureJournal::shared();
    if (!journal) return entry;
    if (auto error = journal->begin(*entry)) {
        // The press goes on in memory: the picture is still taken and saved, only a kill before
        // then would lose it. Nothing already in the journal or the library is touched.
        consolePrint("无法写入拍摄日志（" + *error + "）：这张照片只在内存中处理，存入相册前退出会失去它。");
        if (!journalFailureShown_) {
            journalFailureShown_ = true;
            auto alert = Alert::make(QString::fromStdString(localized("无法写入拍摄日志")),
                                     QString::fromStdString(localized("存储空间可能已满或不可写。已保存的照片不受影响；请释放空间后再拍摄。")));
            alert->addAction(QString::fromStdString(localized("好")));
            alert->present(view());
        }
    }
    return entry;
}

void ViewController::recoverUnfinishedCaptures() {
    auto journal = CaptureJournal::shared();
    if (!journal) return;
    auto identifiers = journal->unfinishedIdentifiers();
    std::vector<std::string> orphans;
    for (const std::string& id : DeferredPhotoStore::identifiers())
        if (std::find(identifiers.begin(), identifiers.end(), id) == identifiers.end()) orphans.push_back(id);
    if (identifiers.empty() && orphans.empty()) return;
    for (const auto& id : identifiers) journal->adopt(id);
    isRecoveringCaptures = true;
    auto weak = weak_from_this();
    // Its own queue, at low priority: the preview's frames and new presses go first.
    static std::shared_ptr<DispatchQueue> queue = DispatchQueue::makeSerial("com.sorvel.journal.recovery");
    queue->async([weak, journal, identifiers, orphans] {
        for (const std::string& id : orphans) {
            // A camera record without a press: the press could not be journalled and its
            // process ended before the photo arrived.
            CaptureBackend::current().discardDeferredCapture(id);
            consolePrint("丢弃了一条没有拍摄日志的相机记录：" + id);
        }
        // Oldest press first, as they were taken.
        std::vector<std::pair<JournalEntry, std::optional<Bytes>>> loaded;
        for (const std::string& id : identifiers) {
            std::optional<Bytes> photo;
            auto result = journal->load(id, photo);
            if (auto* why = std::get_if<std::string>(&result)) {
                auto aside = journal->keepAside(id, *why);
                consolePrint("无法恢复一张上次未保存完的照片（" + *why + "），已将它移到 " + aside.string() + "。");
                continue;
            }
            loaded.emplace_back(std::get<JournalEntry>(std::move(result)), std::move(photo));
        }
        std::stable_sort(loaded.begin(), loaded.end(),
                         [](const auto& a, const auto& b) { return a.first.pressDate < b.first.pressDate; });
        for (auto& [value, photo] : loaded) {
            auto entry = std::make_shared<JournalEntry>(std::move(value));
            auto self = weak.lock();
            if (!self) return;
            // An entry that three starts could not finish (its saves keep failing, or it ended
            // the process each time) is set aside rather than tried for ever.
            if (entry->recoveryAttempts >= kRecoveryAttempts) {
                auto aside = journal->keepAside(entry->identifier, "three starts could not save it");
                consolePrint("无法恢复一张上次未保存完的照片（three starts could not save it），已将它移到 " + aside.string() + "。");
                continue;
            }
            journal->noteRecoveryAttempt(*entry);
            std::string problem = self->recoverEntry(entry, photo, *journal);
            if (!problem.empty()) {
                auto aside = journal->keepAside(entry->identifier, problem);
                consolePrint("无法恢复一张上次未保存完的照片（" + problem + "），已将它移到 " + aside.string() + "。");
            } else if (entry->needsRetry()) {
                consolePrint("上次未保存完的照片仍无法存入相册，已留在拍摄日志中。");
            } else {
                std::string files = savedFiles(*entry);
                consolePrint(files.empty() ? "上次按下快门的照片没有可保存的内容，已从拍摄日志中移除。"
                                           : "已保存上次未保存完的照片：" + files);
            }
        }
        if (auto self = weak.lock()) self->isRecoveringCaptures = false;
    });
}

std::string ViewController::recoverEntry(const std::shared_ptr<JournalEntry>& entry, std::optional<Bytes>& photo,
                                         CaptureJournal& journal) {
    ScopedConsoleMute quiet;
    CaptureBackend& backend = CaptureBackend::current();
    const bool needsMovie = entry->kind == CaptureKind::LivePhoto && !entry->hasMovie && !entry->movieFailed &&
                            entry->required.count(assetSlot::kLivePhoto) &&
                            entry->required.at(assetSlot::kLivePhoto) == SlotState::Pending;
    std::optional<DeferredCaptureResult> deferred;
    if (!photo || needsMovie) deferred = backend.finishDeferredCapture(entry->identifier);
    if (!photo) {
        if (!deferred) {
            // Journalled, but the camera never had the capture: the process ended between the
            // two, before the press was acknowledged.
            journal.abandon(*entry);
            return {};
        }
        if (deferred->photoError || !deferred->photo.fileData) {
            backend.discardDeferredCapture(entry->identifier);
            journal.abandon(*entry);
            return {};
        }
        photo = deferred->photo.fileData;
        if (auto error = journal.attachPhoto(*entry, *photo)) return "cannot journal the photo: " + *error;
    }
    std::filesystem::path movie = journal.movieFile(entry->identifier);
    if (needsMovie) {
        if (deferred && deferred->livePhoto && !deferred->movieError) {
            movie = deferred->movieFile;
            if (auto error = journal.attachMovie(*entry, movie)) return "cannot journal the movie: " + *error;
        } else {
            journal.markMovieFailed(*entry);
        }
    }
    backend.discardDeferredCapture(entry->identifier);

    bool processed = true;
    switch (entry->kind) {
    case CaptureKind::Still: processed = processStillPress(entry, *photo, true); break;
    case CaptureKind::LivePhoto: {
        auto processor = std::make_shared<LivePhotoCaptureProcessor>();
        processor->entry = entry;
        processor->currentLocation = entry->location;
        processed = processor->finishRecovered(*photo, entry->hasMovie ? std::optional(movie) : std::nullopt);
        break;
    }
    case CaptureKind::Deep: {
        auto delegate = std::make_shared<RAWCaptureDelegate>();
        delegate->entry = entry;
        delegate->currentLocation = entry->location;
        delegate->rawData = *photo;
        processed = delegate->develop();
        break;
    }
    }
    journal.waitUntilAnswered(*entry);
    return processed ? std::string() : std::string("the photo could not be processed");
}

}  // namespace sorvel
