#pragma once
// The phone's orientation from gravity: the angle of the acceleration in the screen plane,
// cut into four 90-degree sectors centred on the four upright holds.

namespace sorvel {

// 0 .. 360 degrees: 0 upright, 90 turned so that gravity points along +x.
double orientationAngleDegrees(double x, double y);
// 1 portrait, 2 portrait upside down, 3 landscape left, 4 landscape right. A boundary angle
// belongs to the sector that starts there.
int deviceOrientationForAcceleration(double x, double y);
// False when gravity has no component in the screen plane (the phone lies flat): the angle is
// then undefined, and reading it as 180 degrees would turn top-down shots upside down.
bool hasInPlaneGravity(double x, double y);

}  // namespace sorvel
