#pragma once
// A row of titled segments of equal width, one of them selected, as a phone has it. A click on
// a segment (a tap on a touch screen) selects it and then sends the value-changed actions; a
// click on the selected one sends nothing. Setting the index from code sends no actions.
//
//   auto* c = new SegmentedControl({"无", "全", "9:16", "1:1"}, parent);
//   c->setFrame(QRectF(x, y, 200, 32));
//   c->setSelectedSegmentIndex(2);
//   c->addAction("segmentedControlValueChanged", [c] { ... c->selectedSegmentIndex() ... });
//
// Main thread only.

#include <QStringList>
#include <string>
#include <vector>

#include "ControlActions.h"
#include "View.h"

namespace sorvel {

class SegmentedControl : public View {
public:
    using Action = ControlActions::Action;
    static constexpr int kNoSegment = -1;
    static constexpr double kDefaultHeight = 32;

    explicit SegmentedControl(const QStringList& items = {}, QWidget* parent = nullptr);

    int numberOfSegments() const { return static_cast<int>(titles_.size()); }
    QString titleForSegment(int index) const;
    void setTitle(const QString& title, int index);
    // Inserts at `index` (clamped to 0..count); the selection stays on its segment.
    void insertSegment(const QString& title, int index);
    void removeAllSegments();

    // kNoSegment when none; out-of-range indices select none. Sends no actions.
    int selectedSegmentIndex() const { return selected_; }
    void setSelectedSegmentIndex(int index);

    // Value-changed actions, run after the user selected another segment.
    void addAction(std::string name, Action action);
    const std::vector<std::string>& actionNames() const { return actions_.names(); }
    void sendActions();

    void setSelectedSegmentTintColor(const QColor& c);
    // Title colours of the unselected and the selected segments.
    void setTitleColor(const QColor& normal, const QColor& selected);
    void setTitleFont(const QFont& font);
    bool isEnabled() const { return QWidget::isEnabled(); }
    void setEnabled(bool e) {
        QWidget::setEnabled(e);
        update();
    }

    // The segment under x (view coordinates), or kNoSegment.
    int segmentAtX(double x) const;
    // A segment's rectangle in view coordinates.
    QRectF segmentRect(int index) const;

    bool takesOwnInput() const override { return true; }
    void cancelTracking() override { pressed_ = kNoSegment; update(); }

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    std::vector<QString> titles_;
    int selected_ = kNoSegment;
    int pressed_ = kNoSegment;
    ControlActions actions_;
    QColor selectedTint_ = QColor(99, 99, 102);
    QColor titleNormal_, titleSelected_;
};

}  // namespace sorvel
