#include "settings/ProgramSettings.h"

#include <algorithm>

#include "settings/FileText.h"
#include "settings/IniFile.h"

namespace horalux::settings {

namespace {

constexpr std::string_view kInterface = "Interface";
constexpr std::string_view kView = "View";
constexpr char kListSeparator = ';';

std::vector<std::string> splitList(const std::string& text) {
    std::vector<std::string> items;
    std::size_t from = 0;
    while (from <= text.size()) {
        const std::size_t end = std::min(text.find(kListSeparator, from), text.size());
        if (end > from) {
            items.push_back(text.substr(from, end - from));
        }
        from = end + 1;
    }
    return items;
}

std::string joinList(const std::vector<std::string>& items) {
    std::string text;
    for (const std::string& item : items) {
        if (!text.empty()) {
            text += kListSeparator;
        }
        text += item;
    }
    return text;
}

}  // namespace

ProgramSettings loadSettings(const std::filesystem::path& path) {
    const ProgramSettings defaults;
    ProgramSettings s;
    const TextFile existing = readTextFile(path);
    IniFile file = IniFile::fromText(existing.content);
    s.ComPort = file.readString(kInterface, "ComPort", defaults.ComPort);
    s.ComSpeed = file.readInteger(kInterface, "ComSpeed", defaults.ComSpeed);
    if (s.ComSpeed <= 0) {  // the pause after each frame divides by the speed
        s.ComSpeed = defaults.ComSpeed;
    }
    const std::int32_t address = file.readInteger(kInterface, "sysnum", defaults.sysnum);
    s.sysnum =
        address >= 0 && address <= 255 ? static_cast<std::uint8_t>(address) : defaults.sysnum;
    s.DelayTime = file.readInteger(kInterface, "DelayTime", defaults.DelayTime);
    s.SinhrTime = file.readBool(kInterface, "SinhrTime", defaults.SinhrTime);
    s.SinhrTimeServer = file.readString(kInterface, "SinhrTimeServer", defaults.SinhrTimeServer);
    s.Test = file.readBool(kView, "Test", defaults.Test);
    for (const LogItem& item : kLogItems) {
        s.Log.*item.flag = file.readBool(kView, item.settingsKey, defaults.Log.*item.flag);
    }
    s.NetworkPorts = splitList(file.readString(kInterface, "NetworkPorts", {}));

    if (s.DelayTime < kMinDelayTime || s.DelayTime > kMaxDelayTime) {
        s.DelayTime = defaults.DelayTime;
    }
    // The file always holds the delay in use; a file that could not be read is not replaced,
    // and one that already holds it is left alone.
    file.writeInteger(kInterface, "DelayTime", s.DelayTime);
    if (existing.status == TextFile::Missing ||
        (existing.status == TextFile::Read && file.text() != existing.content)) {
        try {
            file.save(path);
        } catch (const FileError&) {
            // The value in memory is right; saveSettings reports a file that cannot be written.
        }
    }

    const std::int32_t period =
        file.readInteger(kInterface, "Period_sinhr", defaults.SyncPeriodChoice);
    s.SyncPeriodChoice =
        period >= 0 && period < kPeriodChoiceCount ? period : defaults.SyncPeriodChoice;
    return s;
}

void saveSettings(const std::filesystem::path& path, const ProgramSettings& s) {
    const TextFile existing = readTextFile(path);
    if (existing.status == TextFile::Unusable) {
        throw FileError(path, "the existing file cannot be read: " + existing.reason);
    }
    IniFile file = IniFile::fromText(existing.content);
    file.writeString(kInterface, "ComPort", s.ComPort);
    file.writeInteger(kInterface, "ComSpeed", s.ComSpeed);
    file.writeInteger(kInterface, "DelayTime", s.DelayTime);
    file.writeInteger(kInterface, "sysnum", s.sysnum);
    file.writeBool(kInterface, "SinhrTime", s.SinhrTime);
    file.writeString(kInterface, "SinhrTimeServer", s.SinhrTimeServer);
    file.writeBool(kView, "Test", s.Test);
    for (const LogItem& item : kLogItems) {
        file.writeBool(kView, item.settingsKey, s.Log.*item.flag);
    }
    if (!s.NetworkPorts.empty() || !file.readString(kInterface, "NetworkPorts", {}).empty()) {
        file.writeString(kInterface, "NetworkPorts", joinList(s.NetworkPorts));
    }
    file.writeInteger(kInterface, "Period_sinhr", s.SyncPeriodChoice);
    file.save(path);
}

}  // namespace horalux::settings
