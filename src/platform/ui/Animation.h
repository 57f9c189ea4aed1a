#pragma once
// View animations on the Clock, as a phone toolkit has them: the changes made inside an
// animation block take effect in the model at once (readers see the final value), the screen
// shows them interpolated over the duration, and the completion runs on the main queue once
// the Clock has passed delay + duration. In tests, advancing the virtual clock finishes
// animations and runs their completions. Main thread only.

#include <functional>

namespace sorvel {

class View;

// Whether a control's change from code is shown animated (a switch's thumb sliding over).
enum class Animated { No, Yes };

struct AnimationOptions {
    double delay = 0;
    // A spring: damping ratio below 1 overshoots; 0 means a plain ease-in-out curve.
    double springDamping = 0;
    double initialSpringVelocity = 0;
};

// `completion` gets true when the animation ran to its end (always, here: nothing cancels).
void animate(double duration, const std::function<void()>& changes, std::function<void(bool)> completion = nullptr,
             AnimationOptions options = {});

// A cross-dissolve of one view's appearance over `duration`.
void transitionCrossDissolve(View* view, double duration, const std::function<void()>& changes,
                             std::function<void(bool)> completion = nullptr);

namespace animation_detail {
// The block currently collecting changes, or nullptr. Views ask it when a property changes.
struct Context {
    double start;
    double duration;
    double springDamping;
};
const Context* current();
}  // namespace animation_detail

}  // namespace sorvel
