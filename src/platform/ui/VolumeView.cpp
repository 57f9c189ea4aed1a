#include "VolumeView.h"

#include "platform/capture/AudioSession.h"
#include "platform/foundation/Dispatch.h"

namespace sorvel {

namespace {

// The slider of the system volume: a value set by code becomes the output volume; the
// session's own changes come back through storeValue, which has no side effect.
class SystemVolumeSlider final : public Slider {
public:
    using Slider::Slider;
    void setValue(float value) override {
        storeValue(value);
        AudioSession::shared().setOutputVolume(this->value());
    }
    void follow(float volume) { storeValue(volume); }
};

}  // namespace

VolumeView::VolumeView(QWidget* parent) : View(parent), alive_(std::make_shared<bool>(true)) {
    setFrame(QRectF(0, 0, 100, 30));
    auto* slider = new SystemVolumeSlider(QRectF(0, 0, 100, 30), this);
    slider->follow(AudioSession::shared().outputVolume());
    slider_ = slider;
    std::weak_ptr<bool> alive = alive_;
    observerToken_ = AudioSession::shared().addVolumeObserver([slider, alive](float volume) {
        // The session calls observers on the thread that changed the volume; the widget is
        // touched on the main thread only.
        auto follow = [slider, alive, volume] {
            if (!alive.expired()) slider->follow(volume);
        };
        if (DispatchQueue::isMainThread()) follow();
        else DispatchQueue::main().async(follow);
    });
}

VolumeView::~VolumeView() {
    alive_.reset();
    AudioSession::shared().removeVolumeObserver(observerToken_);
}

}  // namespace sorvel
