#include "app/settings/IconCell.h"

#include "app/settings/PanelText.h"
#include "platform/ui/ImageView.h"
#include "platform/ui/Label.h"

namespace sorvel {

IconCell::IconCell() {
    iconNameLabel = new Label(nullptr);
    iconNameLabel->setFont(systemFont(16));
    iconNameLabel->setAlignment(Qt::AlignCenter);
    contentView()->addSubview(iconNameLabel);
    iconImageView = new ImageView(nullptr);
    iconImageView->setContentMode(ContentMode::AspectFit);
    iconImageView->setUserInteractionEnabled(false);
    contentView()->addSubview(iconImageView);
}

void IconCell::prepareForReuse() {
    iconNameLabel->setText(QString());
    iconImageView->setImage(QImage());
}

void IconCell::resizeEvent(QResizeEvent* event) {
    CollectionViewCell::resizeEvent(event);
    const QRectF b = contentView()->bounds();
    iconNameLabel->setFrame(QRectF(20, 0, std::max(0.0, b.width() - 40), b.height()));
    iconImageView->setFrame(QRectF(20, (b.height() - 32) / 2, 32, 32));
}

}  // namespace sorvel
