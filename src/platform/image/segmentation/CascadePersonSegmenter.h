#pragma once
// The built-in person segmenter. People are found three ways — OpenCV's HOG people detector,
// its Haar face cascades (from Debian's opencv-data), and head-shaped skin-coloured blobs with
// darker hair on one side — each in the picture as it lies and turned by a quarter either way,
// since a portrait photo's pixels lie on their side until its orientation is applied. A
// body-shaped prior is placed on each find, upright in its own frame, and GrabCut refines it to
// the outline. No model is downloaded; without the cascade files it runs on the other two cues.

#include <memory>

#include "platform/image/segmentation/PersonSegmenter.h"

namespace sorvel::image::segmentation {

class CascadePersonSegmenter final : public PersonSegmenter {
public:
    CascadePersonSegmenter();
    ~CascadePersonSegmenter() override;

    int analysisSide(Quality quality) const override;
    std::optional<Mask> segment(const Bitmap& picture, Quality quality) const override;

private:
    struct Detectors;
    std::unique_ptr<Detectors> detectors_;
};

}  // namespace sorvel::image::segmentation
