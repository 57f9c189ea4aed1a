#include "Pasteboard.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>

namespace sorvel {

namespace {
QClipboard* clipboard() { return qobject_cast<QGuiApplication*>(QCoreApplication::instance()) ? QGuiApplication::clipboard() : nullptr; }
}  // namespace

Pasteboard& Pasteboard::general() {
    static Pasteboard board;
    return board;
}

std::optional<QString> Pasteboard::string() const {
    QClipboard* c = clipboard();
    if (!c) return std::nullopt;
    const QMimeData* data = c->mimeData();
    if (!data || !data->hasText()) return std::nullopt;
    return data->text();
}

void Pasteboard::setString(const QString& text) {
    if (QClipboard* c = clipboard()) c->setText(text);
}

bool Pasteboard::hasStrings() const { return string().has_value(); }

std::optional<QImage> Pasteboard::image() const {
    QClipboard* c = clipboard();
    if (!c) return std::nullopt;
    QImage img = c->image();
    if (img.isNull()) return std::nullopt;
    return img;
}

void Pasteboard::setImage(const QImage& image) {
    if (QClipboard* c = clipboard()) c->setImage(image);
}

}  // namespace sorvel
