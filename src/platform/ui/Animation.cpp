#include "Animation.h"

#include "View.h"
#include "platform/foundation/Clock.h"
#include "platform/foundation/Dispatch.h"

namespace sorvel {

namespace {
thread_local const animation_detail::Context* collecting = nullptr;
}

const animation_detail::Context* animation_detail::current() { return collecting; }

void animate(double duration, const std::function<void()>& changes, std::function<void(bool)> completion,
             AnimationOptions options) {
    animation_detail::Context ctx{Clock::current().now() + options.delay, duration, options.springDamping};
    const animation_detail::Context* outer = collecting;
    collecting = &ctx;
    changes();
    collecting = outer;
    double total = options.delay + duration;
    DispatchQueue::main().asyncAfter(total, [completion = std::move(completion)] {
        View::applyAnimationsNow();
        if (completion) completion(true);
    });
}

void transitionCrossDissolve(View* view, double duration, const std::function<void()>& changes,
                             std::function<void(bool)> completion) {
    // The model changes at once; the view fades its new look in over the duration.
    changes();
    if (view) view->beginCrossDissolve(duration);
    if (completion) DispatchQueue::main().asyncAfter(duration, [completion = std::move(completion)] { completion(true); });
}

}  // namespace sorvel
