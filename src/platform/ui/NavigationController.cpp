#include "NavigationController.h"

namespace sorvel {

NavigationController::NavigationController(std::shared_ptr<ScreenController> root)
    : ScreenController(root->screenProfile()), root_(std::move(root)) {
    adopt(*root_);
}

NavigationController::~NavigationController() {
    // The root's view belongs to the root controller, not to this screen's view.
    if (root_->isViewLoaded()) root_->view()->setParent(nullptr);
}

void NavigationController::viewDidLoad() {
    View* root = view();
    root->setBackgroundColor(QColor(0, 0, 0));
    const double w = root->bounds().width(), h = root->bounds().height();
    const double top = safeAreaInsets().top;
    bar_ = new NavigationBar(QRectF(0, 0, w, top + NavigationBar::kHeight), nullptr);
    const NavigationItem& item = root_->navigationItem();
    bar_->setTitle(item.title);
    bar_->setLeftBarButtonItem(item.leftBarButtonItem);
    bar_->setRightBarButtonItem(item.rightBarButtonItem);
    View* content = root_->view();
    content->setFrame(QRectF(0, top + NavigationBar::kHeight, w, h - top - NavigationBar::kHeight));
    root->addSubview(content);
    root->addSubview(bar_);
}

}  // namespace sorvel
