#include "TextField.h"

#include <QGuiApplication>
#include <QInputMethod>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPalette>

#include "Appearance.h"

namespace sorvel {

namespace {
QPointer<TextField>& editingField() {
    static QPointer<TextField> field;
    return field;
}
}  // namespace

// The QLineEdit inside: it reports presses, keys and focus changes to its field, which keeps the
// first-responder state itself (focus alone is unreliable while the window is not active).
class TextField::Editor final : public QLineEdit {
public:
    Editor(TextField& owner) : QLineEdit(&owner), owner_(owner) {}

protected:
    void mousePressEvent(QMouseEvent* event) override {
        if (!owner_.isEditing()) owner_.becomeFirstResponder();
        QLineEdit::mousePressEvent(event);
    }
    void keyPressEvent(QKeyEvent* event) override {
        if (!owner_.isEditing() && !owner_.becomeFirstResponder()) return;
        if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
            owner_.resignFirstResponder();
            event->accept();
            return;
        }
        QLineEdit::keyPressEvent(event);
    }
    void inputMethodEvent(QInputMethodEvent* event) override {
        if (!owner_.isEditing() && !owner_.becomeFirstResponder()) return;
        QLineEdit::inputMethodEvent(event);
    }
    void focusInEvent(QFocusEvent* event) override {
        QLineEdit::focusInEvent(event);
        if (!owner_.isEditing() && event->reason() != Qt::ActiveWindowFocusReason) owner_.becomeFirstResponder();
    }
    void focusOutEvent(QFocusEvent* event) override {
        QLineEdit::focusOutEvent(event);
        // Another window taking the focus (an open menu, the desktop) keeps the editing.
        if (event->reason() == Qt::ActiveWindowFocusReason || event->reason() == Qt::PopupFocusReason) return;
        if (owner_.isEditing()) owner_.resignFirstResponder();
    }

private:
    TextField& owner_;
};

TextField::TextField(QWidget* parent) : View(QRectF(0, 0, 100, 34), parent) { build(); }

TextField::TextField(const QRectF& frame, QWidget* parent) : View(frame, parent) { build(); }

TextField::~TextField() {
    if (editingField() == this) editingField() = nullptr;
    delete accessory_.data();
}

void TextField::build() {
    edit_ = new Editor(*this);
    edit_->setFrame(false);
    edit_->setGeometry(contentRect().toRect());
    QFont f = edit_->font();
    f.setPointSizeF(17);
    edit_->setFont(f);
    textColor_ = Appearance::current().textFieldTextColor;
    applyTextColor();
    QObject::connect(edit_, &QLineEdit::textEdited, [this](const QString&) { changed_.send(); });
    edit_->show();
}

void TextField::applyTextColor() {
    QPalette pal = edit_->palette();
    pal.setColor(QPalette::Base, Qt::transparent);
    pal.setColor(QPalette::Text, textColor_);
    QColor placeholder = textColor_;
    placeholder.setAlphaF(0.35f);
    pal.setColor(QPalette::PlaceholderText, placeholder);
    edit_->setPalette(pal);
}

void TextField::resizeEvent(QResizeEvent* event) {
    View::resizeEvent(event);
    // A little room on both sides, as a phone's field keeps its text off the edges.
    edit_->setGeometry(contentRect().adjusted(6, 0, -6, 0).toRect());
}

QLineEdit* TextField::lineEdit() const { return edit_; }

QString TextField::text() const { return edit_->text(); }
void TextField::setText(const QString& text) { edit_->setText(text); }
QString TextField::placeholder() const { return edit_->placeholderText(); }
void TextField::setPlaceholder(const QString& placeholder) { edit_->setPlaceholderText(placeholder); }

void TextField::setTextColor(const QColor& c) {
    textColor_ = c;
    applyTextColor();
}

QFont TextField::textFont() const { return edit_->font(); }
void TextField::setTextFont(const QFont& font) { edit_->setFont(font); }
void TextField::setTextAlignment(Qt::Alignment alignment) { edit_->setAlignment(alignment); }

