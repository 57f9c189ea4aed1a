#pragma once
// Work done on behalf of an earlier moment (a capture processed after a restart) reads the
// settings as they were then: while a ScopedSettingsOverride lives, SettingsStore::standard()
// on its thread is the given store. Other threads are not affected.

namespace sorvel {

class SettingsStore;

class ScopedSettingsOverride {
public:
    explicit ScopedSettingsOverride(SettingsStore* store);
    ~ScopedSettingsOverride();
    ScopedSettingsOverride(const ScopedSettingsOverride&) = delete;
    ScopedSettingsOverride& operator=(const ScopedSettingsOverride&) = delete;

private:
    SettingsStore* previous_;
};

}  // namespace sorvel
