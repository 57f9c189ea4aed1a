#pragma once
// Alerts as in-window cards: a dimmed overlay over the screen with a centred card holding the
// title, the message, optional text fields and the buttons. Presenting never blocks the event
// loop; a button dismisses the card and then runs its handler. Main thread only.

#include <QPointer>
#include <QString>
#include <QWidget>
#include <functional>
#include <memory>
#include <vector>

namespace sorvel {

class View;

enum class AlertActionStyle { Default, Cancel, Destructive };

class Alert : public std::enable_shared_from_this<Alert> {
public:
    struct Action {
        QString title;
        AlertActionStyle style = AlertActionStyle::Default;
        std::function<void()> handler;
    };
    struct TextField {
        QString placeholder;
        QString text;
    };

    static std::shared_ptr<Alert> make(QString title, QString message);
    void addAction(QString title, AlertActionStyle style = AlertActionStyle::Default, std::function<void()> handler = nullptr);
    // Adds a text field; `configure` may set its placeholder or initial text.
    void addTextField(const std::function<void(TextField&)>& configure = nullptr);

    const QString& title() const { return title_; }
    const QString& message() const { return message_; }
    const std::vector<Action>& actions() const { return actions_; }
    std::vector<TextField>& textFields() { return fields_; }

    // Shows the card over `host` (the screen's root view).
    void present(View* host);
    bool isPresented() const { return !card_.isNull(); }
    // Presses the button with this title as a person would; false when there is none.
    bool press(const QString& title);
    void dismiss();

    // Alerts on screen now, oldest first.
    static std::vector<std::shared_ptr<Alert>> presented();
    static void dismissAll();

private:
    Alert(QString title, QString message) : title_(std::move(title)), message_(std::move(message)) {}
    QString title_, message_;
    std::vector<Action> actions_;
    std::vector<TextField> fields_;
    // The overlay, owned by the host view while presented; it goes with the host if the screen
    // is torn down under a presented alert.
    QPointer<QWidget> card_;
};

}  // namespace sorvel
