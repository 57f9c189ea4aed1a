// The controller's filter state as the capture paths read it, and the filter test with a
// chosen photo.

#include "app/PhotoLibrarySaves.h"
#include "app/ViewController.h"
#include "app/filters/FilterChain.h"
#include "app/filters/SavedFilter.h"
#include "platform/foundation/Console.h"
#include "platform/image/ImageDestination.h"

namespace sorvel {

bool ViewController::isFilterEnabled() const {
    std::lock_guard lock(sharedStateMutex_);
    return filterEnabled_;
}

void ViewController::setFilterEnabled(bool enabled) {
    std::lock_guard lock(sharedStateMutex_);
    filterEnabled_ = enabled;
}

std::optional<Dictionary> ViewController::selectedFilter() const {
    std::lock_guard lock(sharedStateMutex_);
    return selectedFilter_;
}

void ViewController::setSelectedFilter(std::optional<Dictionary> filter) {
    std::lock_guard lock(sharedStateMutex_);
    selectedFilter_ = std::move(filter);
}

void ViewController::runFilterTestWithPhoto() {
    consolePrint("正在使用照片测试滤镜，准备应用滤镜并保存");
    auto photo = selectedPhotoCIImage();
    if (!photo) {
        consolePrint("未选择照片或照片未转换为 CIImage");
        isFilterUsePhotoEnabled = false;
        reportOutcome(false, "未选择照片或照片未转换为 CIImage");
        return;
    }
    auto filter = selectedFilter();
    auto parameters = filter ? parametersOfFilter(*filter) : std::nullopt;
    if (!parameters) {
        consolePrint("没有选中的滤镜或滤镜参数为空");
        reportOutcome(false, "没有选中的滤镜或滤镜参数为空");
        return;
    }
    if (feedbackGenerator1) feedbackGenerator1->impactOccurred();
    flashAnimation();
    image::Image result = applyFilters(*photo, *parameters);
    auto bitmap = ciContext.render(result, result.extent(), image::PixelFormat::RGBA8, image::ColorSpace::SRGB);
    if (!bitmap) {
        consolePrint("无法创建 CGImage");
        reportOutcome(false, "无法创建 CGImage");
        return;
    }
    consolePrint("滤镜应用成功，准备保存图片");
    Bytes heic;
    auto destination = image::ImageDestination::make(heic, image::kTypeHEIC, 1);
    if (!destination) return;
    destination->addImage(*bitmap, {{image::kLossyCompressionQuality, 0.6}});
    if (!destination->finalize()) {
        reportOutcome(false, "无法完成图像目标");
        return;
    }
    auto weak = weak_from_this();
    saveToPhotoLibrary(LibrarySaveKind::FilterTest, std::move(heic), std::nullopt, std::nullopt,
                       [weak](bool success, const std::string& line, const std::string& asset) {
                           if (auto self = weak.lock()) self->reportOutcome(success, line, asset);
                       });
    consolePrint("滤镜应用后的照片已保存到相册");
}

std::optional<image::Image> ViewController::applyActiveFilter(const image::Image& picture) const {
    std::optional<Dictionary> filter;
    {
        std::lock_guard lock(sharedStateMutex_);
        if (!filterEnabled_) return std::nullopt;
        filter = selectedFilter_;
    }
    auto parameters = filter ? parametersOfFilter(*filter) : std::nullopt;
    if (!parameters) return std::nullopt;
    return applyFilters(picture, *parameters);
}

}  // namespace sorvel
