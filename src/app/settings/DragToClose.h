#pragma once
// The settings panel's drag-down-to-close rules, apart from the gesture that feeds them.

namespace sorvel {

// A drag may take the panel only when it starts downward while the panel's content is scrolled
// to its top; otherwise the scroll view keeps it.
bool panelDragMayBegin(double verticalVelocity, double contentOffsetY);

// The panel's centre during a drag: the centre at the start moved down by the translation,
// never up (a finger back above its start holds the panel at its resting place).
double draggedPanelCentreY(double originalCentreY, double translationY);

// On release: close for a flick faster than 500 points/s downward, or when the panel's top
// has been dragged below the middle of its superview; otherwise it snaps back.
bool panelDragCloses(double verticalVelocity, double panelTop, double superviewHeight);

}  // namespace sorvel
