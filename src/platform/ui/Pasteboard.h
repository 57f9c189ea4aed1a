#pragma once
// The general pasteboard: the system clipboard through Qt (the desktop's clipboard in a window
// session; on Qt's offscreen platform, the process's own, which tests use).
//
//   Pasteboard::general().setString("a");
//   std::optional<QString> text = Pasteboard::general().string();
//
// Main thread only.

#include <QImage>
#include <QString>
#include <optional>

namespace sorvel {

class Pasteboard {
public:
    static Pasteboard& general();

    // Nothing when the clipboard holds no text (or there is no application yet).
    std::optional<QString> string() const;
    void setString(const QString& text);
    bool hasStrings() const;
    std::optional<QImage> image() const;
    void setImage(const QImage& image);

private:
    Pasteboard() = default;
};

}  // namespace sorvel
