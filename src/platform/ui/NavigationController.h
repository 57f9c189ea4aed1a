#pragma once
// A screen with a navigation bar over another controller's screen: the bar shows the root
// controller's navigationItem() (title, bar buttons) below the safe area's top, the root's
// view fills the rest. Present it like any screen.
//
//   auto list = std::make_shared<CollectionViewController>(profile);
//   list->navigationItem().title = "选一个图标";
//   list->navigationItem().rightBarButtonItem =
//       BarButtonItem::titled("完成", BarButtonStyle::Done, "dismissIconPicker", [...] { ... });
//   auto nav = std::make_shared<NavigationController>(list);
//   host.present(nav);
//
// Main thread only.

#include <memory>

#include "NavigationBar.h"
#include "ScreenController.h"

namespace sorvel {

class NavigationController : public ScreenController {
public:
    explicit NavigationController(std::shared_ptr<ScreenController> root);
    ~NavigationController() override;

    ScreenController& rootController() const { return *root_; }
    NavigationBar* navigationBar() const { return bar_; }

    void viewDidLoad() override;
    void viewDidAppear() override { root_->viewDidAppear(); }
    void viewDidDisappear() override { root_->viewDidDisappear(); }

private:
    std::shared_ptr<ScreenController> root_;
    NavigationBar* bar_ = nullptr;
};

}  // namespace sorvel
