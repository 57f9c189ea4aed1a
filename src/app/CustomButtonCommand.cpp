#include "app/CustomButtonCommand.h"

#include <QString>
#include <QStringList>
#include <charconv>
#include <cmath>

namespace sorvel {

namespace {

bool contains(std::string_view text, std::string_view word) { return text.find(word) != std::string_view::npos; }

std::string removingAll(std::string text, std::string_view word) {
    for (auto at = text.find(word); at != std::string::npos; at = text.find(word, at)) text.erase(at, word.size());
    return text;
}

std::string trimmingSpaces(std::string_view text) {
    auto first = text.find_first_not_of(' ');
    if (first == std::string_view::npos) return {};
    auto last = text.find_last_not_of(' ');
    return std::string(text.substr(first, last - first + 1));
}

template <typename T>
std::optional<T> parseWhole(std::string_view text) {
    // from_chars takes no leading '+'; a '-' it reads itself. Refuse "+-1" and "+ 1".
    if (!text.empty() && text.front() == '+') {
        text.remove_prefix(1);
        if (text.empty() || text.front() == '-' || text.front() == '+') return std::nullopt;
    }
    if (text.empty()) return std::nullopt;
    T value{};
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, std::chars_format::general);
    if (ec != std::errc() || end != text.data() + text.size() || !std::isfinite(value)) return std::nullopt;
    return value;
}

template <typename T>
std::string describe(T value) {
    char buffer[64];
    auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value);
    std::string text = ec == std::errc() ? std::string(buffer, end) : std::to_string(value);
    if (text.find_first_of(".en") == std::string::npos) text += ".0";
    return text;
}

}  // namespace

std::string normalizedButtonLabel(std::string_view title) {
    return QString::fromUtf8(title.data(), static_cast<qsizetype>(title.size())).toLower().trimmed().toStdString();
}

std::optional<double> parseDecimal(std::string_view text) { return parseWhole<double>(text); }
std::optional<float> parseDecimalFloat(std::string_view text) { return parseWhole<float>(text); }

std::string describeNumber(double value) { return describe(value); }
std::string describeNumber(float value) { return describe(value); }

CustomButtonCommand customButtonCommand(std::string_view title) {
    CustomButtonCommand command;
    command.label = normalizedButtonLabel(title);
    const std::string& label = command.label;
    const bool signed_ = contains(label, "+") || contains(label, "-");
    if (contains(label, "相册") || contains(label, "photo")) {
        command.kind = CustomButtonCommand::Kind::OpenPhotoLibrary;
    } else if (contains(label, "x") || contains(label, "倍") || (parseDecimal(label) && !signed_)) {
        command.kind = CustomButtonCommand::Kind::Zoom;
        command.zoom = parseDecimal(trimmingSpaces(removingAll(removingAll(label, "x"), "倍")));
    } else if (contains(label, "ev") || signed_) {
        command.kind = CustomButtonCommand::Kind::Exposure;
        command.exposure = parseDecimalFloat(trimmingSpaces(removingAll(removingAll(label, "ev"), "+")));
    }
    return command;
}

std::vector<std::string> customButtonTitles(std::string_view text) {
    const QString trimmed = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())).trimmed();
    std::vector<std::string> titles;
    for (const QString& part : trimmed.split(QChar(' '))) {
        std::string title = trimmingSpaces(part.toStdString());
        if (!title.empty()) titles.push_back(std::move(title));
    }
    return titles;
}

}  // namespace sorvel
