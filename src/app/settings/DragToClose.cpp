#include "app/settings/DragToClose.h"

namespace sorvel {

bool panelDragMayBegin(double verticalVelocity, double contentOffsetY) {
    return verticalVelocity > 0 && contentOffsetY <= 0;
}

double draggedPanelCentreY(double originalCentreY, double translationY) {
    return translationY > 0 ? originalCentreY + translationY : originalCentreY;
}

bool panelDragCloses(double verticalVelocity, double panelTop, double superviewHeight) {
    return verticalVelocity > 500 || panelTop > superviewHeight / 2;
}

}  // namespace sorvel
