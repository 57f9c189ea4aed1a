#include "DefaultsCommand.h"

#include <ostream>

#include "app/SettingsKeys.h"
#include "platform/foundation/Dates.h"
#include "platform/foundation/SettingsStore.h"

namespace sorvel {

namespace {

const char* kUsage =
    "usage: sorvel-camera defaults read [KEY]\n"
    "       sorvel-camera defaults write KEY -bool|-int|-float|-string|-date VALUE\n"
    "       sorvel-camera defaults delete KEY\n"
    "  -bool takes true/false (or yes/no, 1/0); -date takes ISO 8601 (2026-12-06T17:44:00Z).";

int usage(std::ostream& err, const std::string& why) {
    err << "defaults: " << why << "\n" << kUsage << "\n";
    return 2;
}

// Plain text of a single value: strings as they are, dates in ISO 8601, the rest described.
std::string plain(const Value& v) {
    if (auto* s = v.stringValue()) return *s;
    if (auto d = v.dateValue()) return formatIso8601(*d);
    return v.describe();
}

}  // namespace

int runDefaultsCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
                       const std::filesystem::path& settingsFile) {
    if (args.empty()) return usage(err, "missing command");
    const std::string& verb = args[0];

    if (verb == "read") {
        if (args.size() > 2) return usage(err, "read takes at most one key");
        auto store = SettingsStore::open(settingsFile);
        if (args.size() == 2) {
            auto v = store->objectForKey(args[1]);
            if (!v) {
                err << "defaults: no value for key " << args[1] << "\n";
                return 1;
            }
            out << plain(*v) << "\n";
            return 0;
        }
        out << "{\n";
        for (const auto& key : store->allKeys()) out << "    " << key << " = " << store->objectForKey(key)->describe() << ";\n";
        out << "}\n";
        return 0;
    }

    if (verb == "write") {
        if (args.size() != 4) return usage(err, "write takes KEY, a type flag and VALUE");
        const std::string& key = args[1];
        const std::string& flag = args[2];
        if (key.empty()) return usage(err, "empty key");
        SettingType type;
        if (flag == "-bool") type = SettingType::Bool;
        else if (flag == "-int" || flag == "-integer") type = SettingType::Integer;
        else if (flag == "-float" || flag == "-double") type = SettingType::Real;
        else if (flag == "-string") type = SettingType::String;
        else if (flag == "-date") type = SettingType::Date;
        else return usage(err, "unknown type flag " + flag);
        auto value = parseSettingValue(type, args[3]);
        if (!value) return usage(err, "\"" + args[3] + "\" is not a valid " + settingTypeName(type));
        auto store = SettingsStore::open(settingsFile);
        if (!store->setObject(*value, key)) {
            err << "defaults: could not save " << key << " to " << settingsFile.string() << "\n";
            return 1;
        }
        return 0;
    }

    if (verb == "delete") {
        if (args.size() != 2) return usage(err, "delete takes one key");
        auto store = SettingsStore::open(settingsFile);
        if (!store->objectForKey(args[1])) {
            err << "defaults: no value for key " << args[1] << "\n";
            return 1;
        }
        return store->removeObjectForKey(args[1]) ? 0 : 1;
    }

    return usage(err, "unknown command " + verb);
}

}  // namespace sorvel
