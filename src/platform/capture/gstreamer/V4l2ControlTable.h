#pragma once
// The controls a V4L2 video node offers, as a table: what each control is and its range, its
// value, and setting a value (which the driver may refuse). The real table talks to the node
// with ioctls (V4l2DeviceControls); tests use a table of their own.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace sorvel {

struct V4l2Control {
    enum class Type { Integer, Boolean, Menu, IntegerMenu, Button, Other };
    std::uint32_t id = 0;  // V4L2_CID_*
    Type type = Type::Integer;
    std::string name;
    std::int64_t minimum = 0, maximum = 0, step = 1, defaultValue = 0;
    std::vector<std::int64_t> menuItems;  // the valid indexes of a menu
    bool readOnly = false;

    bool hasMenuItem(std::int64_t index) const;
};

class V4l2ControlTable {
public:
    virtual ~V4l2ControlTable() = default;
    virtual std::vector<V4l2Control> controls() const = 0;
    // Nothing when the driver will not say.
    virtual std::optional<std::int64_t> value(std::uint32_t id) = 0;
    // Empty when the driver took the value, else its reason.
    virtual std::optional<std::string> setValue(std::uint32_t id, std::int64_t value) = 0;
};

}  // namespace sorvel
