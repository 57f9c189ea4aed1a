#pragma once
// A line or block of text. A new label's text colour is the appearance default (Appearance.h).

#include <QFont>
#include <QSizeF>
#include <vector>

#include "Appearance.h"
#include "View.h"

namespace sorvel {

// One stretch of attributed text.
struct TextRun {
    QString text;
    QFont font;
    QColor color;
};

class Label : public View {
public:
    using View::View;
    // Plain text in the label's font and colour; replaces any attributed text.
    void setText(const QString& text);
    // The runs' concatenation when the text is attributed.
    QString text() const { return text_; }
    // Runs drawn side by side on one line, placed as a whole by the alignment.
    void setAttributedText(std::vector<TextRun> runs);
    // Empty when the text is plain.
    const std::vector<TextRun>& attributedText() const { return runs_; }
    // The size the text needs (one line for attributed text).
    QSizeF textSize() const;
    // Sets the frame's size to textSize(), keeping its origin.
    void sizeToFit();
    void setTextColor(const QColor& c);
    QColor textColor() const { return color_; }
    void setFont(const QFont& f);
    void setAlignment(Qt::Alignment a);
    void setNumberOfLines(int n);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString text_;
    std::vector<TextRun> runs_;
    QColor color_ = Appearance::current().labelTextColor;
    Qt::Alignment alignment_ = Qt::AlignLeft | Qt::AlignVCenter;
    int lines_ = 1;
};

}  // namespace sorvel
