#include "Console.h"
#include "ConsoleMute.h"

#include <cstdio>
#include <mutex>

namespace sorvel {

namespace {
std::mutex consoleMutex;
std::vector<std::string>* captured = nullptr;
std::FILE* stream = nullptr;
thread_local bool muted = false;
}

bool consoleMuted() { return muted; }
ScopedConsoleMute::ScopedConsoleMute(bool mute) : previous_(muted) { muted = muted || mute; }
ScopedConsoleMute::~ScopedConsoleMute() { muted = previous_; }

void setConsoleStream(std::FILE* s) {
    std::lock_guard lock(consoleMutex);
    stream = s;
}

void consolePrint(std::string_view line) {
    if (muted) return;
    std::lock_guard lock(consoleMutex);
    if (captured) {
        captured->emplace_back(line);
        return;
    }
    std::FILE* out = stream ? stream : stdout;
    std::fwrite(line.data(), 1, line.size(), out);
    std::fputc('\n', out);
    std::fflush(out);
}

ConsoleCapture::ConsoleCapture() {
    std::lock_guard lock(consoleMutex);
    captured = new std::vector<std::string>();
}

ConsoleCapture::~ConsoleCapture() {
    std::lock_guard lock(consoleMutex);
    delete captured;
    captured = nullptr;
}

std::vector<std::string> ConsoleCapture::lines() const {
    std::lock_guard lock(consoleMutex);
    return captured ? *captured : std::vector<std::string>{};
}

bool ConsoleCapture::contains(std::string_view line) const { return indexOf(line) >= 0; }

int ConsoleCapture::indexOf(std::string_view line, int from) const {
    auto all = lines();
    for (int i = std::max(from, 0); i < static_cast<int>(all.size()); ++i)
        if (all[i] == line) return i;
    return -1;
}

void ConsoleCapture::clear() {
    std::lock_guard lock(consoleMutex);
    if (captured) captured->clear();
}

}  // namespace sorvel
