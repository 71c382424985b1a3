// Backing up a line of three boards with horalux-cli's per-board run, against wire-timed
// stand-in boards: one line beside three single-board reads' pacing bound (per request the
// frame's wire time and the post-write wait), then two such lines worked at once beside one
// line alone. Plain timing, one run each; it prints the figures and the goals, and asserts
// nothing.
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "CliCommandTable.h"
#include "CliOptions.h"
#include "PerBoardRun.h"
#include "config/RegisterMap.h"
#include "link/wire/Frame.h"
#include "link/wire/PortAccess.h"
#include "support/BoardProcess.h"

namespace {

namespace fs = std::filesystem;

constexpr std::uint32_t kSpeed = 9600;
constexpr std::uint32_t kDelayTimeMs = 100;
const std::vector<std::uint8_t> kAddresses = {3, 77, 200};

double singleReadBoundSeconds() {
    const double requestMs = horalux::link::frameWireMs(horalux::link::kPlainFrameLength, kSpeed) +
                             horalux::link::postWriteWaitMs(kDelayTimeMs, kSpeed);
    return static_cast<double>(horalux::config::kReadListLength) * requestMs / 1000.0;
}

std::unique_ptr<horalux::test::BoardProcess> wireTimedLine() {
    std::vector<std::string> args = {"--speed", std::to_string(kSpeed), "--line-timing"};
    for (const std::uint8_t a : kAddresses) {
        args.insert(args.end(), {"--address", std::to_string(a)});
    }
    return std::make_unique<horalux::test::BoardProcess>(args);
}

// Seconds a read-registers --out-dir of every board on `ports` takes; negative when it failed.
double backUp(const std::vector<std::string>& ports, const fs::path& dir) {
    horalux::cli::CliOptions options;
    options.ports = ports;
    options.port = ports.front();
    options.speed = kSpeed;
    options.delayMs = kDelayTimeMs;
    options.addresses = kAddresses;
    options.address = kAddresses.front();
    options.outDir = dir.string();
    options.command = horalux::cli::findCliCommand("read-registers");
    std::ostringstream out;
    std::ostringstream err;
    std::atomic<bool> never{false};
    const auto t0 = std::chrono::steady_clock::now();
    const int status = horalux::cli::runPerBoard(options, out, err, never);
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - t0;
    if (status != 0) {
        std::fprintf(stderr, "the backup failed:\n%s%s", out.str().c_str(), err.str().c_str());
        return -1;
    }
    return took.count();
}

}  // namespace

int main() {
    const fs::path dir = fs::temp_directory_path() / "horalux-line-set-bench";
    fs::remove_all(dir);
    const auto first = wireTimedLine();
    const auto second = wireTimedLine();

    const double bound = static_cast<double>(kAddresses.size()) * singleReadBoundSeconds();
    const double one = backUp({first->devicePath()}, dir / "one");
    if (one < 0) {
        return 1;
    }
    std::printf(
        "one line, %zu boards at %u bit/s, --delay %u: %.2f s; pacing bound of %zu "
        "single-board reads %.2f s; ratio %.3f (goal at most 1.03)\n",
        kAddresses.size(), kSpeed, kDelayTimeMs, one, kAddresses.size(), bound, one / bound);
    const double two = backUp({first->devicePath(), second->devicePath()}, dir / "two");
    if (two < 0) {
        return 1;
    }
    std::printf("two such lines at once: %.2f s; ratio to one line alone %.3f (goal at most 1.1)\n",
                two, two / one);
    fs::remove_all(dir);
    return 0;
}
