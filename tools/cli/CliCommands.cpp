#include "CliCommands.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <ostream>
#include <string>

#include "CliFormat.h"
#include "CliSession.h"
#include "PerBoardRun.h"
#include "config/Codes.h"
#include "config/RegisterFile.h"
#include "config/RegisterFileCheck.h"
#include "config/RegisterMap.h"
#include "config/WritePlan.h"
#include "link/boardset/BoardSteps.h"
#include "link/exchange/SegmentCode.h"
#include "link/wire/Commands.h"
#include "link/wire/PortList.h"
#include "platform/MachineClock.h"
#include "platform/PortNameText.h"
#include "settings/FileText.h"
#include "settings/LogItems.h"
#include "timesync/SntpClient.h"

namespace horalux::cli {

// A fresh process knows nothing of the board: read what it holds first, as the main window
// does after connecting.
bool connectAndReadAll(CliSession& session) {
    if (!session.connect()) {
        return false;
    }
    return link::boardset::readAll(session.ops(), [&] { return session.waitForRing(); });
}

namespace {

// A master sends a status frame every second: three seconds without one tell a slave.
constexpr std::uint32_t kStatusFrameWaitMs = 3000;
constexpr int kFailed = 1;
constexpr int kBadUsage = 2;

// Why `path` cannot take a register file: it exists and is no regular file (a device such as
// /dev/full would get a file beside it in /dev instead). Empty when it can.
std::string notAFile(const std::filesystem::path& path) {
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::file_status status = fs::status(path, ec);
    switch (status.type()) {
        case fs::file_type::not_found:
        case fs::file_type::none:
        case fs::file_type::regular:
            return {};
        case fs::file_type::character:
        case fs::file_type::block:
            return path.string() + " is a device, not a file";
        case fs::file_type::fifo:
            return path.string() + " is a FIFO, not a file";
        case fs::file_type::directory:
            return path.string() + " is a folder, not a file";
        default:
            return path.string() + " is not a regular file";
    }
}

// Where the register file named by the user is written. A symbolic link is written through,
// also when what it points to does not exist yet (the file is then made there) rather than
// being replaced by a file of its own. Empty, with the reason, when that cannot be.
std::filesystem::path registerFileTarget(const std::filesystem::path& chosen,
                                         std::string& problem) {
    namespace fs = std::filesystem;
    if (std::string why = notAFile(chosen); !why.empty()) {
        problem = why + "; nothing was written";
        return {};
    }
    fs::path path = config::registerFilePath(chosen);
    std::error_code ec;
    for (int depth = 0; fs::is_symlink(fs::symlink_status(path, ec)); ++depth) {
        if (fs::exists(path, ec)) {
            return path;  // the saver follows a link whose target exists
        }
        fs::path target = fs::read_symlink(path, ec);
        if (ec || depth == 40) {
            problem = path.string() + ": " + (ec ? ec.message() : "too many symbolic links");
            return {};
        }
        if (target.is_relative()) {
            target = path.parent_path() / target;
        }
        if (target.extension().string() != config::kRegisterFileExtension) {
            problem = path.string() + " is a symbolic link to " + target.string() +
                      ", which does not exist and is no register file name (" +
                      std::string(config::kRegisterFileExtension) + "); nothing was written";
            return {};
        }
        path = target;
    }
    if (std::string why = notAFile(path); !why.empty()) {
        problem = why + "; nothing was written";
        return {};
    }
    return path;
}

// The file name given, and the register file it stands for when that differs.
std::string fileNamed(const std::filesystem::path& given, const std::filesystem::path& used) {
    if (given == used) {
        return used.string();
    }
    return used.string() + " (for " + given.string() + ": a register file's name ends in " +
           std::string(config::kRegisterFileExtension) + ")";
}

// Reads every written register again; true when each holds what was written. A board may
// acknowledge a write it did not keep (a value out of its range, a register it lacks).
bool readBackMatches(CommandContext& c, const std::vector<config::RegisterWrite>& plan) {
    CliSession& session = c.session();
    const auto mismatches = link::boardset::readBack(session.ops(), session.board(), plan,
                                                     [&] { return session.waitForRing(); });
    if (!mismatches) {
        return false;
    }
    for (const link::boardset::ReadBackMismatch& m : *mismatches) {
        c.err << "horalux-cli: register " << int{m.number} << " reads back " << int{m.read}
              << " after " << int{m.written} << " was written\n";
    }
    const std::size_t differing = mismatches->size();
    if (differing > 0) {
        c.err << "horalux-cli: " << differing << " written register"
              << (differing == 1 ? " does" : "s do") << " not read back as written\n";
    }
    return differing == 0;
}

}  // namespace

int listPorts(CommandContext& c) {
    std::string comPort = c.options.port;
    for (const link::PortListEntry& entry : link::ListPorts(comPort).entries) {
        c.out << entry.mark << entry.label << "\n";
    }
    return 0;
}

int readRegisters(CommandContext& c) {
    const CliOptions& options = c.options;
    CliSession& session = c.session();
    std::ostream& out = c.out;
    std::ostream& err = c.err;
    std::filesystem::path target;
    if (!options.file.empty() && !options.outDir.empty()) {
        target = options.file;  // named by the run, and whatever is there replaced
    } else if (!options.file.empty()) {
        std::string problem;
        target = registerFileTarget(options.file, problem);
        if (target.empty()) {
            err << "horalux-cli: " << problem << "\n";
            return kBadUsage;
        }
    }
    if (!connectAndReadAll(session)) {
        return kFailed;
    }
    const config::RegisterImage image = session.board().lock()->BoardCopy;
    if (!target.empty()) {
        try {
            // A board's file in a folder given to the run is the run's own: a link planted
            // there is replaced, never followed.
            if (options.outDir.empty()) {
                config::saveRegisterFile(target, image);
            } else {
                config::saveNewRegisterFile(target, image);
            }
        } catch (const settings::FileError& e) {
            err << "horalux-cli: " << e.what() << "\n";
            return kFailed;
        }
    }
    for (const std::uint8_t reg : config::kReadList) {
        const config::RegisterEntry* entry = config::findRegister(reg);
        if (entry != nullptr && entry->half != config::Half::Low) {
            out << int{reg} << " " << registerLabel(*entry) << " "
                << registerValueText(image, *entry) << "\n";
        }
    }
    if (!target.empty()) {
        out << "saved to " << fileNamed(options.file, target) << "\n";
    }
    return 0;
}

std::optional<config::RegisterImage> readRegisterFileWhole(CommandContext& c) {
    const CliOptions& options = c.options;
    std::ostream& err = c.err;
    // Nothing goes to the board before the whole file has been found good: a file that lacks
    // keys would otherwise write zeros, the board's address among them.
    const std::filesystem::path path = config::registerFilePath(options.file);
    const config::RegisterFileCheck check = config::readRegisterFileWhole(path);
    if (check.unreadable) {
        err << "horalux-cli: cannot read the register file " << fileNamed(options.file, path)
            << ": " << check.problem << "\n";
        return std::nullopt;
    }
    if (!check.image) {
        err << "horalux-cli: " << fileNamed(options.file, path) << ": " << check.problem
            << "; nothing was written\n";
        return std::nullopt;
    }
    if (options.setAddress && check.image->address == link::kAllBoards) {
        // A board moved there would hear every request to all boards but answer none, and no
        // request could reach it alone to move it back.
        err << "horalux-cli: " << path.string() << ": s0=255 cannot be a board's address: 255 "
            << "addresses all boards at once and a board there could no longer be reached; "
            << "nothing was written\n";
        return std::nullopt;
    }
    c.out << "read " << fileNamed(options.file, path) << "\n";
    return check.image;
}

int writeRegisters(CommandContext& c) {
    const CliOptions& options = c.options;
    const std::optional<config::RegisterImage> fromFile = readRegisterFileWhole(c);
    if (!fromFile) {
        return kBadUsage;
    }
    CliSession& session = c.session();
    if (!connectAndReadAll(session)) {
        return kFailed;
    }
    const link::boardset::FileWrite write =
        link::boardset::prepareFileWrite(session.board(), *fromFile, options.setAddress);
    const std::vector<config::RegisterWrite>& plan = write.plan;
    const std::optional<std::uint8_t>& newAddress = write.newAddress;
    session.ops().WriteRegisters();
    if (!session.waitForRing()) {
        if (c.interrupted && !plan.empty()) {
            // Ctrl+C ends the write at once: what the board took is said, since it now holds
            // neither its old settings nor the file's.
            const std::size_t queued = plan.size() + (newAddress ? 1U : 0U) + 1U;  // + the clock
            const std::size_t confirmed =
                std::min(plan.size(), queued - std::min(queued, session.ops().pendingRequests()));
            c.err << "horalux-cli: "
                  << (confirmed > 0 ? "interrupted after " + std::to_string(confirmed) + " of " +
                                          std::to_string(plan.size()) +
                                          " registers; it holds part of the file"
                                    : "interrupted before its first register was confirmed; it "
                                      "may hold part of the file")
                  << "\n";
        }
        return kFailed;
    }
    c.out << writtenText(plan, newAddress) << "\n";
    // Once the address has moved, the old one reaches nothing to read back.
    if (!newAddress && !readBackMatches(c, plan)) {
        return kFailed;
    }
    return 0;
}

int syncTime(CommandContext& c) {
    CliSession& session = c.session();
    if (!session.connect()) {
        return kFailed;
    }
    session.ops().Sinkhr_date();
    if (!session.waitForRing()) {
        return kFailed;
    }
    if (c.options.address == link::kAllBoards) {
        c.out << "wrote the PC time into the clocks of all boards (none answers address 255)\n";
    } else {
        c.out << "wrote the PC time into the board clock\n";
    }
    return 0;
}

int readTime(CommandContext& c) {
    CliSession& session = c.session();
    if (!session.connect()) {
        return kFailed;
    }
    // The time zone before the clock: the clock's reply is shifted by it as it is decoded.
    session.ops().queue(link::op::kMenuTries, link::op::kMenuIntervalMs, link::cmd::ReadRegister,
                        config::kTimeZoneRegister, 0);
    session.ops().readClock();
    if (!session.waitForRing()) {
        return kFailed;
    }
    const platform::LocalDateTime pc = platform::MachineClock().now();
    const link::BoardData data = session.board().snapshot();
    if (!data.BoardClock) {
        c.err << "horalux-cli: the board's clock reply held no valid date and time\n";
        return kFailed;
    }
    // The decoder shifts the reply by the board's zone for show; the board's clock itself keeps
    // the time it was written, the PC's local time, and that is what is compared.
    const platform::LocalDateTime shown = *data.BoardClock;
    const int zone = config::timeZoneShiftMinutes(data.BoardCopy.timeZone);
    const platform::LocalDateTime own = *link::boardOwnClock(data);
    c.out << "time: " << timeText(own) << "\n"
          << "date: " << dateText(own) << "\n"
          << "shown with the time zone " << zoneText(zone) << ": " << timeText(shown) << " "
          << dateText(shown) << "\n"
          << "difference to the PC clock: " << differenceText(own, pc) << "\n";
    return 0;
}

int setMode(CommandContext& c) {
    const CliOptions& options = c.options;
    CliSession& session = c.session();
    if (!session.connect()) {
        return kFailed;
    }
    // The mode register holds other bits besides the master bit: it is written only over a
    // value just read, never over whatever an earlier run left in the board copy.
    session.ops().queue(link::op::kReadTries, link::op::kReadIntervalMs, link::cmd::ReadRegister,
                        config::kModeFlagsRegister, 0);
    if (!session.waitForRing()) {
        return kFailed;
    }
    session.ops().SetBoardMode(options.master);
    if (!session.waitForRing()) {
        return kFailed;
    }
    c.out << "board " << int{options.address} << " is now "
          << (options.master ? "time master" : "slave") << "\n";
    return 0;
}

int monitor(CommandContext& c) {
    const CliOptions& options = c.options;
    CliSession& session = c.session();
    std::ostream& out = c.out;
    link::BoardData shown;
    session.setMonitor(
        [&] {
            // The line's status frames, as the main window shows them; the fields are the
            // board's own.
            link::BoardData now = *session.board().lineStatus();
            {
                const auto own = session.board().lock();
                now.UserFieldCount = own->UserFieldCount;
                now.UserFieldTexts = own->UserFieldTexts;
            }
            const std::string_view main = link::currentMainText(now);
            if (main != link::currentMainText(shown) ||
                now.CurrentMainItem != shown.CurrentMainItem) {
                out << "main: " << main << "\n";
            }
            for (std::size_t i = 1; i < kSensorNames.size(); ++i) {
                if (now.SensorFieldTexts[i] != shown.SensorFieldTexts[i]) {
                    out << kSensorNames[i] << ": " << now.SensorFieldTexts[i] << "\n";
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
    session.setLineForm(settings::companionForm(options.lineForm));
    if (!session.connect()) {
        return kFailed;
    }
    // Emptied only once the line is up: a port that cannot be opened leaves an old log whole.
    // Nothing of the line is lost meanwhile: its records reach the main side from runFor on.
    CliLogFile log;
    if (!options.logFile.empty()) {
        if (!log.open(options.logFile)) {
            c.err << "horalux-cli: cannot write the log file " << options.logFile << ": "
                  << log.problem() << "\n";
            return kFailed;
        }
        session.setLogFile(&log, options.logFile);
    }
    // The session outlives the file: it must not write there once the command has returned.
    struct Detach {
        CliSession& session;
        ~Detach() { session.setLogFile(nullptr, {}); }
    } detach{session};
    const std::uint32_t ms = options.seconds ? *options.seconds * 1000U : UINT32_MAX;
    const std::uint32_t first = std::min(ms, kStatusFrameWaitMs);
    session.runFor(first);
    if (first == kStatusFrameWaitMs && !session.stopped() && !session.board().StatusFrameSeen) {
        // Only a time master sends on its own; a slave shows nothing here but the raw line.
        if (options.address == link::kAllBoards) {
            // set-mode reads the board first, and no board answers the all-boards address.
            out << "no board has sent a status frame for " << kStatusFrameWaitMs / 1000
                << " s: none is time master, so boards send their fields only when asked; make "
                << "one master with: horalux-cli --port " << platform::shownPortName(options.port)
                << " --address ADDRESS set-mode master, giving the board's own address\n";
        } else {
            out << "board " << int{options.address} << " has sent no status frame for "
                << kStatusFrameWaitMs / 1000 << " s: it is not time master, so it sends its "
                << "fields only when asked; make it master with: horalux-cli --port "
                << platform::shownPortName(options.port) << " --address " << int{options.address}
                << " set-mode master\n";
        }
        out.flush();
    }
    session.runFor(ms - first);
    return session.failed() ? kFailed : 0;
}

int sntp(CommandContext& c) {
    const CliOptions& options = c.options;
    platform::MachineClock clock;
    platform::MonotonicTick tick;
    timesync::SntpOptions sntpOptions;
    sntpOptions.port = options.sntpPort;
    sntpOptions.stop = &c.interrupted;
    const timesync::SntpResult result =
        timesync::querySntpServer(options.host, clock, tick, sntpOptions);
    if (result.failure == timesync::SntpFailure::Stopped) {
        return kFailed;  // interrupted: the exit status says so
    }
    if (!result.ok()) {
        c.err << "horalux-cli: could not get the time from the server " << options.host << "\n"
              << "horalux-cli: " << sntpFailureCause(result, options) << "\n";
        return kFailed;
    }
    const platform::LocalDateTime t = timesync::serverLocalTime(result);
    char text[64];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d.%03d", t.year, t.month, t.day,
                  t.hour, t.minute, t.second, t.millisecond);
    c.out << "server time: " << text << "\n"
          << "offset of the PC clock: " << -result.offsetMs << " ms\n"
          << "round trip: " << result.roundTripMs << " ms\n";
    return 0;
}

int runCommand(const CliOptions& options, std::ostream& out, std::ostream& err,
               const std::atomic<bool>& interrupted) {
    if (options.command == nullptr) {
        return kBadUsage;
    }
    if (options.command->needsOneBoard && options.address == link::kAllBoards) {
        // Boards never answer the all-boards address, so there would be nothing to read.
        err << "horalux-cli: " << options.command->name
            << " reads from the board, and no board answers address 255 (all boards): give a "
               "board's own address"
            << (options.command->perBoard || options.command->wholeList ? ", or a list of them"
                                                                        : "")
            << "\n";
        return kBadUsage;
    }
    CommandContext context(options, out, err, interrupted);
    const int status = options.perBoard() && options.command->perBoard
                           ? runPerBoard(options, out, err, interrupted)
                           : options.command->run(context);
    out.flush();
    if (!out && status == 0 && !interrupted) {
        // A closed pipe or a full disk behind standard output: what was asked is not all there.
        err << "horalux-cli: cannot write standard output: "
            << (errno != 0 ? std::strerror(errno) : "write error") << "\n";
        return kFailed;
    }
    return status;
}

}  // namespace horalux::cli
