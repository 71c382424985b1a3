#include "CliCommands.h"

#include <array>
#include <cstdio>
#include <filesystem>
#include <ostream>
#include <string>

#include "CliSession.h"
#include "config/RegisterFile.h"
#include "config/RegisterMap.h"
#include "link/Commands.h"
#include "link/PortList.h"
#include "link/SegmentCode.h"
#include "platform/PosixSerialPort.h"
#include "platform/PosixSystemClock.h"
#include "platform/SerialPortList.h"
#include "settings/FileText.h"
#include "timesync/SntpClient.h"

namespace horalux::cli {
namespace {

constexpr std::uint32_t kReadAllWaitMs = 60000;
constexpr std::uint32_t kShortWaitMs = 10000;
constexpr int kFailed = 1;
constexpr int kBadUsage = 2;

const char* fieldName(config::Field field) {
    static constexpr std::array<const char*, 19> kNames = {
        "displayTimes", "timeZone",        "lowerLevel",     "dimStart",    "dimEnd",
        "freeS6",       "alarm1",          "alarm2",         "signalFlags", "volume",
        "dimLevel",     "normalLevel",     "address",        "modeFlags",   "upperLevel",
        "freeSE",       "dailyCorrection", "displayFormats", "userScreens"};
    return kNames[static_cast<std::size_t>(field)];
}

std::string registerLabel(const config::RegisterEntry& entry) {
    std::string label = fieldName(entry.field);
    if (entry.field == config::Field::DisplayTimes ||
        entry.field == config::Field::DisplayFormats || entry.field == config::Field::UserScreens) {
        label += "[" + std::to_string(entry.index) + "]";
    }
    if (entry.half == config::Half::High) {
        label += ".hi";
    } else if (entry.half == config::Half::Low) {
        label += ".lo";
    }
    return label;
}

int listPorts(const CliOptions& options, std::ostream& out) {
    std::vector<link::PortValue> values;
    for (const platform::SystemSerialPort& port : platform::listSystemSerialPorts()) {
        values.push_back({link::portValueName(port.description), port.name});
    }
    std::string comPort = options.port;
    std::error_code ec;
    const bool exists = std::filesystem::exists(platform::serialDevicePath(comPort), ec);
    for (const link::PortListEntry& entry : link::FillPortList(values, comPort, exists).entries) {
        out << entry.label << "\n";
    }
    return 0;
}

// A fresh process knows nothing of the board: read what it holds first, as the main window
// does after connecting.
bool connectAndReadAll(CliSession& session) {
    if (!session.connect()) {
        return false;
    }
    session.ops().ReadAllRegisters();
    return session.waitForRing(kReadAllWaitMs);
}

int readRegisters(CliSession& session, const CliOptions& options, std::ostream& out,
                  std::ostream& err) {
    if (!connectAndReadAll(session)) {
        return kFailed;
    }
    const config::RegisterImage image = session.board().lock()->BoardCopy;
    for (const std::uint8_t reg : config::kReadList) {
        const config::RegisterEntry* entry = config::findRegister(reg);
        if (entry != nullptr) {
            out << int{reg} << " " << registerLabel(*entry) << " "
                << int{*config::readRegister(image, reg)} << "\n";
        }
    }
    if (!options.file.empty()) {
        try {
            config::saveRegisterFile(options.file, image);
        } catch (const settings::FileError& e) {
            err << "horalux-cli: " << e.what() << "\n";
            return kFailed;
        }
    }
    return 0;
}

int writeRegisters(CliSession& session, const CliOptions& options, std::ostream& err) {
    const std::filesystem::path path = config::registerFilePath(options.file);
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec)) {
        err << "horalux-cli: no register file " << path.string() << "\n";
        return kFailed;
    }
    if (!connectAndReadAll(session)) {
        return kFailed;
    }
    try {
        auto data = session.board().lock();
        // What the settings window would show and encode, with the file's values laid over it;
        // the file carries no mode flags, so the board's stay as they are.
        data->EditCopy = config::loadRegisterFile(options.file, data->BoardCopy);
    } catch (const settings::FileReadError& e) {
        err << "horalux-cli: " << e.what() << "\n";
        return kFailed;
    }
    session.ops().WriteRegisters();
    return session.waitForRing(kReadAllWaitMs) ? 0 : kFailed;
}

int syncTime(CliSession& session) {
    if (!session.connect()) {
        return kFailed;
    }
    session.ops().Sinkhr_date();
    return session.waitForRing(kShortWaitMs) ? 0 : kFailed;
}

int readTime(CliSession& session, std::ostream& out) {
    if (!connectAndReadAll(session)) {
        return kFailed;
    }
    session.ops().readTimeAndDate();
    if (!session.waitForRing(kShortWaitMs)) {
        return kFailed;
    }
    const auto data = session.board().snapshot();
    out << "time: " << data.MainFieldTexts[0] << "\n"
        << "date: " << data.MainFieldTexts[1] << "\n"
        << "year: " << data.MainFieldTexts[2] << "\n";
    return 0;
}

bool readFieldsInto(CliSession& session) {
    if (!connectAndReadAll(session)) {
        return false;
    }
    session.ops().readUserFields();
    return session.waitForRing(kShortWaitMs);
}

void printFields(CliSession& session, std::ostream& out) {
    const auto data = session.board().snapshot();
    for (int i = 0; i < data.UserFieldCount; ++i) {
        out << i << ": " << data.UserFieldTexts[static_cast<std::size_t>(i)] << "\n";
    }
}

