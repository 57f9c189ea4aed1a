#pragma once
// A line or block of text.

#include <QFont>

#include "View.h"

namespace sorvel {

class Label : public View {
public:
    using View::View;
    void setText(const QString& text);
    QString text() const { return text_; }
    void setTextColor(const QColor& c);
    QColor textColor() const { return color_; }
    void setFont(const QFont& f);
    void setAlignment(Qt::Alignment a);
    void setNumberOfLines(int n);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString text_;
    QColor color_ = Qt::white;
    Qt::Alignment alignment_ = Qt::AlignLeft | Qt::AlignVCenter;
    int lines_ = 1;
};

}  // namespace sorvel
