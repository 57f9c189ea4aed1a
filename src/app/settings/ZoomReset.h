#pragma once
// What switching deep mode or extreme mode on does to the zoom: both hold it at 1.0, so the
// current zoom goes to 1.0 and the front camera's remembered zoom is reset to 1.0 as well (and
// applied at once when the front camera is the one in use).

namespace sorvel {

class ViewController;

void resetZoomForLockedMode(ViewController& controller);

}  // namespace sorvel
