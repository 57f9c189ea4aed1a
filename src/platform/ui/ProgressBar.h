#pragma once
// A thin horizontal progress bar with a track and a progress tint.

#include "View.h"

namespace sorvel {

class ProgressBar : public View {
public:
    using View::View;
    void setProgress(double p);
    double progress() const { return progress_; }
    void setProgressTintColor(const QColor& c);
    QColor progressTintColor() const { return progressTint_; }
    void setTrackTintColor(const QColor& c);
    QColor trackTintColor() const { return trackTint_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    double progress_ = 0;
    QColor progressTint_ = QColor(0, 122, 255);
    QColor trackTint_ = QColor(200, 200, 200);
};

}  // namespace sorvel
