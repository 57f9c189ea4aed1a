#pragma once
// A frosted panel: a blurred copy of what lies behind it (the views below it in its window),
// tinted light or dark, as a phone's visual-effect view. The copy is taken at a quarter of the
// size and refreshed a few times a second while the view is on screen, so a live camera picture
// behind it keeps moving. Put the panel's contents above it as siblings, or inside it.
//
//   auto* blur = new BlurView(BlurStyle::Dark, panel->bounds(), panel);
//
// Main thread only.

#include <QImage>
#include <QTimer>

#include "View.h"

namespace sorvel {

enum class BlurStyle { Light, Dark };

class BlurView : public View {
public:
    // How often the copy of the background is taken again while shown.
    static constexpr int kRefreshMilliseconds = 100;

    explicit BlurView(BlurStyle style, const QRectF& frame = {}, QWidget* parent = nullptr);
    BlurStyle style() const { return style_; }
    void setStyle(BlurStyle style);
    // Takes the copy of what lies behind now (the display timer does so on its own).
    void refreshBackdrop();
    // The blurred copy last taken, at its reduced size (null before the first).
    const QImage& backdrop() const { return backdrop_; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    BlurStyle style_;
    QImage backdrop_;
    QTimer refresh_;
};

}  // namespace sorvel
