#include "app/settings/IconCell.h"

#include "platform/ui/Label.h"

namespace sorvel {

IconCell::IconCell() {
    iconNameLabel = new Label(nullptr);
    QFont font;
    font.setPixelSize(16);
    iconNameLabel->setFont(font);
    iconNameLabel->setAlignment(Qt::AlignCenter);
    contentView()->addSubview(iconNameLabel);
}

void IconCell::prepareForReuse() { iconNameLabel->setText(QString()); }

void IconCell::resizeEvent(QResizeEvent* event) {
    CollectionViewCell::resizeEvent(event);
    const QRectF b = contentView()->bounds();
    iconNameLabel->setFrame(QRectF(20, 0, std::max(0.0, b.width() - 40), b.height()));
}

}  // namespace sorvel
