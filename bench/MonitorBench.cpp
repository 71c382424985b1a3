// What a busy line costs the companion's monitor: its share of a core against a master board
// with noise on a wire-timed line at 115200 bit/s (about a third of the line in use), and how
// fast it takes bytes off a line that is kept full.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "QuietProcess.h"
#include "support/BoardProcess.h"
#include "support/PtyPair.h"

namespace {

constexpr double kLineBytesPerSecond = 115200.0 / 10.0;

// horalux-cli monitor on the device for `seconds`, its output dropped.
pid_t startMonitor(const std::string& device, int seconds) {
    return horalux::bench::startQuietly({HORALUX_CLI_PATH, "--port", device, "--speed", "115200",
                                         "monitor", "--seconds", std::to_string(seconds)});
}

void MonitorCpuOnABusyLine(benchmark::State& state) {
    constexpr int kSeconds = 10;
    horalux::test::BoardProcess board(
        {"--master", "--noise", "1", "--line-timing", "--speed", "115200"});
    const std::string device = board.devicePath();
    double cpu = 0;
    double wall = 0;
    for (auto _ : state) {
        const auto t0 = std::chrono::steady_clock::now();
        const pid_t pid = startMonitor(device, kSeconds);
        cpu = horalux::bench::cpuSecondsAtExit(pid);
        wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        state.SetIterationTime(wall);
    }
    state.counters["cpu_pct_of_core"] = 100.0 * cpu / wall;
}

// The line kept full: random bytes written as fast as the pseudo-terminal takes them, which
// is as fast as the monitor reads them once the terminal's buffer has filled.
void MonitorConsumptionOnAFullLine(benchmark::State& state) {
    constexpr int kSeconds = 6;
    constexpr double kWarmUpSeconds = 1.5;
    constexpr double kMeasureSeconds = 4.0;
    horalux::test::PtyPair pty;
    const int fd = pty.controller();
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
    std::mt19937 random(7);
    std::array<std::uint8_t, 4096> noise{};
    for (std::uint8_t& b : noise) {
        b = static_cast<std::uint8_t>(random());
    }
    double rate = 0;
    for (auto _ : state) {
        const pid_t pid = startMonitor(pty.devicePath(), kSeconds);
        const auto t0 = std::chrono::steady_clock::now();
        auto since = [&] {
            return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        };
        double counted = 0;
        while (since() < kWarmUpSeconds + kMeasureSeconds) {
            const ssize_t put = ::write(fd, noise.data(), noise.size());
            if (put > 0) {
                if (since() >= kWarmUpSeconds) {
                    counted += static_cast<double>(put);
                }
                continue;
            }
            pollfd pfd{fd, POLLOUT, 0};
            ::poll(&pfd, 1, 10);
        }
        rate = counted / kMeasureSeconds;
        state.SetIterationTime(kMeasureSeconds);
        horalux::bench::cpuSecondsAtExit(pid);
    }
    state.counters["bytes_per_s"] = rate;
    state.counters["times_line_rate"] = rate / kLineBytesPerSecond;
}

BENCHMARK(MonitorCpuOnABusyLine)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);
BENCHMARK(MonitorConsumptionOnAFullLine)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

}  // namespace

BENCHMARK_MAIN();
