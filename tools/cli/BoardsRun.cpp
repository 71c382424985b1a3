#include "BoardsRun.h"

#include <cstdio>
#include <filesystem>
#include <ostream>
#include <sstream>
#include <system_error>

#include "CliCommandTable.h"
#include "CliSession.h"
#include "link/boardset/BoardDriver.h"
#include "link/scan/BoardScan.h"

namespace horalux::cli {
namespace {

constexpr std::string_view kProgramPrefix = "horalux-cli: ";

// The text written so far, and the stream emptied for the next board.
std::string taken(std::ostringstream& stream) {
    std::string text = stream.str();
    stream.str({});
    stream.clear();
    return text;
}

std::string withoutProgram(std::string_view line) {
    if (line.substr(0, kProgramPrefix.size()) == kProgramPrefix) {
        line.remove_prefix(kProgramPrefix.size());
    }
    return std::string(line);
}

std::string lastLine(std::string_view text) {
    while (!text.empty() && text.back() == '\n') {
        text.remove_suffix(1);
    }
    const std::size_t newline = text.rfind('\n');
    return withoutProgram(newline == std::string_view::npos ? text : text.substr(newline + 1));
}

void appendPrefixed(std::string& to, std::string_view prefix, std::string_view text) {
    while (!text.empty()) {
        const std::size_t end = std::min(text.find('\n'), text.size());
        to += prefix;
        to += withoutProgram(text.substr(0, end));
        to += '\n';
        text.remove_prefix(std::min(end + 1, text.size()));
    }
}

}  // namespace

void LineSink::write(std::string_view prefix, std::string_view outText, std::string_view errText) {
    std::string outLines;
    std::string errLines;
    appendPrefixed(outLines, prefix, outText);
    appendPrefixed(errLines, prefix, errText);
    const std::lock_guard lock(mutex_);
    out_ << outLines << std::flush;
    err_ << errLines << std::flush;
}

PortOutcome runBoards(const CliOptions& options, std::string_view portPrefix, LineSink& sink,
                      const std::atomic<bool>& interrupted) {
    PortOutcome result;
    for (const std::uint8_t address : options.addresses) {
        result.boards.push_back({address, BoardOutcome::NotDone, {}});
    }
    std::ostringstream out;
    std::ostringstream err;
    // Lines of the port rather than of a board: "PORT: ..." ("PORT " prefixes a board).
    const std::string portLine =
        portPrefix.empty() ? std::string()
                           : std::string(portPrefix.substr(0, portPrefix.size() - 1)) + ": ";
    auto failAll = [&](const std::string& said, const std::string& why) {
        sink.write(portLine, {}, said);
        for (BoardOutcome& board : result.boards) {
            board = {board.address, interrupted ? BoardOutcome::NotDone : BoardOutcome::Failed,
                     why};
        }
        result.portFailure = interrupted ? std::string() : why;
        return result;
    };
    // One session, and so one open port, for every board of the line. A port that cannot be
    // opened fails all its boards at once, and no folder is made for it.
    CliSession session(options, out, err, interrupted);
    if (!session.connect()) {
        const std::string said = taken(err);
        return failAll(said, lastLine(said));
    }
    if (!options.outDir.empty()) {
        std::error_code ec;
        std::filesystem::create_directories(options.outDir, ec);
        if (ec) {
            const std::string why =
                "cannot make the folder " + options.outDir + ": " + ec.message();
            return failAll(why + "\n", why);
        }
    }
    bool badUsage = false;
    link::boardset::BoardDriver driver(session.ops(), session.connection(),
                                       [&] { return interrupted.load() || badUsage; });
    result.boards = driver.run(options.addresses, [&](std::uint8_t address) -> BoardOutcome {
        CliOptions one = options;
        one.address = address;
        one.addresses = {address};
        if (!options.outDir.empty()) {
            one.file = (std::filesystem::path(options.outDir) / boardFileName(address)).string();
        }
        session.selectBoard(address);
        CommandContext context(one, out, err, interrupted, &session);
        const int status = one.command->run(context);
        const std::string outText = taken(out);
        const std::string errText = taken(err);
        sink.write(std::string(portPrefix) + link::boardAddressText(address) + ": ", outText,
                   errText);
        if (status == 0) {
            return {address, BoardOutcome::Done, {}};
        }
        if (interrupted) {
            // A board interrupted half-way says so (a write it holds part of).
            return {address, BoardOutcome::NotDone, errText.empty() ? "" : lastLine(errText)};
        }
        const std::string why = lastLine(errText.empty() ? outText : errText);
        if (context.differs) {
            return {address, BoardOutcome::Differs, why};
        }
        // The same file would fail every other board the same way (a board's own file in a
        // folder fails that board alone).
        badUsage = status == 2 && options.outDir.empty();
        return {address, BoardOutcome::Failed, why};
    });
    result.badUsage = badUsage;
    return result;
}

std::string summaryText(const std::vector<BoardOutcome>& boards, bool withReasons) {
    std::size_t done = 0;
    std::size_t differ = 0;
    std::size_t notDone = 0;
    std::string differences;
    std::string failures;
    std::string interruptions;
    auto reason = [](std::string& to, const BoardOutcome& b, std::string_view otherwise) {
        to += (to.empty() ? "" : "; ") + link::boardAddressText(b.address) + ": " +
              (b.text.empty() ? std::string(otherwise) : b.text);
    };
    for (const BoardOutcome& b : boards) {
        if (b.state == BoardOutcome::Done) {
            ++done;
        } else if (b.state == BoardOutcome::NotDone) {
            ++notDone;
            if (!b.text.empty()) {
                reason(interruptions, b, "");
            }
        } else if (b.state == BoardOutcome::Differs) {
            ++differ;
            reason(differences, b, "differs");
        } else {
            reason(failures, b, "failed");
        }
    }
    const std::size_t failed = boards.size() - done - differ - notDone;
    std::string text = std::to_string(boards.size()) +
                       (boards.size() == 1 ? " board: " : " boards: ") + std::to_string(done) +
                       " done, ";
    // A board that answered and differs from the file did not fail.
    if (differ > 0) {
        text += std::to_string(differ) + " differ";
        if (withReasons) {
            text += " (" + differences + ")";
        }
        text += ", ";
    }
    text += std::to_string(failed) + " failed";
    if (withReasons && !failures.empty()) {
        text += " (" + failures + ")";
    }
    if (notDone > 0) {
        text += ", " + std::to_string(notDone) + " not done";
        if (withReasons && !interruptions.empty()) {
            text += " (" + interruptions + ")";
        }
    }
    return text;
}

std::string summaryText(const PortOutcome& port) {
    if (port.portFailure.empty()) {
        return summaryText(port.boards);
    }
    return summaryText(port.boards, false) + " (" + port.portFailure + ")";
}

}  // namespace horalux::cli
