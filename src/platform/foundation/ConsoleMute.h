#pragma once
// Quiet work: while a ScopedConsoleMute lives, consolePrint drops the lines of its thread. Work
// that hops to other threads carries the state along itself (consoleMuted() at the hop).

namespace sorvel {

bool consoleMuted();

class ScopedConsoleMute {
public:
    explicit ScopedConsoleMute(bool mute = true);
    ~ScopedConsoleMute();
    ScopedConsoleMute(const ScopedConsoleMute&) = delete;
    ScopedConsoleMute& operator=(const ScopedConsoleMute&) = delete;

private:
    bool previous_;
};

}  // namespace sorvel
