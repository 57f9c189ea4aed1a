#pragma once
// The hidden system volume view: it holds one slider whose value, when set by code, becomes
// the system output volume, and which follows the output volume when something else moves
// it. The app finds the slider as the first subview that is a Slider. Main thread only.

#include <memory>

#include "Slider.h"
#include "View.h"

namespace sorvel {

class VolumeView : public View {
public:
    explicit VolumeView(QWidget* parent = nullptr);
    ~VolumeView() override;
    Slider* slider() const { return slider_; }

private:
    Slider* slider_;  // a child widget, owned by Qt's parent chain
    int observerToken_ = 0;
    std::shared_ptr<bool> alive_;
};

}  // namespace sorvel
