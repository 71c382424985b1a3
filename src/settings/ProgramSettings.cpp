#include "settings/ProgramSettings.h"

#include <algorithm>
#include <exception>
#include <string>

#include "settings/FileText.h"
#include "settings/IniFile.h"

namespace horalux::settings {

namespace {

constexpr std::string_view kInterface = "Interface";

struct TlsKey {
    std::string_view key;
    std::string ProgramSettings::*field;
};
constexpr TlsKey kTlsKeys[] = {
    {"TlsCaFile", &ProgramSettings::TlsCaFile},
    {"TlsPin", &ProgramSettings::TlsPin},
    {"TlsCertFile", &ProgramSettings::TlsCertFile},
    {"TlsKeyFile", &ProgramSettings::TlsKeyFile},
};
constexpr std::string_view kView = "View";
constexpr char kListSeparator = ';';

// A list item as stored: '%', the separator, control characters and the spaces at either end
// (which the file's reader trims) as %XX, so any port name reads back as written. Items written
// before held none of them but spaces inside, which stay as they are.
std::string escapedItem(std::string_view item) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (std::size_t i = 0; i < item.size(); ++i) {
        const auto byte = static_cast<unsigned char>(item[i]);
        const bool endSpace = byte == ' ' && (i == 0 || i + 1 == item.size());
        if (byte == '%' || byte == kListSeparator || byte < 0x20 || byte == 0x7F || endSpace) {
            out += '%';
            out += kHex[byte >> 4];
            out += kHex[byte & 0x0F];
        } else {
            out += item[i];
        }
    }
    return out;
}

int hexValue(char c) {
    return c >= '0' && c <= '9'   ? c - '0'
           : c >= 'A' && c <= 'F' ? c - 'A' + 10
           : c >= 'a' && c <= 'f' ? c - 'a' + 10
                                  : -1;
}

std::string unescapedItem(std::string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() && hexValue(text[i + 1]) >= 0 &&
            hexValue(text[i + 2]) >= 0) {
            out += static_cast<char>(hexValue(text[i + 1]) * 16 + hexValue(text[i + 2]));
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

std::vector<std::string> splitList(const std::string& text) {
    std::vector<std::string> items;
    std::size_t from = 0;
    while (from <= text.size()) {
        const std::size_t end = std::min(text.find(kListSeparator, from), text.size());
        if (end > from) {
            items.push_back(unescapedItem(std::string_view(text).substr(from, end - from)));
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
        text += escapedItem(item);
    }
    return text;
}

constexpr std::string_view kLineBoards = "LineBoards";

std::string boardsKey(std::size_t index) {
    return "Boards" + std::to_string(index + 1);
}

std::optional<ScannedBoard> scannedBoard(const std::string& text) {
    std::vector<std::string> parts;
    std::size_t from = 0;
    for (;;) {
        const std::size_t end = text.find(':', from);
        parts.push_back(text.substr(from, end == std::string::npos ? end : end - from));
        if (end == std::string::npos) {
            break;
        }
        from = end + 1;
    }
    if (parts.size() != 4) {
        return std::nullopt;
    }
    ScannedBoard b;
    try {
        const unsigned long address = std::stoul(parts[0]);
        const unsigned long speed = std::stoul(parts[1]);
        if (address < 1 || address > 254 || speed == 0 || speed > 4000000) {
            return std::nullopt;
        }
        b.address = static_cast<std::uint8_t>(address);
        b.speed = static_cast<std::uint32_t>(speed);
        if (!parts[3].empty()) {
            b.clockDifferenceS = std::stoll(parts[3]);
        }
    } catch (const std::exception&) {
        return std::nullopt;
    }
    b.mode = parts[2] == "M"   ? ScannedBoard::Master
             : parts[2] == "S" ? ScannedBoard::Slave
                               : ScannedBoard::Unknown;
    return b;
}

std::string scannedBoardText(const ScannedBoard& b) {
    std::string text = std::to_string(b.address) + ":" + std::to_string(b.speed) + ":" +
                       (b.mode == ScannedBoard::Master  ? "M"
                        : b.mode == ScannedBoard::Slave ? "S"
                                                        : "?") +
                       ":";
    if (b.clockDifferenceS) {
        text += (*b.clockDifferenceS > 0 ? "+" : "") + std::to_string(*b.clockDifferenceS);
    }
    return text;
}

std::vector<LineScan> readLineScans(const IniFile& file) {
    std::vector<LineScan> scans;
    const std::vector<std::string> ports = splitList(file.readString(kLineBoards, "Ports", {}));
    for (std::size_t i = 0; i < ports.size(); ++i) {
        LineScan scan{ports[i], {}};
        for (const std::string& item : splitList(file.readString(kLineBoards, boardsKey(i), {}))) {
            if (const std::optional<ScannedBoard> b = scannedBoard(item)) {
                scan.boards.push_back(*b);
            }
        }
        scans.push_back(std::move(scan));
    }
    return scans;
}

void writeLineScans(IniFile& file, const std::vector<LineScan>& all) {
    const std::vector<LineScan> scans = boundedLineScans(all);
    const std::size_t before = splitList(file.readString(kLineBoards, "Ports", {})).size();
    std::vector<std::string> ports;
    for (std::size_t i = 0; i < scans.size(); ++i) {
        ports.push_back(scans[i].port);
        std::vector<std::string> items;
        for (const ScannedBoard& b : scans[i].boards) {
            items.push_back(scannedBoardText(b));
        }
        file.writeString(kLineBoards, boardsKey(i), joinList(items));
    }
    file.writeString(kLineBoards, "Ports", joinList(ports));
    // The scans of ports no longer listed go with them.
    for (std::size_t i = scans.size(); i < before || file.value(kLineBoards, boardsKey(i)); ++i) {
        file.erase(kLineBoards, boardsKey(i));
    }
}

}  // namespace

std::vector<LineScan> boundedLineScans(std::vector<LineScan> scans) {
    const auto size = [](const LineScan& scan) {
        // What the scan takes in the file: its port and a board item each, as written.
        std::size_t bytes = escapedItem(scan.port).size() + 16;
        for (const ScannedBoard& b : scan.boards) {
            bytes += scannedBoardText(b).size() + 1;
        }
        return bytes;
    };
    std::size_t total = 0;
    std::size_t kept = 0;
    // The newest are at the end: counted from there, the oldest are the ones left over.
    for (auto it = scans.rbegin(); it != scans.rend() && kept < kMaxLineScans; ++it, ++kept) {
        total += size(*it);
        if (total > kMaxLineScanBytes) {
            break;
        }
    }
    scans.erase(scans.begin(), scans.end() - static_cast<std::ptrdiff_t>(kept));
    return scans;
}

ProgramSettings loadSettings(const std::filesystem::path& path, std::string* unread) {
    const ProgramSettings defaults;
    ProgramSettings s;
    const TextFile existing = readTextFile(path);
    if (existing.status == TextFile::Unusable && unread != nullptr) {
        *unread = FileReadError(path, existing.reason).what();
    }
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
    for (const auto& [key, field] : kTlsKeys) {
        s.*field = file.readString(kInterface, key, {});
    }
    s.LineScans = readLineScans(file);

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
    for (const auto& [key, field] : kTlsKeys) {
        // Written by hand: left as the file has them unless set otherwise.
        if (!(s.*field).empty() || !file.readString(kInterface, key, {}).empty()) {
            file.writeString(kInterface, key, s.*field);
        }
    }
    file.writeInteger(kInterface, "Period_sinhr", s.SyncPeriodChoice);
    if (!s.LineScans.empty() || file.hasSection(kLineBoards)) {
        writeLineScans(file, s.LineScans);
    }
    file.save(path);
}

}  // namespace horalux::settings
