// The filter edit view: one row per catalogue parameter (name, value field, slider, reset),
// the name field and "保存滤镜". Every change of a value is written to the selected filter and
// saved at once. A row knows its parameter by its name label, as the handlers find it.

#include "app/ViewController.h"
#include "app/filters/FilterEdits.h"
#include "app/filters/FilterParameter.h"
#include "app/filters/ParameterText.h"
#include "app/themes/ThemeManager.h"
#include "platform/foundation/Console.h"
#include "platform/foundation/Localization.h"
#include "platform/ui/Label.h"
#include "platform/ui/ScrollView.h"
#include "platform/ui/Slider.h"
#include "platform/ui/StackView.h"
#include "platform/ui/TextField.h"
#include "platform/ui/Toolbar.h"

namespace sorvel {

namespace {

constexpr double kRowHeight = 44;

QString tr(std::string_view key) { return QString::fromStdString(localized(key)); }

// The controls of the row that `control` sits in, and the row's parameter.
struct ParameterRowControls {
    const FilterParameter* parameter = nullptr;
    TextField* field = nullptr;
    Slider* slider = nullptr;
};

ParameterRowControls rowControls(QWidget* row) {
    ParameterRowControls found;
    if (!row) return found;
    for (QObject* child : row->children()) {
        if (auto* label = dynamic_cast<Label*>(child)) {
            for (const auto& p : filterParameterCatalogue())
                if (QString::fromStdString(localized(p.name)) == label->text()) found.parameter = &p;
        } else if (auto* field = dynamic_cast<TextField*>(child)) {
            found.field = field;
        } else if (auto* slider = dynamic_cast<Slider*>(child)) {
            found.slider = slider;
        }
    }
    if (!found.field || !found.slider) found.parameter = nullptr;
    return found;
}

ParameterRowControls rowOf(QWidget* control) { return rowControls(control ? control->parentWidget() : nullptr); }

void showValue(const ParameterRowControls& row, float value) {
    row.slider->setValue(value);
    row.field->setText(QString::fromStdString(parameterValueText(*row.parameter, value)));
}

}  // namespace

View* ViewController::createParameterRow(const FilterParameter& parameter) {
    const double width = filterParameterRowsView->frame().width();
    auto* row = new View(QRectF(0, 0, width, kRowHeight), nullptr);
    row->setAccessibilityIdentifier(QString("parameterRow%1").arg(parameter.id));
    const QColor text = ThemeManager::textColor();

    auto* name = new Label(QRectF(0, 0, 96, kRowHeight), row);
    QFont font = name->font();
    font.setPixelSize(13);
    name->setFont(font);
    name->setTextColor(text);
    name->setText(tr(parameter.name));

    auto* field = new TextField(QRectF(98, 7, 68, 30), row);
    field->setKeyboardType(parameter.type == 1 ? KeyboardType::NumberPad : KeyboardType::DecimalPad);
    field->setBorderStyle(TextFieldBorderStyle::RoundedRect);
    field->setTextAlignment(Qt::AlignCenter);
    field->setTextColor(text);
    field->setTextFont(font);
    field->setText(QString::fromStdString(parameterValueText(parameter, parameter.defaultValue)));

    auto* slider = new Slider(QRectF(174, 7, width - 174 - 40, 30), row);
    slider->setRange(parameter.min, parameter.max);
    slider->setValue(parameter.defaultValue);
    slider->setMinimumTrackTintColor(text);
    slider->setThumbTintColor(text);

    auto* reset = new Button(QRectF(width - 34, 7, 34, 30), row);
    reset->setTitle("↺");
    reset->setTitleColor(text);
    reset->setCornerRadius(8);
    reset->setBackgroundColor(QColor(text.red(), text.green(), text.blue(), 25));

    auto weak = weak_from_this();
    const bool whole = parameter.type == 1;
    slider->addAction(whole ? "intSliderValueChanged" : "floatSliderValueChanged", [weak, slider, whole] {
        if (auto self = weak.lock()) whole ? self->intSliderValueChanged(slider) : self->floatSliderValueChanged(slider);
    });
    field->addAction(TextFieldEvent::EditingDidEnd, whole ? "intTextFieldValueChanged" : "floatTextFieldValueChanged",
                     [weak, field, whole] {
                         if (auto self = weak.lock())
                             whole ? self->intTextFieldValueChanged(field) : self->floatTextFieldValueChanged(field);
                     });
    reset->addAction("resetParameter", [weak, reset] {
        if (auto self = weak.lock()) self->resetParameter(reset);
    });
    addDoneButtonOnKeyboard(field);
    return row;
}

void ViewController::addDoneButtonOnKeyboard(TextField* field) {
    auto* bar = new Toolbar();
    auto weak = weak_from_this();
    bar->setItems({BarButtonItem::flexibleSpace(), BarButtonItem::titled(tr("完成"), BarButtonStyle::Done, "doneButtonAction", [weak] {
                       if (auto self = weak.lock()) self->doneButtonAction();
                   })});
    field->setInputAccessoryView(bar);
}

void ViewController::doneButtonAction() { view()->endEditing(true); }

void ViewController::setupFilterEditView() {
    const double w = view()->bounds().width(), h = view()->bounds().height();
    // The lower half of the screen: the filtered picture stays in sight above it while the
    // values change.
    const double width = std::min(w - 20, 440.0), height = std::min(h - 20, std::max(320.0, h * 0.48));
    filterEditView = new View(QRectF((w - width) / 2, h - height - 10, width, height), nullptr);
    // Opaque: the live picture is not redrawn under it (see updateLiveFilterPreview).
    QColor background = ThemeManager::bgColor();
    background.setAlpha(255);
    filterEditView->setBackgroundColor(background);
    filterEditView->setCornerRadius(20);
    filterEditView->setAccessibilityIdentifier("filterEditView");
    filterEditView->setBlocksInput(true);
    filterEditView->setEndsEditingOnTouch(true);
    view()->addSubview(filterEditView);
    filterEditView->setHidden(true);  // after adding: adding a subview shows it
    const QColor text = ThemeManager::textColor();
    const double inner = width - 24;

    filterNameTextField = new TextField(QRectF(12, 12, inner - 122, 36), filterEditView);
    filterNameTextField->setPlaceholder(tr("滤镜名称"));
    filterNameTextField->setBorderStyle(TextFieldBorderStyle::RoundedRect);
    filterNameTextField->setTextColor(text);
    QFont nameFont = filterNameTextField->textFont();
    nameFont.setPixelSize(16);
    filterNameTextField->setTextFont(nameFont);
    filterNameTextField->setAccessibilityIdentifier("filterNameTextField");
    auto* save = new Button(QRectF(12 + inner - 112, 12, 112, 36), filterEditView);
    save->setTitle(tr("保存滤镜"));
    save->setTitleColor(ThemeManager::bgColor());
    save->setBackgroundColor(text);
    save->setCornerRadius(10);
    save->setAccessibilityIdentifier("saveFilterButton");
    save->addAction("saveAndCloseFilter", [weak = weak_from_this()] {
        if (auto self = weak.lock()) self->saveAndCloseFilter();
    });

    auto* hint = new Label(QRectF(12, 54, inner, 40), filterEditView);
    QFont font = hint->font();
    font.setPixelSize(12);
    hint->setFont(font);
    hint->setNumberOfLines(2);
    hint->setAlignment(Qt::AlignCenter);
    QColor faded = text;
    faded.setAlphaF(0.7f);
    hint->setTextColor(faded);
    hint->setText(tr("可以参考别人的滤镜✨\n也可以寻找你的色彩🎨"));

    auto* scroll = new ScrollView(QRectF(12, 100, inner, height - 108), filterEditView);
    scroll->setAccessibilityIdentifier("filterParameterScrollView");
    filterParameterRowsView = new StackView();
    filterParameterRowsView->setAxis(StackAxis::Vertical);
    filterParameterRowsView->setAlignment(StackAlignment::Fill);
    filterParameterRowsView->setSpacing(4);
    filterParameterRowsView->setFrame(QRectF(0, 0, inner, 0));
    scroll->addSubview(filterParameterRowsView);
    for (const auto& parameter : filterParameterCatalogue()) filterParameterRowsView->addArrangedSubview(createParameterRow(parameter));
    filterParameterRowsView->layoutArranged();
    scroll->sizeContentToFit();
}

void ViewController::editCurrentFilter() {
    auto selected = selectedFilter();
    if (!selected) {
        consolePrint("没有选中的滤镜");
        return;
    }
    filterView->setHidden(true);
    filterButton->setHidden(true);
    filterEditView->setHidden(false);
    filterEditView->raise();
    const std::string* name = nameOfFilter(*selected);
    filterNameTextField->setText(QString::fromStdString(name ? *name : std::string()));
    loadSelectedFilterParameters();
}

void ViewController::loadSelectedFilterParameters() {
    auto selected = selectedFilter();
    if (!selected) return;
    const Dictionary* stored = nullptr;
    if (auto it = selected->find("parameters"); it != selected->end()) stored = it->second.dictionaryValue();
    for (View* rowView : filterParameterRowsView->arrangedSubviews()) {
        ParameterRowControls row = rowControls(rowView);
        if (!row.parameter) continue;
        float value = row.parameter->defaultValue;
        if (stored)
            if (auto it = stored->find(std::to_string(row.parameter->id)); it != stored->end() && it->second.isNumber())
                value = static_cast<float>(it->second.toReal());
        showValue(row, value);
    }
}

void ViewController::floatSliderValueChanged(Slider* sender) {
    ParameterRowControls row = rowOf(sender);
    if (!row.parameter) return;
    row.field->setText(QString::fromStdString(parameterSliderMoved(*row.parameter, sender->value()).text));
    updateSelectedFilterParameters();
}

void ViewController::intSliderValueChanged(Slider* sender) {
    ParameterRowControls row = rowOf(sender);
    if (!row.parameter) return;
    SliderOutcome outcome = parameterSliderMoved(*row.parameter, sender->value());
    sender->setValue(outcome.sliderValue);
    row.field->setText(QString::fromStdString(outcome.text));
    updateSelectedFilterParameters();
}

namespace {

// The two field handlers differ only in what counts as a number, which the row's parameter
// type tells ParameterText. False when the text was ignored.
bool applyTypedText(const ParameterRowControls& row) {
    TextEntryOutcome outcome = parameterTextEntered(*row.parameter, row.field->text().toStdString(), row.slider->value());
    switch (outcome.kind) {
        case TextEntryOutcome::Kind::Ignored:
            return false;
        case TextEntryOutcome::Kind::Accepted:
            row.slider->setValue(outcome.sliderValue);
            return true;
        case TextEntryOutcome::Kind::Refused:
            row.field->setText(QString::fromStdString(outcome.rewrittenText));
            return true;
    }
    return false;
}

}  // namespace

void ViewController::floatTextFieldValueChanged(TextField* sender) {
    ParameterRowControls row = rowOf(sender);
    if (row.parameter && applyTypedText(row)) updateSelectedFilterParameters();
}

void ViewController::intTextFieldValueChanged(TextField* sender) {
    ParameterRowControls row = rowOf(sender);
    if (row.parameter && applyTypedText(row)) updateSelectedFilterParameters();
}

void ViewController::resetParameter(Button* sender) {
    ParameterRowControls row = rowOf(sender);
    if (!row.parameter) return;
    showValue(row, row.parameter->defaultValue);
    auto selected = selectedFilter();
    if (resetSelectedFilterParameter(filters, selected, std::to_string(row.parameter->id), row.parameter->defaultValue))
        setSelectedFilter(std::move(selected));
}

namespace {

ParameterMap rowValues(StackView* rows) {
    ParameterMap values;
    for (View* rowView : rows->arrangedSubviews()) {
        ParameterRowControls row = rowControls(rowView);
        if (row.parameter) values[std::to_string(row.parameter->id)] = row.slider->value();
    }
    return values;
}

}  // namespace

void ViewController::updateSelectedFilterParameters() {
    auto selected = selectedFilter();
    if (writeBackSelectedFilter(filters, selected, rowValues(filterParameterRowsView))) setSelectedFilter(std::move(selected));
}

void ViewController::saveAndCloseFilter() {
    auto selected = selectedFilter();
    auto name = saveSelectedFilter(filters, selected, filterNameTextField->text().toStdString(), rowValues(filterParameterRowsView));
    if (!name) return;
    setSelectedFilter(std::move(selected));
    updateFilterListView();
    // The label names the selection, which may have a new name now.
    filterNameLabel->setText(QString::fromStdString(*name));
    filterEditView->setHidden(true);
    filterView->setHidden(false);
    filterView->raise();
    filterButton->setHidden(false);
}

}  // namespace sorvel
