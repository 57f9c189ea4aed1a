#pragma once
// A list of cells in a flow layout inside a scroll view, as a phone's collection view: cells
// left to right, wrapping into lines (one cell a line when they are as wide as the view),
// scrolled vertically. A data source says how many items there are and gives each its cell;
// a delegate sizes items and hears selections. Cells come from registered factories and are
// reused: `dequeueReusableCell` hands back a cell that `prepareForReuse` cleared, or a new one.
// A click (a tap) on a cell selects it (drawn highlighted) and calls didSelectItem; a drag
// scrolls and selects nothing.
//
//   class IconCell : public CollectionViewCell { ... void prepareForReuse() override; };
//   collection->registerCell("IconCell", [] { return std::make_unique<IconCell>(); });
//   collection->setDataSource(&panel);     // borrowed: clear it before the panel goes
//   collection->setDelegate(&panel);
//   collection->reloadData();
//   // in cellForItem: auto* cell = collection.dequeueReusableCell("IconCell", index);
//   // in didSelectItem: collection.deselectItem(index, Animated::Yes);
//
// Main thread only.

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "Animation.h"
#include "ScreenController.h"
#include "ScrollView.h"

namespace sorvel {

class CollectionView;

class CollectionViewCell : public View {
public:
    explicit CollectionViewCell(QWidget* parent = nullptr);
    // Where the cell's own views go.
    View* contentView() const { return content_; }
    bool isSelected() const { return selected_; }
    virtual void setSelected(bool selected);
    // Called before the cell is handed out again; clear what the last item set.
    virtual void prepareForReuse() {}
    const std::string& reuseIdentifier() const { return reuseIdentifier_; }

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    friend class CollectionView;
    View* content_ = nullptr;
    bool selected_ = false;
    std::string reuseIdentifier_;
};

class CollectionViewDataSource {
public:
    virtual ~CollectionViewDataSource() = default;
    virtual int numberOfItems(CollectionView& view) = 0;
    virtual CollectionViewCell* cellForItem(CollectionView& view, int index) = 0;
};

class CollectionViewDelegate {
public:
    virtual ~CollectionViewDelegate() = default;
    // The layout's item size when not given.
    virtual std::optional<QSizeF> sizeForItem(CollectionView&, int) { return std::nullopt; }
    virtual void didSelectItem(CollectionView&, int) {}
};

struct FlowLayout {
    QSizeF itemSize{50, 50};
    double minimumInteritemSpacing = 10;
    double minimumLineSpacing = 10;
    double sectionInsetTop = 0, sectionInsetLeft = 0, sectionInsetBottom = 0, sectionInsetRight = 0;
};

class CollectionView : public ScrollView {
public:
    using CellFactory = std::function<std::unique_ptr<CollectionViewCell>()>;

    explicit CollectionView(const QRectF& frame = {}, FlowLayout layout = {}, QWidget* parent = nullptr);

    const FlowLayout& layout() const { return layout_; }
    void setLayout(FlowLayout layout);
    void registerCell(const std::string& reuseIdentifier, CellFactory factory);
    // A cell for `index`: a reused one (prepareForReuse called) or a new one. Nullptr when the
    // identifier was never registered.
    CollectionViewCell* dequeueReusableCell(const std::string& reuseIdentifier, int index);

    void setDataSource(CollectionViewDataSource* source) { dataSource_ = source; }
    void setDelegate(CollectionViewDelegate* delegate) { delegate_ = delegate; }
    // Asks the data source again for every item; cells go back to the reuse pool first.
    void reloadData();

    int numberOfItems() const { return static_cast<int>(cells_.size()); }
    // The cell shown for `index`, nullptr when out of range.
    CollectionViewCell* cellForItem(int index) const;
    QRectF frameForItem(int index) const;
    // The item under `point` in the content's coordinates, or nothing.
    std::optional<int> indexForItemAt(QPointF contentPoint) const;

    void selectItem(int index);
    void deselectItem(int index, Animated animated = Animated::No);
    std::vector<int> selectedItems() const;

protected:
    void tapped(QPointF point) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void layoutCells();

    FlowLayout layout_;
    CollectionViewDataSource* dataSource_ = nullptr;
    CollectionViewDelegate* delegate_ = nullptr;
    std::map<std::string, CellFactory> factories_;
    std::map<std::string, std::vector<CollectionViewCell*>> reusable_;
    std::vector<CollectionViewCell*> cells_;
    std::vector<QRectF> frames_;
    std::set<int> selected_;
};

// A screen holding one collection view that fills it.
class CollectionViewController : public ScreenController {
public:
    explicit CollectionViewController(ScreenProfile profile, FlowLayout layout = {});
    CollectionView* collectionView();
    void viewDidLoad() override;
    void viewDidLayoutSubviews() override;

private:
    FlowLayout layout_;
    CollectionView* collection_ = nullptr;
};

}  // namespace sorvel