void TextField::setBorderStyle(TextFieldBorderStyle style) {
    if (style == TextFieldBorderStyle::RoundedRect) {
        setBackgroundColor(QColor(118, 118, 128, 61));
        setCornerRadius(6);
    } else {
        setBackgroundColor(Qt::transparent);
        setCornerRadius(0);
    }
}

void TextField::setKeyboardType(KeyboardType type) {
    keyboardType_ = type;
    edit_->setInputMethodHints(inputMethodHintsForKeyboard());
}

Qt::InputMethodHints TextField::inputMethodHintsForKeyboard() const {
    switch (keyboardType_) {
    case KeyboardType::NumberPad:
        return Qt::ImhDigitsOnly;
    case KeyboardType::DecimalPad:
        return Qt::ImhFormattedNumbersOnly;
    case KeyboardType::Default:
        break;
    }
    return Qt::ImhNone;
}

void TextField::addAction(TextFieldEvent event, std::string name, Action action) {
    switch (event) {
    case TextFieldEvent::EditingDidBegin:
        begin_.add(std::move(name), std::move(action));
        break;
    case TextFieldEvent::EditingChanged:
        changed_.add(std::move(name), std::move(action));
        break;
    case TextFieldEvent::EditingDidEnd:
        end_.add(std::move(name), std::move(action));
        break;
    }
}

std::vector<std::string> TextField::actionNames(TextFieldEvent event) const {
    switch (event) {
    case TextFieldEvent::EditingDidBegin:
        return begin_.names();
    case TextFieldEvent::EditingChanged:
        return changed_.names();
    case TextFieldEvent::EditingDidEnd:
        break;
    }
    return end_.names();
}

void TextField::sendActions(TextFieldEvent event) {
    switch (event) {
    case TextFieldEvent::EditingDidBegin:
        begin_.send();
        break;
    case TextFieldEvent::EditingChanged:
        changed_.send();
        break;
    case TextFieldEvent::EditingDidEnd:
        end_.send();
        break;
    }
}

void TextField::setInputAccessoryView(View* view) {
    if (accessory_ == view) return;
    delete accessory_.data();
    accessory_ = view;
    if (!view) return;
    view->setParent(this);
    view->hide();
    if (isEditing()) showAccessory();
}

TextField* TextField::current() { return editingField().data(); }

bool TextField::becomeFirstResponder() {
    if (isEditing()) return true;
    if (!isEnabled() || !isVisibleTo(window())) return false;
    if (TextField* other = current()) other->resignFirstResponder();
    editingField() = this;
    edit_->setFocus(Qt::OtherFocusReason);
    showAccessory();
    begin_.send();
    return true;
}

bool TextField::resignFirstResponder() {
    if (!isEditing()) return false;
    editingField() = nullptr;
    hideAccessory();
    if (edit_->hasFocus()) edit_->clearFocus();
    end_.send();
    return true;
}

void TextField::showAccessory() {
    if (!accessory_) return;
    QWidget* top = window();
    if (!top || top == this) return;
    // Along the window's bottom, or on top of the on-screen keyboard when one is up.
    double bottom = top->height();
    QRectF keyboard = QGuiApplication::inputMethod()->keyboardRectangle();
    if (keyboard.isValid() && keyboard.height() > 0) bottom = top->mapFromGlobal(keyboard.topLeft().toPoint()).y();
    double h = accessory_->frame().height();
    if (auto* topView = dynamic_cast<View*>(top)) topView->addSubview(accessory_);
    else {
        accessory_->setParent(top);
        accessory_->show();
        accessory_->raise();
    }
    accessory_->setFrame(QRectF(0, bottom - h, top->width(), h));
}

void TextField::hideAccessory() {
    if (!accessory_) return;
    accessory_->hide();
    accessory_->setParent(this);
    accessory_->hide();
}

}  // namespace sorvel
