#include "PhotoLibrarySaves.h"

#include <memory>

#include "platform/foundation/Console.h"
#include "platform/foundation/ConsoleMute.h"
#include "platform/photos/PhotoLibrary.h"

namespace sorvel {

namespace {

struct KindLines {
    const char* success;  // nullptr: none printed
    const char* failurePrefix;
    const char* refusal;
};

KindLines linesFor(LibrarySaveKind kind) {
    switch (kind) {
    case LibrarySaveKind::Still: return {"静态照片已保存到相册（HEIC格式）。", "保存静态照片时出错: ", "未授权访问相册。"};
    case LibrarySaveKind::FilterTest: return {"HEIC 图片已保存到相册", "保存 HEIC 图片时出错: ", nullptr};
    case LibrarySaveKind::FilteredLivePhotoStill:
        return {"滤镜静态照片已成功保存到相册（HEIC格式）。", "保存滤镜静态照片时出错: ", "未授权访问相册。"};
    case LibrarySaveKind::LivePhoto: return {"实况照片保存成功。", "保存实况照片时出错: ", "未授权访问相册。"};
    case LibrarySaveKind::DeepRaw: return {nullptr, "保存RAW到照片库时出错: ", nullptr};
    case LibrarySaveKind::DeepHeic: return {nullptr, "保存到照片库时出错: ", nullptr};
    }
    return {nullptr, "", nullptr};
}

void submit(LibrarySaveKind kind, Bytes photo, std::optional<std::filesystem::path> movie,
            std::optional<Location> location, SaveReport report, LibrarySaveOptions options, bool quiet) {
    auto identifier = std::make_shared<std::string>();
    auto ended = options.ended;
    PhotoLibrary::shared().performChanges(
        [kind, photo = std::move(photo), movie, location, identifier, options, quiet]() mutable {
            ScopedConsoleMute mute(quiet);
            auto& request = AssetCreationRequest::creationRequestForAsset();
            if (!options.localIdentifier.empty()) request.setLocalIdentifier(options.localIdentifier);
            request.setCreationDate(options.creationDate);
            *identifier = request.placeholderLocalIdentifier();
            if (kind == LibrarySaveKind::DeepRaw && location) request.setLocation(location);
            request.addResource(AssetResourceType::Photo, std::move(photo));
            if (kind == LibrarySaveKind::LivePhoto) {
                consolePrint("将照片资源添加到创建请求中。");
                AssetResourceCreationOptions options;
                options.shouldMoveFile = true;
                if (movie) request.addResource(AssetResourceType::PairedVideo, *movie, options);
                consolePrint("将视频资源添加到创建请求中。");
            }
            if ((kind == LibrarySaveKind::LivePhoto || kind == LibrarySaveKind::DeepHeic) && location)
                request.setLocation(location);
        },
        [kind, identifier, report, ended, quiet](bool success, const std::optional<LibraryError>& error) {
            ScopedConsoleMute mute(quiet);
            KindLines lines = linesFor(kind);
            if (success) {
                if (lines.success) consolePrint(lines.success);
                if (ended) ended(SaveEnd::Saved);
                if (report) report(true, lines.success ? lines.success : "", *identifier);
                return;
            }
            std::string line = std::string(lines.failurePrefix) + (error ? error->description : "");
            if (error) consolePrint(line);
            if (ended) ended(SaveEnd::Failed);
            if (report) report(false, line, {});
        });
}

}  // namespace

void saveToPhotoLibrary(LibrarySaveKind kind, Bytes photo, std::optional<std::filesystem::path> pairedMovie,
                        std::optional<Location> location, SaveReport report, LibrarySaveOptions options) {
    const bool quiet = consoleMuted();
    if (kind == LibrarySaveKind::FilterTest) {
        submit(kind, std::move(photo), std::nullopt, std::nullopt, std::move(report), std::move(options), quiet);
        return;
    }
    auto answer = [kind, photo = std::move(photo), pairedMovie, location, report, options = std::move(options),
                   quiet](AuthorizationStatus status) mutable {
        if (status != AuthorizationStatus::Authorized) {
            ScopedConsoleMute mute(quiet);
            KindLines lines = linesFor(kind);
            if (lines.refusal) consolePrint(lines.refusal);
            if (options.ended) options.ended(SaveEnd::Refused);
            if (report) report(false, lines.refusal ? lines.refusal : "未授权访问相册。", {});
            return;
        }
        submit(kind, std::move(photo), pairedMovie, location, std::move(report), std::move(options), quiet);
    };
    bool addOnly = kind == LibrarySaveKind::DeepRaw || kind == LibrarySaveKind::DeepHeic;
    if (addOnly) PhotoLibrary::requestAuthorization(PhotoLibrary::AccessLevel::AddOnly, std::move(answer));
    else PhotoLibrary::requestAuthorization(std::move(answer));
}

}  // namespace sorvel
