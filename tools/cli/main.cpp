#include <atomic>
#include <csignal>
#include <iostream>
#include <string>
#include <vector>

#include "CliCommandTable.h"
#include "CliCommands.h"
#include "CliOptions.h"
#include "platform/StopRequest.h"

namespace {

std::atomic<bool> interrupted{false};
volatile std::sig_atomic_t stopSignal = 0;

extern "C" void onSignal(int signal) {
    stopSignal = signal;
    interrupted = true;
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    switch (horalux::cli::requestOf(args)) {
        case horalux::cli::Request::Help:
            if (const auto* command = horalux::cli::helpCommandOf(args)) {
                std::cout << horalux::cli::commandUsageText(*command);
            } else {
                std::cout << horalux::cli::usageText();
            }
            return 0;
        case horalux::cli::Request::Version:
            std::cout << "horalux-cli " << HORALUX_VERSION << "\n";
            return 0;
        case horalux::cli::Request::Run:
            break;
    }
    const auto parsed = horalux::cli::parseCliOptions(args);
    if (const auto* usage = std::get_if<horalux::cli::UsageError>(&parsed)) {
        // The one line that matters stays on the screen; the usage is a --help away.
        std::cerr << "horalux-cli: " << usage->message << "\n"
                  << horalux::cli::usageHint(usage->command);
        return 2;
    }
    horalux::platform::onStopRequest(onSignal);
#ifdef SIGPIPE
    // A reader that has gone (of the log FIFO, of standard output) is a write error to report,
    // not a silent end.
    std::signal(SIGPIPE, SIG_IGN);
#endif
    const int status = horalux::cli::runCommand(std::get<horalux::cli::CliOptions>(parsed),
                                                std::cout, std::cerr, interrupted);
    // Stopped by a signal: the shell's convention, 128 + the signal's number.
    return interrupted ? 128 + stopSignal : status;
}
