#include "platform/capture/gstreamer/V4l2DeviceControls.h"

#include <fcntl.h>
#include <linux/videodev2.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace sorvel {

namespace {

int retryIoctl(int fd, unsigned long request, void* argument) {
    int r;
    do r = ::ioctl(fd, request, argument);
    while (r < 0 && errno == EINTR);
    return r;
}

V4l2Control::Type typeOf(std::uint32_t type) {
    switch (type) {
    case V4L2_CTRL_TYPE_INTEGER:
    case V4L2_CTRL_TYPE_INTEGER64: return V4l2Control::Type::Integer;
    case V4L2_CTRL_TYPE_BOOLEAN: return V4l2Control::Type::Boolean;
    case V4L2_CTRL_TYPE_MENU: return V4l2Control::Type::Menu;
    case V4L2_CTRL_TYPE_INTEGER_MENU: return V4l2Control::Type::IntegerMenu;
    case V4L2_CTRL_TYPE_BUTTON: return V4l2Control::Type::Button;
    default: return V4l2Control::Type::Other;
    }
}

}  // namespace

std::shared_ptr<V4l2DeviceControls> V4l2DeviceControls::open(const std::string& path) {
    int fd = ::open(path.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return nullptr;
    return std::shared_ptr<V4l2DeviceControls>(new V4l2DeviceControls(fd));
}

V4l2DeviceControls::~V4l2DeviceControls() { ::close(fd_); }

std::vector<V4l2Control> V4l2DeviceControls::controls() const {
    std::vector<V4l2Control> out;
    v4l2_query_ext_ctrl query{};
    query.id = V4L2_CTRL_FLAG_NEXT_CTRL;
    while (retryIoctl(fd_, VIDIOC_QUERY_EXT_CTRL, &query) == 0) {
        if (!(query.flags & V4L2_CTRL_FLAG_DISABLED) && query.type != V4L2_CTRL_TYPE_CTRL_CLASS) {
            V4l2Control c;
            c.id = query.id;
            c.type = typeOf(query.type);
            c.name.assign(query.name, strnlen(query.name, sizeof query.name));
            c.minimum = query.minimum;
            c.maximum = query.maximum;
            c.step = static_cast<std::int64_t>(query.step);
            c.defaultValue = query.default_value;
            c.readOnly = (query.flags & (V4L2_CTRL_FLAG_READ_ONLY | V4L2_CTRL_FLAG_GRABBED)) != 0;
            if (c.type == V4l2Control::Type::Menu || c.type == V4l2Control::Type::IntegerMenu) {
                for (std::int64_t i = query.minimum; i <= query.maximum && i - query.minimum < 64; ++i) {
                    v4l2_querymenu item{};
                    item.id = query.id;
                    item.index = static_cast<std::uint32_t>(i);
                    if (retryIoctl(fd_, VIDIOC_QUERYMENU, &item) == 0) c.menuItems.push_back(i);
                }
            }
            out.push_back(std::move(c));
        }
        std::uint32_t next = query.id | V4L2_CTRL_FLAG_NEXT_CTRL;
        query = {};
        query.id = next;
    }
    return out;
}

std::optional<std::int64_t> V4l2DeviceControls::value(std::uint32_t id) {
    v4l2_control c{};
    c.id = id;
    if (retryIoctl(fd_, VIDIOC_G_CTRL, &c) < 0) return std::nullopt;
    return c.value;
}

std::optional<std::string> V4l2DeviceControls::setValue(std::uint32_t id, std::int64_t value) {
    v4l2_control c{};
    c.id = id;
    c.value = static_cast<std::int32_t>(value);
    if (retryIoctl(fd_, VIDIOC_S_CTRL, &c) < 0) return std::string(std::strerror(errno));
    return std::nullopt;
}

}  // namespace sorvel
