#pragma once
// The interface's named symbols, drawn as vector shapes of our own. Each symbol is designed
// on a square grid and drawn aspect-fit and centred in the caller's rectangle, in the caller's
// colour, so a button can tint it like text. Main thread only (QPainter on widgets).

#include <QColor>
#include <QImage>
#include <QPainter>
#include <QRectF>
#include <QSizeF>
#include <QString>
#include <QStringList>

namespace sorvel {

bool hasSymbol(const QString& name);
// Every name hasSymbol knows, in a fixed order.
QStringList symbolNames();
// Draws the symbol aspect-fit and centred in `rect`; false for an unknown name (draws nothing).
bool drawSymbol(QPainter& painter, const QString& name, const QRectF& rect, const QColor& tint);
// The symbol alone on a transparent image of `points` x `scale` pixels whose device pixel
// ratio is `scale`; a null image for an unknown name or an empty size.
QImage symbolImage(const QString& name, QSizeF points, const QColor& tint, double scale = 3);

}  // namespace sorvel
