#pragma once
// The app's main queue: blocks run on the Qt event loop of the GUI thread.

#include "platform/foundation/Dispatch.h"

namespace sorvel {

class QtMainQueue final : public DispatchQueue {
public:
    QtMainQueue();
    // Any thread.
    void async(Block block) override;
};

}  // namespace sorvel
