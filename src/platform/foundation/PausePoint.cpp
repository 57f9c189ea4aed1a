#include "PausePoint.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace sorvel {

void pausePoint(const char* name) {
    static const char* wanted = std::getenv("SORVEL_PAUSE_AT");
    if (!wanted || std::strcmp(wanted, name) != 0) return;
    std::fprintf(stderr, "paused at %s\n", name);
    std::fflush(stderr);
    for (;;) ::pause();
}

}  // namespace sorvel
