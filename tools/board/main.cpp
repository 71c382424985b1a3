// horalux-board: stands in for one or more display boards on a pseudo-terminal.

#include <signal.h>

#include <algorithm>
#include <array>
#include <filesystem>
#include <iostream>
#include <string_view>
#include <vector>

#include "board/Board.h"
#include "board/BoardOptions.h"
#include "board/BoardPty.h"
#include "board/BoardServer.h"
#include "config/RegisterFile.h"
#include "config/RegisterMap.h"
#include "platform/PosixSystemClock.h"
#include "platform/Tick.h"
#include "settings/FileText.h"

namespace {

volatile std::sig_atomic_t stopRequested = 0;

extern "C" void onStopSignal(int) {
    stopRequested = 1;
}

int usageError(const std::string& message) {
    std::cerr << "horalux-board: " << message << "\n\n" << horalux::board::kUsage;
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    using namespace horalux;
    const std::vector<std::string_view> args(argv + 1, argv + argc);
    auto parsed = board::parseBoardOptions(args);
    if (const auto* error = std::get_if<std::string>(&parsed)) {
        return usageError(*error);
    }
    const board::BoardOptions& options = std::get<board::BoardOptions>(parsed);
    if (options.help) {
        std::cout << board::kUsage;
        return 0;
    }
    if (options.version) {
        std::cout << "horalux-board " << HORALUX_VERSION << "\n";
        return 0;
    }

    std::vector<std::array<std::uint8_t, 256>> settings;
    for (const std::string& registersPath : options.registersPaths) {
        const auto path = config::registerFilePath(registersPath);
        std::error_code ec;
        if (!std::filesystem::is_regular_file(path, ec)) {
            return usageError("no register file " + path.string());
        }
        try {
            settings.push_back(config::toRegisterBytes(config::loadRegisterFile(path, {})));
        } catch (const settings::FileReadError& e) {
            return usageError(e.what());
        }
    }

    // The stop signals are only taken while the server waits, so none is missed in between.
    sigset_t stopSignals;
    sigset_t waitMask;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    sigprocmask(SIG_BLOCK, &stopSignals, &waitMask);
    sigdelset(&waitMask, SIGINT);
    sigdelset(&waitMask, SIGTERM);
    struct sigaction action {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    signal(SIGPIPE, SIG_IGN);

    try {
        board::BoardPty pty;
        if (!options.linkPath.empty()) {
            pty.makeLink(options.linkPath);
        }
        platform::MonotonicTick tick;
        platform::PosixSystemClock systemClock;
        const platform::LocalDateTime now = systemClock.now();
        std::vector<board::Board> boards;
        for (const std::uint8_t address : options.addresses) {
            boards.emplace_back(address, now, tick.nowMs(), options.clockRate);
            if (!settings.empty()) {
                boards.back().loadSettings(settings[std::min(boards.size(), settings.size()) - 1]);
            }
        }
        if (options.master) {
            boards.front().setMaster(true);
        }
        std::cout << pty.devicePath() << std::endl;
        board::BoardServer server(options, std::move(boards), pty, std::cerr);
        server.run(stopRequested, waitMask);
    } catch (const std::exception& e) {
        std::cerr << "horalux-board: " << e.what() << '\n';
        return 1;
    }
    return 0;
}
