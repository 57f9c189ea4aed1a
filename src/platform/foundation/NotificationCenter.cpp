#include "NotificationCenter.h"

#include <algorithm>

namespace sorvel {

NotificationCenter& NotificationCenter::defaultCenter() {
    static NotificationCenter center;
    return center;
}

void NotificationCenter::addObserver(const void* owner, std::string name, std::function<void()> handler) {
    std::lock_guard lock(mutex_);
    entries_.push_back({owner, std::move(name), std::move(handler)});
}

void NotificationCenter::removeObserver(const void* owner) {
    std::lock_guard lock(mutex_);
    std::erase_if(entries_, [&](const Entry& e) { return e.owner == owner; });
}

void NotificationCenter::post(const std::string& name) {
    std::vector<std::function<void()>> handlers;
    {
        std::lock_guard lock(mutex_);
        for (const auto& e : entries_)
            if (e.name == name) handlers.push_back(e.handler);
    }
    // Called outside the lock: a handler may add or remove observers.
    for (auto& h : handlers) h();
}

int NotificationCenter::observerCount(const std::string& name) const {
    std::lock_guard lock(mutex_);
    return static_cast<int>(std::count_if(entries_.begin(), entries_.end(), [&](const Entry& e) { return e.name == name; }));
}

}  // namespace sorvel
