#pragma once
// A view that shows a picture, scaled by its content mode.

#include <QImage>

#include "View.h"

namespace sorvel {

enum class ContentMode { ScaleToFill, AspectFit, AspectFill };

class ImageView : public View {
public:
    using View::View;
    void setImage(const QImage& image);
    // The same, redrawing only `changed` (view coordinates): a caller that knows an opaque view
    // covers the rest spares the views on top a repaint.
    void setImage(const QImage& image, const QRegion& changed);
    const QImage& image() const { return image_; }
    void setContentMode(ContentMode mode);
    ContentMode contentMode() const { return mode_; }
    // Draws the picture flipped left to right about the view's centre (a scale of -1, 1).
    void setMirroredHorizontally(bool mirrored);
    bool isMirroredHorizontally() const { return mirrored_; }
    // Where the picture lands inside the view's bounds for the current content mode.
    QRectF imageRect() const;
    static QRectF fittedRect(QSizeF image, QRectF bounds, ContentMode mode);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QImage image_;
    ContentMode mode_ = ContentMode::ScaleToFill;
    bool mirrored_ = false;
};

}  // namespace sorvel
