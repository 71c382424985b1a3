#include <csignal>
#include <iostream>
#include <string>
#include <vector>

#include "CliCommands.h"
#include "CliOptions.h"

namespace {

std::atomic<bool> interrupted{false};

extern "C" void onSignal(int) {
    interrupted = true;
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    const auto parsed = horalux::cli::parseCliOptions(args);
    if (const auto* usage = std::get_if<horalux::cli::UsageError>(&parsed)) {
        std::cerr << "horalux-cli: " << usage->message << "\n\n" << horalux::cli::kUsage;
        return 2;
    }
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    return horalux::cli::runCommand(std::get<horalux::cli::CliOptions>(parsed), std::cout,
                                    std::cerr, interrupted);
}
