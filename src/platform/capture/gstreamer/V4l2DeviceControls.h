#pragma once
// The control table of a V4L2 video node (/dev/videoN), through its ioctls. The node is
// opened for controls only: streaming stays with the GStreamer source, and V4L2 lets a
// second opener change controls while it streams.

#include <memory>
#include <string>

#include "platform/capture/gstreamer/V4l2ControlTable.h"

namespace sorvel {

class V4l2DeviceControls final : public V4l2ControlTable {
public:
    // Nothing when the node cannot be opened (gone, or not ours to open).
    static std::shared_ptr<V4l2DeviceControls> open(const std::string& path);
    ~V4l2DeviceControls() override;

    std::vector<V4l2Control> controls() const override;
    std::optional<std::int64_t> value(std::uint32_t id) override;
    std::optional<std::string> setValue(std::uint32_t id, std::int64_t value) override;

private:
    explicit V4l2DeviceControls(int fd) : fd_(fd) {}
    int fd_;
};

}  // namespace sorvel
