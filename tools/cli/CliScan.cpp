#include "CliScan.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <ostream>
#include <thread>

#include "AddressList.h"
#include "CliSession.h"
#include "link/scan/BoardScan.h"
#include "platform/PortNameText.h"
#include "settings/FileText.h"

namespace horalux::cli {

namespace {

constexpr int kFailed = 1;

std::optional<std::string> parseSpeeds(const std::string& text, std::vector<std::uint32_t>& out) {
    out.clear();
    std::size_t from = 0;
    for (;;) {
        const std::size_t comma = std::min(text.find(',', from), text.size());
        std::uint32_t speed = 0;
        if (!parseNumber(text.substr(from, comma - from), speed, 50U, 4000000U)) {
            return "--speeds needs bit rates separated by commas, as in 9600,115200";
        }
        if (std::find(out.begin(), out.end(), speed) != out.end()) {
            return "--speeds names " + std::to_string(speed) + " twice";
        }
        out.push_back(speed);
        if (comma == text.size()) {
            return std::nullopt;
        }
        from = comma + 1;
    }
}

std::optional<std::string> parseRange(const std::string& text, CliOptions& options) {
    const std::size_t dash = text.find('-');
    unsigned first = 0;
    unsigned last = 0;
    if (dash == std::string::npos || !parseNumber(text.substr(0, dash), first, 0U, 254U) ||
        !parseNumber(text.substr(dash + 1), last, 0U, 254U) || first > last) {
        return "--addresses needs FROM-TO, two addresses from 0 to 254 with FROM not above TO";
    }
    options.scanFirst = static_cast<std::uint8_t>(first);
    options.scanLast = static_cast<std::uint8_t>(last);
    return std::nullopt;
}

std::string roleText(const link::FoundBoard& b) {
    if (!b.modeFlags) {
        return "mode unknown";
    }
    return b.master() ? "master" : "slave";
}

std::string clockText(const link::FoundBoard& b) {
    if (!b.clockDifferenceS) {
        return "clock unknown";
    }
    const std::int64_t s = *b.clockDifferenceS;
    return "clock " + std::string(s > 0 ? "+" : "") + std::to_string(s) + " s";
}

// A column of at least `width`, and at least two spaces apart from the next however long its
// text ("mode unknown").
std::string padded(std::string text, std::size_t width) {
    text.resize(std::max(text.size() + 2, width), ' ');
    return text;
}

}  // namespace

std::string scanBoardLine(const link::FoundBoard& b) {
    return padded(link::boardAddressText(b.address), 9) + padded(std::to_string(b.speed), 8) +
           padded(roleText(b), 8) + clockText(b);
}

namespace {

std::string progressLine(const link::ScanProgress& p) {
    return "scanning " + std::to_string(p.speed) + " bit/s, address " +
           link::boardAddressText(p.address) + ": " + std::to_string(p.found) + " found, " +
           std::to_string((p.msLeft + 999) / 1000) + " s left";
}

}  // namespace

std::optional<std::string> scanArguments(ArgumentReader& args, CliOptions& options) {
    while (args.more()) {
        const std::string flag = *args.take();
        const auto value = args.take();
        if (flag == "--out") {
            if (!value || value->empty()) {
                return "--out needs a file name";
            }
            options.scanOut = *value;
            continue;
        }
        if (flag != "--speeds" && flag != "--addresses") {
            return "unknown scan option " + flag;
        }
        if (!value) {
            return flag + " needs a value";
        }
        if (auto problem = flag == "--speeds" ? parseSpeeds(*value, options.scanSpeeds)
                                              : parseRange(*value, options);
            problem) {
            return problem;
        }
    }
    return std::nullopt;
}

int scan(CommandContext& c) {
    CliSession& session = c.session();
    std::unique_ptr<link::PortLoan> loan = session.lendLine();
    if (!loan) {
        return kFailed;
    }
    link::ScanOptions options{c.options.scanSpeeds, c.options.scanFirst, c.options.scanLast,
                              c.options.delayMs};
    link::BoardScan scanner(loan->port(), session.tick(), session.clock(), options);
    // A progress line that rewrites itself is for a person watching, not for a log file.
    const bool showProgress = isatty(STDERR_FILENO) == 1;
    bool progressShown = false;
    auto clearProgress = [&] {
        if (progressShown) {
            c.err << "\r\033[K" << std::flush;
            progressShown = false;
        }
    };
    link::ScanCallbacks callbacks;
    if (showProgress) {
        callbacks.progress = [&](const link::ScanProgress& p) {
            c.err << "\r\033[K" << progressLine(p) << std::flush;
            progressShown = true;
        };
    }
    callbacks.found = [&](const link::FoundBoard& b) {
        clearProgress();
        c.out << scanBoardLine(b) << std::endl;
    };

    // The scan runs beside this thread, which turns Ctrl+C into a stop: a signal handler may
    // only set a flag.
    std::stop_source stop;
    std::mutex mutex;
    std::condition_variable ended;
    bool done = false;
    link::ScanResult result;
    std::thread worker([&] {
        link::ScanResult r = scanner.run(stop.get_token(), callbacks);
        std::lock_guard lock(mutex);
        result = std::move(r);
        done = true;
        ended.notify_one();
    });
    {
        std::unique_lock lock(mutex);
        while (!ended.wait_for(lock, std::chrono::milliseconds(20), [&] { return done; })) {
            if (c.interrupted) {
                stop.request_stop();
            }
        }
    }
    worker.join();
    clearProgress();

    if (!c.options.scanOut.empty() && !result.boards.empty()) {
        std::vector<ListedBoard> listed;
        for (const link::FoundBoard& b : result.boards) {
            listed.push_back({b.address, b.speed, roleText(b)});
        }
        try {
            settings::writeFileAtomically(
                c.options.scanOut,
                addressFileText(platform::shownPortName(c.options.port), listed));
            c.out << "addresses saved to " << c.options.scanOut << "\n";
        } catch (const settings::FileError& e) {
            c.err << "horalux-cli: " << e.what() << "\n";
            return kFailed;
        }
    }

    if (!result.failure.empty()) {
        c.err << "horalux-cli: the scan of " << platform::shownPortName(c.options.port)
              << " ended: " << result.failure << "\n";
        return kFailed;
    }
    if (result.boards.empty()) {
        if (!result.stopped) {
            c.err << "horalux-cli: no board answered on " << platform::shownPortName(c.options.port)
                  << "\n";
        }
        return kFailed;
    }
    return 0;
}

}  // namespace horalux::cli
