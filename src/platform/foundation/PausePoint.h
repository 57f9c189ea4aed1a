#pragma once
// Named places in long work where a kill test stops the process: when $SORVEL_PAUSE_AT names
// this point, the thread that reaches it writes "paused at NAME" to standard error and waits
// there for ever, so the test can kill the process at exactly that moment. Without the variable
// it costs one comparison.

namespace sorvel {

void pausePoint(const char* name);

}  // namespace sorvel
