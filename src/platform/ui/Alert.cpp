#include "Alert.h"

#include <QLineEdit>

#include "Appearance.h"
#include "Button.h"
#include "Label.h"
#include "View.h"

namespace sorvel {

namespace {
std::vector<std::shared_ptr<Alert>>& onScreen() {
    static std::vector<std::shared_ptr<Alert>> alerts;
    return alerts;
}
}  // namespace

std::shared_ptr<Alert> Alert::make(QString title, QString message) {
    return std::shared_ptr<Alert>(new Alert(std::move(title), std::move(message)));
}

void Alert::addAction(QString title, AlertActionStyle style, std::function<void()> handler) {
    actions_.push_back({std::move(title), style, std::move(handler)});
}

void Alert::addTextField(const std::function<void(TextField&)>& configure) {
    TextField f;
    if (configure) configure(f);
    fields_.push_back(f);
}

void Alert::present(View* host) {
    if (card_) return;
    onScreen().push_back(shared_from_this());
    if (!host) return;

    auto* overlay = new View(host->bounds(), nullptr);
    overlay->setBackgroundColor(QColor(0, 0, 0, 110));
    overlay->setAccessibilityIdentifier("alertOverlay");
    // The dimmed screen behind the card takes the input: a tap there must not focus or zoom
    // the camera underneath.
    overlay->setBlocksInput(true);
    host->addSubview(overlay);
    card_ = overlay;

    const double w = std::min(300.0, host->bounds().width() - 40);
    const double pad = 16;
    auto* card = new View(QRectF(0, 0, w, 10), overlay);
    card->setBackgroundColor(QColor(40, 40, 42, 245));
    card->setCornerRadius(14);
    double y = pad;
    auto addLabel = [&](const QString& text, int pointSize, bool bold) {
        if (text.isEmpty()) return;
        auto* l = new Label(QRectF(pad, y, w - 2 * pad, 10), card);
        // The theme's text colour is for the screen; the card keeps its own readable one.
        l->setTextColor(Appearance::current().alertLabelTextColor);
        QFont f = l->font();
        f.setPointSize(pointSize);
        f.setBold(bold);
        l->setFont(f);
        l->setNumberOfLines(0);
        l->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
        l->setText(text);
        QFontMetrics fm(f);
        QRect r = fm.boundingRect(QRect(0, 0, int(w - 2 * pad), 10000), Qt::TextWordWrap | Qt::AlignHCenter, text);
        l->setFrame(QRectF(pad, y, w - 2 * pad, r.height() + 2));
        y += r.height() + 8;
    };
    addLabel(title_, 15, true);
    addLabel(message_, 12, false);
    for (std::size_t i = 0; i < fields_.size(); ++i) {
        auto* edit = new QLineEdit(card);
        edit->setGeometry(int(pad), int(y), int(w - 2 * pad), 30);
        edit->setPlaceholderText(fields_[i].placeholder);
        edit->setText(fields_[i].text);
        QObject::connect(edit, &QLineEdit::textChanged, [self = weak_from_this(), i](const QString& t) {
            if (auto a = self.lock(); a && i < a->fields_.size()) a->fields_[i].text = t;
        });
        y += 38;
    }
    y += 4;
    for (const auto& action : actions_) {
        auto* b = new Button(QRectF(0, y, w, 44), card);
        b->setTitle(action.title);
        b->setTitleColor(action.style == AlertActionStyle::Destructive ? QColor(255, 69, 58) : QColor(10, 132, 255));
        b->setBorder(0.5, QColor(255, 255, 255, 40));
        b->addAction("alertAction", [self = weak_from_this(), title = action.title] {
            if (auto a = self.lock()) a->press(title);
        });
        y += 44;
    }
    card->setFrame(QRectF((host->bounds().width() - w) / 2, (host->bounds().height() - y) / 2, w, y));
    overlay->show();
}

bool Alert::press(const QString& title) {
    for (const auto& action : actions_) {
        if (action.title != title) continue;
        auto keep = shared_from_this();
        auto handler = action.handler;
        dismiss();
        if (handler) handler();
        return true;
    }
    return false;
}

void Alert::dismiss() {
    auto& list = onScreen();
    std::erase_if(list, [this](const std::shared_ptr<Alert>& a) { return a.get() == this; });
    if (card_) {
        card_->hide();
        card_->deleteLater();
        card_ = nullptr;
    }
}

std::vector<std::shared_ptr<Alert>> Alert::presented() { return onScreen(); }

void Alert::dismissAll() {
    auto all = onScreen();
    for (auto& a : all) a->dismiss();
}

}  // namespace sorvel
