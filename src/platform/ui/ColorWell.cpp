#include "ColorWell.h"

#include <QConicalGradient>
#include <QMouseEvent>
#include <QPainter>

#include "Label.h"
#include "NavigationBar.h"

namespace sorvel {

namespace {

// The grid of swatches; a click picks the one under it.
class SwatchGrid final : public View {
public:
    SwatchGrid(const QRectF& frame, std::function<void(const QColor&)> picked) : View(frame), picked_(std::move(picked)) {}
    QRectF cell(int row, int column) const {
        double w = frame().width() / ColorPickerController::kColumns, h = frame().height() / ColorPickerController::kRows;
        return QRectF(column * w, row * h, w, h);
    }
    bool takesOwnInput() const override { return true; }

protected:
    void paintEvent(QPaintEvent* event) override {
        View::paintEvent(event);
        QPainter p(this);
        for (int r = 0; r < ColorPickerController::kRows; ++r)
            for (int c = 0; c < ColorPickerController::kColumns; ++c)
                p.fillRect(cell(r, c), ColorPickerController::swatchColor(r, c));
    }
    void mousePressEvent(QMouseEvent* event) override { event->accept(); }
    void mouseReleaseEvent(QMouseEvent* event) override {
        event->accept();
        QPointF at = event->position();
        int column = static_cast<int>(at.x() / (frame().width() / ColorPickerController::kColumns));
        int row = static_cast<int>(at.y() / (frame().height() / ColorPickerController::kRows));
        if (row < 0 || row >= ColorPickerController::kRows || column < 0 || column >= ColorPickerController::kColumns)
            return;
        if (picked_) picked_(ColorPickerController::swatchColor(row, column));
    }

private:
    std::function<void(const QColor&)> picked_;
};

}  // namespace

ColorWell::ColorWell(const QRectF& frame, QWidget* parent) : View(frame, parent) { setAccessibilityIdentifier("colorWell"); }

void ColorWell::setSelectedColor(std::optional<QColor> color) {
    color_ = color;
    update();
}

void ColorWell::addAction(std::string name, Action action) { actions_.add(std::move(name), std::move(action)); }

void ColorWell::sendActions() { actions_.send(); }

void ColorWell::userPicked(const QColor& color) {
    color_ = color;
    update();
    sendActions();
}

ColorPickerController* ColorWell::presentedPicker() const {
    auto p = picker_.lock();
    return p && p->presentingController() ? p.get() : nullptr;
}

void ColorWell::openPicker() {
    if (presentedPicker()) return;
    ScreenController* host = ScreenController::owning(this);
    if (!host) host = ScreenController::owning(ScreenController::mainRootView());
    if (!host) return;
    auto picker = std::make_shared<ColorPickerController>(host->screenProfile(), title_, color_);
    QPointer<ColorWell> self(this);
    picker->onPick = [self](const QColor& c) {
        if (self) self->userPicked(c);
    };
    picker_ = picker;
    host->present(picker);
}

void ColorWell::paintEvent(QPaintEvent* event) {
    View::paintEvent(event);
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    QRectF r = contentRect().adjusted(1, 1, -1, -1);
    double side = std::min(r.width(), r.height());
    QRectF disc(r.center().x() - side / 2, r.center().y() - side / 2, side, side);
    // The phone's well: a ring of hues around the colour.
    QConicalGradient ring(disc.center(), 90);
    for (int i = 0; i <= 6; ++i) ring.setColorAt(i / 6.0, QColor::fromHsvF(static_cast<float>(i % 6) / 6.f, 1, 1));
    p.setPen(Qt::NoPen);
    p.setBrush(ring);
    p.drawEllipse(disc);
    double inset = side * 0.14;
    p.setBrush(color_ ? *color_ : QColor(60, 60, 60));
    p.setPen(QPen(QColor(0, 0, 0, 120), 1.5));
    p.drawEllipse(disc.adjusted(inset, inset, -inset, -inset));
    if (!color_) {
        p.setPen(QPen(QColor(255, 59, 48), 2));
        QRectF in = disc.adjusted(inset * 1.8, inset * 1.8, -inset * 1.8, -inset * 1.8);
        p.drawLine(in.topRight(), in.bottomLeft());
    }
    if (pressed_) p.fillRect(rect(), QColor(0, 0, 0, 60));
}

void ColorWell::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || !isEnabled()) return event->ignore();
    pressed_ = true;
    update();
    event->accept();
}

