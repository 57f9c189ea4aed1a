#pragma once
// Named notifications delivered synchronously to observers on the posting thread.

#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace sorvel {

namespace notifications {
inline constexpr const char* kDidBecomeActive = "ApplicationDidBecomeActive";
inline constexpr const char* kWillResignActive = "ApplicationWillResignActive";
}  // namespace notifications

class NotificationCenter {
public:
    static NotificationCenter& defaultCenter();

    // `owner` identifies the observer for removal; it is never dereferenced.
    void addObserver(const void* owner, std::string name, std::function<void()> handler);
    void removeObserver(const void* owner);
    void post(const std::string& name);
    int observerCount(const std::string& name) const;

private:
    struct Entry {
        const void* owner;
        std::string name;
        std::function<void()> handler;
    };
    mutable std::mutex mutex_;
    std::vector<Entry> entries_;
};

}  // namespace sorvel
