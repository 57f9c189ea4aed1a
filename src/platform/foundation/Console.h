#pragma once
// The system's console lines: written to standard output exactly as given, one per call,
// with no level, time stamp or prefix. Tests capture them instead.

#include <cstdio>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace sorvel {

// Writes `line` and a newline. Any thread; lines from different threads never interleave.
void consolePrint(std::string_view line);

// Where lines go when nothing captures them (standard output unless told otherwise; the
// command-line tools that print a document on standard output send them to standard error).
void setConsoleStream(std::FILE* stream);

// While alive, lines go to this capture (and not to standard output).
class ConsoleCapture {
public:
    ConsoleCapture();
    ~ConsoleCapture();
    ConsoleCapture(const ConsoleCapture&) = delete;
    ConsoleCapture& operator=(const ConsoleCapture&) = delete;

    std::vector<std::string> lines() const;
    bool contains(std::string_view line) const;
    // Index of the first line equal to `line` at or after `from`, or -1.
    int indexOf(std::string_view line, int from = 0) const;
    void clear();
};

}  // namespace sorvel