void ColorWell::mouseReleaseEvent(QMouseEvent* event) {
    if (!pressed_) return event->ignore();
    pressed_ = false;
    update();
    event->accept();
    if (contentRect().contains(event->position())) openPicker();
}

ColorPickerController::ColorPickerController(ScreenProfile profile, QString title, std::optional<QColor> initial)
    : ScreenController(profile), title_(std::move(title)), picked_(initial) {}

QColor ColorPickerController::swatchColor(int row, int column) {
    if (row == 0) {
        float v = 1.0f - static_cast<float>(column) / (kColumns - 1);
        return QColor::fromRgbF(v, v, v);
    }
    float hue = static_cast<float>(column) / kColumns;
    // Rows 1..8: deep shades to light tints.
    float t = static_cast<float>(row - 1) / (kRows - 2);
    float saturation = t < 0.5f ? 1.0f : 1.0f - (t - 0.5f) * 1.6f;
    float value = t < 0.5f ? 0.35f + t * 1.3f : 1.0f;
    return QColor::fromHsvF(hue, saturation, value);
}

QRectF ColorPickerController::swatchRect(int row, int column) const {
    if (!grid_) return {};
    auto* grid = static_cast<SwatchGrid*>(grid_);
    return grid->cell(row, column).translated(grid->frame().topLeft());
}

void ColorPickerController::pick(const QColor& color) {
    picked_ = color;
    if (hex_) hex_->setText(color.name(QColor::HexRgb).toUpper());
    if (onPick) onPick(color);
}

void ColorPickerController::viewDidLoad() {
    View* root = view();
    root->setBackgroundColor(QColor(28, 28, 30));
    root->setEndsEditingOnTouch(true);
    const double w = root->bounds().width();
    const double top = safeAreaInsets().top;
    auto* bar = new NavigationBar(QRectF(0, 0, w, top + NavigationBar::kHeight), nullptr);
    bar->setTitle(title_);
    bar->setTintColor(QColor(10, 132, 255));
    bar->setTitleColor(Qt::white);
    bar->setRightBarButtonItem(BarButtonItem::titled("完成", BarButtonStyle::Done, "dismissColorPicker", [this] { dismiss(); }));
    root->addSubview(bar);

    const double gridTop = top + NavigationBar::kHeight + 16;
    const double cellSide = (w - 32) / kColumns;
    grid_ = new SwatchGrid(QRectF(16, gridTop, w - 32, cellSide * kRows), [this](const QColor& c) { pick(c); });
    grid_->setCornerRadius(8);
    grid_->setClipsToBounds(true);
    root->addSubview(grid_);

    auto* caption = new Label(QRectF(16, grid_->frame().bottom() + 20, 80, 36), nullptr);
    caption->setText("十六进制");
    caption->setTextColor(QColor(235, 235, 245, 160));
    root->addSubview(caption);
    hex_ = new TextField(QRectF(100, grid_->frame().bottom() + 20, w - 116, 36), nullptr);
    hex_->setBorderStyle(TextFieldBorderStyle::RoundedRect);
    hex_->setTextColor(Qt::white);
    hex_->setPlaceholder("#RRGGBB");
    if (picked_) hex_->setText(picked_->name(QColor::HexRgb).toUpper());
    hex_->addAction(TextFieldEvent::EditingDidEnd, "hexEntered", [this] {
        QString text = hex_->text().trimmed();
        if (!text.startsWith('#')) text.prepend('#');
        QColor c = QColor::fromString(text);
        if (c.isValid() && (text.size() == 4 || text.size() == 7)) pick(c);
        else if (picked_) hex_->setText(picked_->name(QColor::HexRgb).toUpper());
    });
    root->addSubview(hex_);
}

}  // namespace sorvel
