#pragma once
// A blur for what the toolkit draws: shadows of views and shape layers, and the frosted copy a
// blur view shows. Three box passes over premultiplied pixels approximate a Gaussian whose
// standard deviation is about half the radius, as a phone's layer shadow looks. Any thread.

#include <QImage>

namespace sorvel {

// `image` blurred by `radius` pixels (converted to premultiplied ARGB32); a radius below 0.5
// returns it unchanged.
QImage blurredImage(const QImage& image, double radius);

// A shadow of `source`'s alpha: every pixel `color` at the source's alpha times `opacity`,
// blurred by `radius`. The result has `source`'s size; callers leave room for the spread.
QImage shadowImage(const QImage& source, const QColor& color, double opacity, double radius);

}  // namespace sorvel
