#include "Permissions.h"

#include <algorithm>
#include <fstream>
#include <mutex>
#include <sstream>
#include <vector>

#include "Files.h"

namespace fs = std::filesystem;

namespace sorvel {

namespace {
std::mutex fileMutex;
fs::path permissionsFile;

std::string trim(std::string s) {
    auto notSpace = [](unsigned char c) { return !std::isspace(c); };
    s.erase(s.begin(), std::find_if(s.begin(), s.end(), notSpace));
    s.erase(std::find_if(s.rbegin(), s.rend(), notSpace).base(), s.end());
    return s;
}

std::vector<std::pair<std::string, std::string>> readEntries(const fs::path& file) {
    std::vector<std::pair<std::string, std::string>> entries;
    std::ifstream in(file);
    std::string line;
    while (std::getline(in, line)) {
        auto hash = line.find('#');
        if (hash != std::string::npos) line.erase(hash);
        auto eq = line.find('=');
        if (eq == std::string::npos) continue;
        std::string key = trim(line.substr(0, eq));
        if (!key.empty()) entries.emplace_back(key, trim(line.substr(eq + 1)));
    }
    return entries;
}
}  // namespace

std::optional<AuthorizationStatus> parseAuthorizationStatus(std::string_view t) {
    if (t == "authorized" || t == "3") return AuthorizationStatus::Authorized;
    if (t == "denied" || t == "2") return AuthorizationStatus::Denied;
    if (t == "restricted" || t == "1") return AuthorizationStatus::Restricted;
    if (t == "notDetermined" || t == "0") return AuthorizationStatus::NotDetermined;
    if (t == "limited" || t == "4") return AuthorizationStatus::Limited;
    return std::nullopt;
}

const char* authorizationStatusName(AuthorizationStatus s) {
    switch (s) {
    case AuthorizationStatus::NotDetermined: return "notDetermined";
    case AuthorizationStatus::Restricted: return "restricted";
    case AuthorizationStatus::Denied: return "denied";
    case AuthorizationStatus::Authorized: return "authorized";
    case AuthorizationStatus::Limited: return "limited";
    }
    return "notDetermined";
}

void Permissions::setFile(const fs::path& file) {
    std::lock_guard lock(fileMutex);
    permissionsFile = file;
}

fs::path Permissions::file() {
    std::lock_guard lock(fileMutex);
    return permissionsFile;
}

std::optional<std::string> Permissions::entry(std::string_view key) {
    fs::path f = file();
    if (f.empty()) return std::nullopt;
    std::optional<std::string> found;
    for (auto& [k, v] : readEntries(f))
        if (k == key) found = v;
    return found;
}

AuthorizationStatus Permissions::status(std::string_view resource) {
    auto e = entry(resource);
    if (!e) return AuthorizationStatus::Authorized;
    // An entry nobody can read is treated as a refusal rather than silently granting access.
    return parseAuthorizationStatus(*e).value_or(AuthorizationStatus::Denied);
}

bool Permissions::setEntry(std::string_view key, std::string_view value) {
    fs::path f = file();
    if (f.empty()) return false;
    auto entries = readEntries(f);
    bool replaced = false;
    for (auto& [k, v] : entries)
        if (k == key) {
            v = value;
            replaced = true;
        }
    if (!replaced) entries.emplace_back(std::string(key), std::string(value));
    std::string text;
    for (auto& [k, v] : entries) text += k + " = " + v + "\n";
    std::error_code ec;
    fs::create_directories(f.parent_path(), ec);
    return writeFileAtomically(f, Bytes(text.begin(), text.end())).ok;
}

}  // namespace sorvel
