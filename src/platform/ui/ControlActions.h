#pragma once
// The named actions of a control (a button's tap, a slider's change): the names are what the
// app and tests read, the actions run in the order they were added. Main thread only.

#include <functional>
#include <string>
#include <vector>

namespace sorvel {

class ControlActions {
public:
    using Action = std::function<void()>;

    void add(std::string name, Action action) {
        names_.push_back(std::move(name));
        actions_.push_back(std::move(action));
    }
    const std::vector<std::string>& names() const { return names_; }
    void send() const {
        // A copy: an action may add actions or rebuild the control's.
        auto actions = actions_;
        for (auto& a : actions)
            if (a) a();
    }

private:
    std::vector<std::string> names_;
    std::vector<Action> actions_;
};

}  // namespace sorvel