int readFields(CliSession& session, std::ostream& out) {
    if (!readFieldsInto(session)) {
        return kFailed;
    }
    printFields(session, out);
    return 0;
}

// Digit positions a text takes: a dot shares the position of the digit before it.
std::size_t positionsOf(const std::string& text) {
    return link::encodeFieldText(text).size();
}

int writeField(CliSession& session, const CliOptions& options, std::ostream& err) {
    for (const char c : options.text) {
        if (!link::isFieldTextChar(c)) {
            err << "horalux-cli: a field text holds only digits, '-', '_', '.' and spaces\n";
            return kBadUsage;
        }
    }
    if (!readFieldsInto(session)) {
        return kFailed;
    }
    std::uint8_t length = 0;
    int count = 0;
    {
        auto data = session.board().lock();
        count = data->UserFieldCount;
        length = data->BoardCopy.userScreens[options.fieldIndex];
    }
    if (static_cast<int>(options.fieldIndex) >= count || length == 0) {
        err << "horalux-cli: the board has no user field " << options.fieldIndex << " (it has "
            << count << ")\n";
        return kFailed;
    }
    if (positionsOf(options.text) > length) {
        err << "horalux-cli: field " << options.fieldIndex << " has " << int{length}
            << " digit positions; the text needs " << positionsOf(options.text) << "\n";
        return kBadUsage;
    }
    session.ops().writeUserField(options.fieldIndex, options.text);
    return session.waitForRing(kShortWaitMs) ? 0 : kFailed;
}

int setMode(CliSession& session, const CliOptions& options) {
    if (!session.connect()) {
        return kFailed;
    }
    session.ops().SetBoardMode(options.master);
    return session.waitForRing(kShortWaitMs) ? 0 : kFailed;
}

int monitor(CliSession& session, const CliOptions& options, std::ostream& out,
            const std::atomic<bool>& interrupted) {
    link::BoardData shown;
    session.setMonitor(
        [&] {
            const link::BoardData now = session.board().snapshot();
            const std::string_view main = link::currentMainText(now);
            if (main != link::currentMainText(shown) ||
                now.CurrentMainItem != shown.CurrentMainItem) {
                out << "main: " << main << "\n";
            }
            for (std::size_t i = 1; i <= 7; ++i) {
                if (now.SensorFieldTexts[i] != shown.SensorFieldTexts[i]) {
                    out << "sensor " << i << ": " << now.SensorFieldTexts[i] << "\n";
                }
            }
            for (std::size_t i = 0; i < static_cast<std::size_t>(now.UserFieldCount); ++i) {
                if (now.UserFieldTexts[i] != shown.UserFieldTexts[i]) {
                    out << "field " << i << ": " << now.UserFieldTexts[i] << "\n";
                }
            }
            out.flush();
            shown = now;
        },
        options.raw);
    if (!session.connect()) {
        return kFailed;
    }
    const std::uint32_t ms = options.seconds ? *options.seconds * 1000U : UINT32_MAX;
    session.runFor(ms, interrupted);
    return session.failed() ? kFailed : 0;
}

int sntp(const CliOptions& options, std::ostream& out, std::ostream& err) {
    platform::PosixSystemClock clock;
    platform::MonotonicTick tick;
    const timesync::SntpResult result = timesync::querySntpServer(options.host, clock, tick);
    if (!result.ok()) {
        err << "horalux-cli: " << timesync::sntpFailureText(options.host) << "\n";
        return kFailed;
    }
    const platform::LocalDateTime t = timesync::serverLocalTime(result);
    char text[64];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d.%03d", t.year, t.month, t.day,
                  t.hour, t.minute, t.second, t.millisecond);
    out << "server time: " << text << "\n"
        << "offset of the PC clock: " << -result.offsetMs << " ms\n"
        << "round trip: " << result.roundTripMs << " ms\n";
    return 0;
}

}  // namespace

int runCommand(const CliOptions& options, std::ostream& out, std::ostream& err,
               const std::atomic<bool>& interrupted) {
    switch (options.command) {
        case Command::Ports:
            return listPorts(options, out);
        case Command::Sntp:
            return sntp(options, out, err);
        default:
            break;
    }
    const bool needsReplies =
        options.command == Command::ReadRegisters || options.command == Command::WriteRegisters ||
        options.command == Command::ReadTime || options.command == Command::ReadFields ||
        options.command == Command::WriteField;
    if (needsReplies && options.address == link::kAllBoards) {
        // Boards never answer the all-boards address, so there would be nothing to read.
        err << "horalux-cli: this command reads from the board and needs a single board address\n";
        return kBadUsage;
    }
    CliSession session(options, out, err);
    switch (options.command) {
        case Command::ReadRegisters:
            return readRegisters(session, options, out, err);
        case Command::WriteRegisters:
            return writeRegisters(session, options, err);
        case Command::SyncTime:
            return syncTime(session);
        case Command::ReadTime:
            return readTime(session, out);
        case Command::ReadFields:
            return readFields(session, out);
        case Command::WriteField:
            return writeField(session, options, err);
        case Command::SetMode:
            return setMode(session, options);
        case Command::Monitor:
            return monitor(session, options, out, interrupted);
        default:
            return kBadUsage;
    }
}

}  // namespace horalux::cli
