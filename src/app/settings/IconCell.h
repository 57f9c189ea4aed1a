#pragma once
// A row of the app icon picker: the icon's name centred, 20 points clear of either side.

#include "platform/ui/CollectionView.h"

namespace sorvel {

class Label;

class IconCell : public CollectionViewCell {
public:
    static constexpr const char* kReuseIdentifier = "IconCell";
    IconCell();
    void prepareForReuse() override;

    Label* iconNameLabel = nullptr;

protected:
    void resizeEvent(QResizeEvent* event) override;
};

}  // namespace sorvel
