#pragma once
// A row of the app icon picker: the icon's name centred, 20 points clear of either side, and
// the icon itself at the left when the installed theme has its picture.

#include "platform/ui/CollectionView.h"

namespace sorvel {

class ImageView;
class Label;

class IconCell : public CollectionViewCell {
public:
    static constexpr const char* kReuseIdentifier = "IconCell";
    IconCell();
    void prepareForReuse() override;

    Label* iconNameLabel = nullptr;
    ImageView* iconImageView = nullptr;

protected:
    void resizeEvent(QResizeEvent* event) override;
};

}  // namespace sorvel
