#include "app/settings/DragToClose.h"

namespace sorvel {

bool panelDragMayBegin(double verticalVelocity, double contentOffsetY) {
    return verticalVelocity > 0 && contentOffsetY <= 0;
}

std::optional<double> draggedPanelCentreY(double originalCentreY, double translationY) {
    if (translationY > 0) return originalCentreY + translationY;
    return std::nullopt;
}

bool panelDragCloses(double verticalVelocity, double panelTop, double superviewHeight) {
    return verticalVelocity > 500 || panelTop > superviewHeight / 2;
}

}  // namespace sorvel
