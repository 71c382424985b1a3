// A scan of every address at one speed against three stand-in boards emulating the wire, beside
// the pace the protocol itself sets: for each probe the frame's wire time, the pause after it
// and the reply wait. Also the longest gap between two progress reports.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>

#include "link/scan/BoardScan.h"
#include "platform/PosixSerialPort.h"
#include "platform/PosixSystemClock.h"
#include "support/BoardProcess.h"

namespace {

constexpr std::uint32_t kDelayTimeMs = 100;
constexpr int kAddresses = 254;

void ScanOneSpeed(benchmark::State& state) {
    using Clock = std::chrono::steady_clock;
    const auto speed = static_cast<std::uint32_t>(state.range(0));
    horalux::test::BoardProcess board({"--address", "3", "--address", "77", "--address", "200",
                                       "--master", "--speed", std::to_string(speed),
                                       "--line-timing", "--strict-speed"});
    auto port = horalux::platform::PosixSerialPort::open(board.devicePath(), speed);
    if (!port) {
        state.SkipWithError("cannot open the stand-in board");
        return;
    }
    horalux::platform::MonotonicTick tick;
    horalux::platform::PosixSystemClock clock;
    horalux::link::ScanOptions options;
    options.speeds = {speed};
    options.delayTimeMs = kDelayTimeMs;
    double total = 0;
    double longestGap = 0;
    std::size_t found = 0;
    for (auto _ : state) {
        Clock::time_point last = Clock::now();
        const Clock::time_point t0 = last;
        horalux::link::ScanCallbacks callbacks;
        callbacks.progress = [&](const horalux::link::ScanProgress&) {
            const Clock::time_point now = Clock::now();
            longestGap = std::max(longestGap, std::chrono::duration<double>(now - last).count());
            last = now;
        };
        const horalux::link::ScanResult result =
            horalux::link::BoardScan(*port, tick, clock, options).run({}, callbacks);
        const Clock::time_point end = Clock::now();
        longestGap = std::max(longestGap, std::chrono::duration<double>(end - last).count());
        const double took = std::chrono::duration<double>(end - t0).count();
        state.SetIterationTime(took);
        total += took;
        found = result.boards.size();
    }
    const double mean = total / static_cast<double>(state.iterations());
    const double bound = kAddresses * horalux::link::probeBoundMs(speed, kDelayTimeMs) / 1000.0;
    state.counters["boards_found"] = static_cast<double>(found);
    state.counters["bound_s"] = bound;
    state.counters["times_bound"] = mean / bound;           // goal: at most 1.1
    state.counters["longest_progress_gap_s"] = longestGap;  // goal: at most 1
}

BENCHMARK(ScanOneSpeed)
    ->Arg(9600)
    ->Arg(115200)
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kSecond);

}  // namespace

BENCHMARK_MAIN();
