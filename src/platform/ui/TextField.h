#pragma once
// A one-line text field as a phone has it, over a QLineEdit: placeholder, text colour, font,
// keyboard type, and the editing cycle of a first responder. A press in the field (or typing
// into it) begins editing; editing ends when the field resigns: `resignFirstResponder()`,
// `View::endEditing` on a view around it, a press elsewhere on a view that ends editing on touch
// (View::setEndsEditingOnTouch), Return, or the focus leaving for another widget.
//
// Actions, by event (each runs in the order added):
//   EditingDidBegin   the field became the first responder
//   EditingChanged    the user changed the text (every keystroke, paste, deletion)
//   EditingDidEnd     the field resigned (the filter editor's fields act here)
// Code that sets the text sends none of them.
//
// The keyboard type reaches the input method as Qt's hints, so a phone's on-screen keyboard
// opens as a number pad (Qt::ImhDigitsOnly) or a decimal pad (Qt::ImhFormattedNumbersOnly);
// a hardware keyboard can still type anything, and the app validates what it reads.
//
// An input accessory view (a Toolbar with "完成") is shown across the bottom of the window,
// above the on-screen keyboard when there is one, while the field is editing:
//
//   auto* field = new TextField(QRectF(x, y, 70, 35), parent);
//   field->setKeyboardType(KeyboardType::NumberPad);
//   auto* bar = new Toolbar();
//   bar->setItems({BarButtonItem::flexibleSpace(),
//                  BarButtonItem::titled("完成", BarButtonStyle::Done, "doneButtonAction",
//                                        [root] { root->endEditing(true); })});
//   field->setInputAccessoryView(bar);
//   field->addAction(TextFieldEvent::EditingDidEnd, "intTextFieldValueChanged", [field] { ... });
//
// Main thread only.

#include <QFont>
#include <QPointer>
#include <string>
#include <vector>

#include "ControlActions.h"
#include "View.h"

class QLineEdit;

namespace sorvel {

enum class KeyboardType { Default, NumberPad, DecimalPad };
enum class TextFieldEvent { EditingDidBegin, EditingChanged, EditingDidEnd };
enum class TextFieldBorderStyle { None, RoundedRect };

class TextField : public View {
public:
    using Action = ControlActions::Action;

    explicit TextField(QWidget* parent = nullptr);
    TextField(const QRectF& frame, QWidget* parent = nullptr);
    ~TextField() override;

    QString text() const;
    // Sends no actions.
    void setText(const QString& text);
    QString placeholder() const;
    void setPlaceholder(const QString& placeholder);
    QColor textColor() const { return textColor_; }
    void setTextColor(const QColor& c);
    QFont textFont() const;
    void setTextFont(const QFont& font);
    void setTextAlignment(Qt::Alignment alignment);
    void setBorderStyle(TextFieldBorderStyle style);

    KeyboardType keyboardType() const { return keyboardType_; }
    void setKeyboardType(KeyboardType type);
    // What the input method is told for the keyboard type.
    Qt::InputMethodHints inputMethodHintsForKeyboard() const;

    void addAction(TextFieldEvent event, std::string name, Action action);
    std::vector<std::string> actionNames(TextFieldEvent event) const;
    void sendActions(TextFieldEvent event);

    // Shown while editing; the field takes ownership (nullptr removes it).
    void setInputAccessoryView(View* view);
    View* inputAccessoryView() const { return accessory_; }

    bool isEditing() const { return current() == this; }
    // Begins editing (ending another field's first); false when hidden or disabled.
    bool becomeFirstResponder();
    // Ends editing; false when it was not editing.
    bool resignFirstResponder();
    // The field being edited, if any.
    static TextField* current();

    // The editor inside, for tests that type into it as a person would.
    QLineEdit* lineEdit() const;

    bool takesOwnInput() const override { return true; }

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    class Editor;
    void build();
    void showAccessory();
    void hideAccessory();
    void applyTextColor();

    Editor* edit_ = nullptr;
    QColor textColor_;
    KeyboardType keyboardType_ = KeyboardType::Default;
    ControlActions begin_, changed_, end_;
    QPointer<View> accessory_;
};

}  // namespace sorvel
