#include "CollectionView.h"

#include <QResizeEvent>
#include <algorithm>

namespace sorvel {

CollectionViewCell::CollectionViewCell(QWidget* parent) : View(QRectF(0, 0, 50, 50), parent) {
    content_ = new View(QRectF(0, 0, 50, 50), this);
    content_->setUserInteractionEnabled(false);
    setAccessibilityIdentifier("collectionViewCell");
}

void CollectionViewCell::setSelected(bool selected) {
    selected_ = selected;
    setBackgroundColor(selected ? QColor(120, 120, 128, 90) : Qt::transparent);
}

void CollectionViewCell::resizeEvent(QResizeEvent* event) {
    View::resizeEvent(event);
    content_->setFrame(bounds());
}

CollectionView::CollectionView(const QRectF& frame, FlowLayout layout, QWidget* parent)
    : ScrollView(frame, parent), layout_(layout) {
    setAccessibilityIdentifier("collectionView");
}

void CollectionView::setLayout(FlowLayout layout) {
    layout_ = layout;
    layoutCells();
}

void CollectionView::registerCell(const std::string& reuseIdentifier, CellFactory factory) {
    factories_[reuseIdentifier] = std::move(factory);
}

CollectionViewCell* CollectionView::dequeueReusableCell(const std::string& reuseIdentifier, int) {
    auto& pool = reusable_[reuseIdentifier];
    if (!pool.empty()) {
        CollectionViewCell* cell = pool.back();
        pool.pop_back();
        cell->prepareForReuse();
        cell->setSelected(false);
        return cell;
    }
    auto it = factories_.find(reuseIdentifier);
    if (it == factories_.end() || !it->second) return nullptr;
    std::unique_ptr<CollectionViewCell> made = it->second();
    if (!made) return nullptr;
    made->reuseIdentifier_ = reuseIdentifier;
    CollectionViewCell* cell = made.release();  // the content view owns it from here
    contentView()->addSubview(cell);
    cell->hide();
    return cell;
}

void CollectionView::reloadData() {
    for (CollectionViewCell* cell : cells_) {
        cell->hide();
        reusable_[cell->reuseIdentifier()].push_back(cell);
    }
    cells_.clear();
    selected_.clear();
    int count = dataSource_ ? std::max(0, dataSource_->numberOfItems(*this)) : 0;
    for (int i = 0; i < count; ++i) {
        CollectionViewCell* cell = dataSource_->cellForItem(*this, i);
        if (!cell) continue;
        if (cell->parentWidget() != contentView()) contentView()->addSubview(cell);
        cells_.push_back(cell);
    }
    layoutCells();
}

void CollectionView::layoutCells() {
    frames_.clear();
    const double width = frame().width();
    const double left = layout_.sectionInsetLeft, right = width - layout_.sectionInsetRight;
    double x = left, y = layout_.sectionInsetTop, lineHeight = 0;
    for (std::size_t i = 0; i < cells_.size(); ++i) {
        QSizeF size = layout_.itemSize;
        if (delegate_)
            if (auto s = delegate_->sizeForItem(*this, static_cast<int>(i))) size = *s;
        size = QSizeF(std::min(size.width(), std::max(0.0, right - left)), size.height());
        if (x > left && x + size.width() > right + 0.001) {
            x = left;
            y += lineHeight + layout_.minimumLineSpacing;
            lineHeight = 0;
        }
        QRectF f(x, y, size.width(), size.height());
        frames_.push_back(f);
        cells_[i]->setFrame(f);
        cells_[i]->show();
        x += size.width() + layout_.minimumInteritemSpacing;
        lineHeight = std::max(lineHeight, size.height());
    }
    double bottom = cells_.empty() ? 0 : y + lineHeight + layout_.sectionInsetBottom;
    setContentSize(QSizeF(width, bottom));
}

void CollectionView::resizeEvent(QResizeEvent* event) {
    ScrollView::resizeEvent(event);
    layoutCells();
}

CollectionViewCell* CollectionView::cellForItem(int index) const {
    return index >= 0 && index < numberOfItems() ? cells_[static_cast<std::size_t>(index)] : nullptr;
}

QRectF CollectionView::frameForItem(int index) const {
    return index >= 0 && index < static_cast<int>(frames_.size()) ? frames_[static_cast<std::size_t>(index)] : QRectF();
}

std::optional<int> CollectionView::indexForItemAt(QPointF p) const {
    for (std::size_t i = 0; i < frames_.size(); ++i)
        if (frames_[i].contains(p)) return static_cast<int>(i);
    return std::nullopt;
}

void CollectionView::selectItem(int index) {
    if (!cellForItem(index)) return;
    selected_.insert(index);
    cellForItem(index)->setSelected(true);
}

void CollectionView::deselectItem(int index, Animated animated) {
    CollectionViewCell* cell = cellForItem(index);
    if (!cell) return;
    selected_.erase(index);
    if (animated == Animated::Yes) transitionCrossDissolve(cell, 0.3, [cell] { cell->setSelected(false); });
    else cell->setSelected(false);
}

std::vector<int> CollectionView::selectedItems() const { return {selected_.begin(), selected_.end()}; }

void CollectionView::tapped(QPointF point) {
    auto index = indexForItemAt(point + contentOffset());
    if (!index) return;
    // One selection at a time, as a list that picks one thing.
    for (int i : std::vector<int>(selected_.begin(), selected_.end()))
        if (i != *index) deselectItem(i);
    selectItem(*index);
    if (delegate_) delegate_->didSelectItem(*this, *index);
}

CollectionViewController::CollectionViewController(ScreenProfile profile, FlowLayout layout)
    : ScreenController(profile), layout_(layout) {}

CollectionView* CollectionViewController::collectionView() {
    loadViewIfNeeded();
    return collection_;
}

void CollectionViewController::viewDidLoad() {
    collection_ = new CollectionView(view()->bounds(), layout_, nullptr);
    view()->addSubview(collection_);
}

void CollectionViewController::viewDidLayoutSubviews() {
    if (collection_) collection_->setFrame(view()->bounds());
}

}  // namespace sorvel
