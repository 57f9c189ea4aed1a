#include "platform/image/segmentation/PersonSegmenter.h"

#include <mutex>

#include "platform/image/segmentation/CascadePersonSegmenter.h"

namespace sorvel::image::segmentation {

namespace {
std::mutex& slotMutex() {
    static std::mutex m;
    return m;
}
std::shared_ptr<const PersonSegmenter>& slot() {
    static std::shared_ptr<const PersonSegmenter> s;
    return s;
}
}  // namespace

std::shared_ptr<const PersonSegmenter> PersonSegmenter::current() {
    std::lock_guard lock(slotMutex());
    if (!slot()) slot() = std::make_shared<const CascadePersonSegmenter>();
    return slot();
}

void PersonSegmenter::install(std::shared_ptr<const PersonSegmenter> segmenter) {
    std::lock_guard lock(slotMutex());
    slot() = std::move(segmenter);
}

}  // namespace sorvel::image::segmentation
