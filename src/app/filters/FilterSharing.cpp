#include "app/filters/FilterSharing.h"

#include "app/filters/FilterCodec.h"
#include "app/filters/FilterStore.h"
#include "app/filters/SavedFilter.h"
#include "platform/foundation/Localization.h"

namespace sorvel {

namespace {

AlertButton plainButton(std::string_view title, AlertButtonStyle style = AlertButtonStyle::Default) {
    return AlertButton{localized(title), style, std::nullopt, std::nullopt};
}

AlertSpec errorAlert(std::string_view message) {
    return AlertSpec{localized("错误"), localized(message), {plainButton("确定")}, std::nullopt};
}

SimpleAlert copiedAlert(std::string_view title) {
    return SimpleAlert{localized(title), localized("复制消息"), localized("确定")};
}

}  // namespace

std::string formatLocalized(std::string_view format, const std::vector<std::string>& arguments) {
    std::string out;
    std::size_t next = 0;
    for (std::size_t i = 0; i < format.size(); ++i) {
        if (format[i] != '%' || i + 1 >= format.size()) {
            out += format[i];
            continue;
        }
        if (format[i + 1] == '%') {
            out += '%';
            ++i;
            continue;
        }
        if (format[i + 1] == '@') {
            if (next < arguments.size()) out += arguments[next];
            ++next;
            ++i;
            continue;
        }
        // Positional: %<digits>$@
        std::size_t j = i + 1;
        std::size_t position = 0;
        while (j < format.size() && format[j] >= '0' && format[j] <= '9' && position < 1000)
            position = position * 10 + static_cast<std::size_t>(format[j++] - '0');
        if (j > i + 1 && j + 1 < format.size() && format[j] == '$' && format[j + 1] == '@') {
            if (position >= 1 && position <= arguments.size()) out += arguments[position - 1];
            i = j + 1;
            continue;
        }
        out += format[i];
    }
    return out;
}

AlertSpec shareCurrentFilter(const std::optional<Dictionary>& selectedFilter) {
    if (!selectedFilter) return errorAlert("没有选中的滤镜");
    auto code = encodeFilter(*selectedFilter);
    if (!code) return errorAlert("无法编码滤镜");
    auto hanzi = base36StringToHanzi(*code);
    if (!hanzi) return errorAlert("无法转换为汉字编码");

    AlertSpec alert;
    alert.title = localized("🍎分享滤镜");
    alert.message = formatLocalized(localized("分享消息"), {*code, *hanzi});
    alert.buttons.push_back(AlertButton{localized("复制滤镜代码"), AlertButtonStyle::Default, *code, copiedAlert("✅已经复制好了喔!")});
    alert.buttons.push_back(AlertButton{localized("复制滤镜代码(汉字版)"), AlertButtonStyle::Default, *hanzi,
                                        copiedAlert("✅汉字版 已经复制好了喔!")});
    alert.buttons.push_back(plainButton("关闭", AlertButtonStyle::Cancel));
    return alert;
}

AlertSpec importFilterPrompt() {
    AlertSpec alert;
    alert.title = localized("💐导入滤镜");
    alert.message = localized("请输入(或者粘贴)滤镜代码");
    alert.textFieldPlaceholder = localized("一串字母数字 也可能是一串汉字");
    alert.buttons.push_back(plainButton("✨导入"));
    alert.buttons.push_back(plainButton("取消", AlertButtonStyle::Cancel));
    return alert;
}

std::string nameForImportedFilter(const std::vector<Dictionary>& filters) {
    const std::string format = localized("导入%@");
    // With n filters one of the first n + 1 names is free; the bound only matters for a
    // translation without the placeholder, where every candidate is the same text.
    std::string candidate;
    for (std::size_t counter = 1; counter <= filters.size() + 1; ++counter) {
        candidate = formatLocalized(format, {std::to_string(counter)});
        if (!indexOfFilterNamed(filters, candidate)) break;
    }
    return candidate;
}

ImportOutcome importFilter(std::string_view text, std::vector<Dictionary>& filters) {
    ImportOutcome outcome;
    if (text.empty()) return outcome;
    auto decoded = decodeFilter(text);
    if (!decoded) {
        outcome.error = SimpleAlert{localized("错误"), localized("无效的滤镜代码"), localized("确定")};
        return outcome;
    }
    outcome.name = nameForImportedFilter(filters);
    (*decoded)["name"] = Value(outcome.name);
    filters.push_back(std::move(*decoded));
    saveFiltersToUserDefaults(filters);
    outcome.imported = true;
    return outcome;
}

}  // namespace sorvel
