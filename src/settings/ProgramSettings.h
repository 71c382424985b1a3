#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "settings/FileText.h"
#include "settings/LogItems.h"

namespace horalux::settings {

inline constexpr std::string_view kDefaultTimeServer = "pool.ntp.org";
inline constexpr int kPeriodChoiceCount = 5;    // menu items N14 … N18
inline constexpr int kDefaultPeriodChoice = 4;  // "Сутки"
// DelayTime outside these bounds reads as the default: below the minimum the board may miss the
// next frame, and above the maximum every exchange would stall for good.
inline constexpr std::int32_t kMinDelayTime = 50;
inline constexpr std::int32_t kMaxDelayTime = 10000;

// A board the last scan of a port found: its address, speed, mode (master, slave, or not known)
// and how many seconds its clock was ahead of the PC's then.
struct ScannedBoard {
    enum Mode { Unknown, Master, Slave };
    std::uint8_t address = 0;
    std::uint32_t speed = 0;
    Mode mode = Unknown;
    std::optional<std::int64_t> clockDifferenceS;

    friend bool operator==(const ScannedBoard&, const ScannedBoard&) = default;
};

// The last scan of one port.
struct LineScan {
    std::string port;
    std::vector<ScannedBoard> boards;

    friend bool operator==(const LineScan&, const LineScan&) = default;
};

// The program's connection and synchronisation settings; fields are named after their keys.
struct ProgramSettings {
    std::string ComPort = "COM1";
    std::int32_t ComSpeed = 9600;
    std::uint8_t sysnum = 1;
    std::int32_t DelayTime = 100;  // milliseconds added to the pause after each written frame
    bool SinhrTime = false;
    std::string SinhrTimeServer{kDefaultTimeServer};
    // Key "Period_sinhr"; 0..4 selects the menu item N14 … N18. The period menu's owner
    // (timesync::SyncPeriod) keeps it as the value to save.
    int SyncPeriodChoice = kDefaultPeriodChoice;
    bool Test = false;  // key "Test": the check mark of N12, the exchange log shown
    // The exchange log's line form: a key of View per item of kLogItems (LogTime, ...).
    LogForm Log{};
    // Key "NetworkPorts" (names separated by ";"): the ports that connected once, of the kinds
    // remembered (network ports), newest first, offered again after the local ports.
    std::vector<std::string> NetworkPorts{};
    // Keys "TlsCaFile", "TlsPin", "TlsCertFile", "TlsKeyFile": what TLS ports check their
    // device server by (a CA file instead of the system's authorities, or the SHA-256 pin of
    // its certificate) and our certificate and key for a server that asks for one. Written by
    // hand; empty: the system's authorities, no certificate of ours.
    std::string TlsCaFile{};
    std::string TlsPin{};
    std::string TlsCertFile{};
    std::string TlsKeyFile{};
    // Section "LineBoards": key "Ports" names the scanned ports (";"), key "BoardsN" the boards
    // of the Nth as "77:9600:M:+2" (address, speed, M, S or ?, clock seconds or nothing). The
    // newest scan last; saved bounded (boundedLineScans). In both lists '%', ';', control
    // characters and spaces at either end of a name are stored as %XX.
    std::vector<LineScan> LineScans{};

    friend bool operator==(const ProgramSettings&, const ProgramSettings&) = default;
};

// The line scans a save keeps: the newest, at most kMaxLineScans of them and kMaxLineScanBytes
// of the file, so that a settings file never grows past what it may hold; the oldest go first.
inline constexpr std::size_t kMaxLineScans = 64;
inline constexpr std::size_t kMaxLineScanBytes = 256 * 1024;
std::vector<LineScan> boundedLineScans(std::vector<LineScan> scans);

// Reads the settings file; a missing file, missing keys and values that are not valid give the
// defaults. DelayTime below 50 or above 10000 becomes 100, and DelayTime is written back to the
// file at once (unless the file exists but could not be read, or already says so). A file that
// exists but cannot be read (unreadable, no regular file, too large) gives the defaults and, in
// `unread`, why it was not read, naming it.
// Never throws for a problem with the file: settings problems must not stop the program.
ProgramSettings loadSettings(const std::filesystem::path& file, std::string* unread = nullptr);

// Writes every setting into the file, keeping its other content. Throws FileError when the
// file cannot be written, or when an existing file could not be read (it is not replaced
// unseen).
void saveSettings(const std::filesystem::path& file, const ProgramSettings& settings);

}  // namespace horalux::settings
