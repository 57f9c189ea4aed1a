#pragma once
// A line or block of text. A new label's text colour is the appearance default (Appearance.h).

#include <QFont>
#include <QSizeF>
#include <memory>
#include <vector>

#include "Appearance.h"
#include "View.h"

class QTextDocument;

namespace sorvel {

// One stretch of attributed text.
struct TextRun {
    QString text;
    QFont font;
    QColor color;
    // Extra points between the lines of a paragraph that starts in this run (a label with
    // more than one line only).
    double lineSpacing = 0;
};

class Label : public View {
public:
    using View::View;
    // Plain text in the label's font and colour; replaces any attributed text.
    void setText(const QString& text);
    // The runs' concatenation when the text is attributed.
    QString text() const { return text_; }
    // Runs drawn side by side on one line, placed as a whole by the alignment; with a number
    // of lines other than 1, they flow as paragraphs ("\n" ends one) wrapped at the width.
    void setAttributedText(std::vector<TextRun> runs);
    // Empty when the text is plain.
    const std::vector<TextRun>& attributedText() const { return runs_; }
    // The size the text needs (one line for attributed text).
    QSizeF textSize() const;
    // The size the text needs wrapped at `width` (one line when the label has one line).
    QSizeF textSizeForWidth(double width) const;
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
    // The wrapped attributed text laid out at `width`, kept until the text or width changes.
    QTextDocument& paragraphs(double width) const;

    QString text_;
    std::vector<TextRun> runs_;
    QColor color_ = Appearance::current().labelTextColor;
    Qt::Alignment alignment_ = Qt::AlignLeft | Qt::AlignVCenter;
    int lines_ = 1;
    struct DocumentDeleter {
        void operator()(QTextDocument* document) const;
    };
    mutable std::unique_ptr<QTextDocument, DocumentDeleter> paragraphs_;
};

}  // namespace sorvel
