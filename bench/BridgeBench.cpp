// What the MQTT bridge costs and how quickly it tells: its share of a core against a master
// board with noise on a wire-timed line at 115200 bit/s, and the time from a status frame's last
// byte on the line to its values at a subscriber of the broker (mosquitto on loopback).
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "MosquittoClient.h"
#include "QuietProcess.h"
#include "support/BoardProcess.h"
#include "support/MosquittoProcess.h"
#include "support/PtyPair.h"

namespace {

using Clock = std::chrono::steady_clock;

pid_t startBridge(const std::string& device, std::uint16_t brokerPort,
                  const std::string& speed = "115200") {
    return horalux::bench::startQuietly(
        {HORALUX_CLI_PATH, "--port", device, "--speed", speed, "--delay", "0", "bridge", "--broker",
         "mqtt://127.0.0.1:" + std::to_string(brokerPort), "--node-id", "bench"});
}

// Ends the bridge; its user and system time in seconds.
double stopBridge(pid_t pid) {
    ::kill(pid, SIGTERM);
    return horalux::bench::cpuSecondsAtExit(pid);
}

void BridgeCpuOnABusyLine(benchmark::State& state) {
    constexpr auto kRun = std::chrono::seconds(15);
    horalux::test::MosquittoProcess broker({});
    horalux::test::BoardProcess board(
        {"--master", "--noise", "1", "--line-timing", "--speed", "115200"});
    const std::string device = board.devicePath();
    double cpu = 0;
    double wall = 0;
    for (auto _ : state) {
        const auto t0 = Clock::now();
        const pid_t pid = startBridge(device, broker.port());
        std::this_thread::sleep_for(kRun);
        cpu = stopBridge(pid);
        wall = std::chrono::duration<double>(Clock::now() - t0).count();
        state.SetIterationTime(wall);
    }
    state.counters["cpu_pct_of_core"] = 100.0 * cpu / wall;
}

// The bench stands between the board and the bridge, passing every byte on and noting when the
// last byte of each status frame went to the bridge. The board's clock runs 30 times as fast,
// so the main field's time changes every other frame: each change is published unheld by the
// once-a-second pace and is due to the frame just before it.
void BridgeStatusFrameToBroker(benchmark::State& state) {
    constexpr auto kRun = std::chrono::seconds(25);
    constexpr std::size_t kStatusFrameLength = 8 + 64 + 2;
    horalux::test::MosquittoProcess broker({});
    horalux::test::BoardProcess board({"--master", "--speed", "115200", "--clock-rate", "30"});
    const int boardFd = ::open(board.devicePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    termios raw{};
    ::tcgetattr(boardFd, &raw);
    ::cfmakeraw(&raw);
    ::tcsetattr(boardFd, TCSANOW, &raw);
    horalux::test::PtyPair relay;
    const int bridgeFd = relay.controller();
    ::fcntl(bridgeFd, F_SETFL, ::fcntl(bridgeFd, F_GETFL) | O_NONBLOCK);

    std::mutex mutex;
    std::vector<Clock::time_point> arrivals;
    horalux::bridge::BrokerSettings settings;
    settings.host = "127.0.0.1";
    settings.port = broker.port();
    horalux::bridge::MosquittoClient subscriber(settings);
    horalux::bridge::MqttClient::Handlers handlers;
    handlers.connected = [&] { subscriber.subscribe("horalux/bench/+/1/main_text", false); };
    handlers.message = [&](const std::string&, const std::string&, bool) {
        const std::lock_guard lock(mutex);
        arrivals.push_back(Clock::now());
    };
    subscriber.start(handlers);

    std::vector<double> latenciesMs;
    for (auto _ : state) {
        const pid_t pid = startBridge(relay.devicePath(), broker.port());
        std::vector<Clock::time_point> frameEnds;
        std::string fromBoard;  // what is not yet known to end a status frame
        const auto t0 = Clock::now();
        char buffer[4096];
        while (Clock::now() - t0 < kRun) {
            pollfd fds[2] = {{boardFd, POLLIN, 0}, {bridgeFd, POLLIN, 0}};
            ::poll(fds, 2, 50);
            if ((fds[1].revents & POLLIN) != 0) {
                const ssize_t n = ::read(bridgeFd, buffer, sizeof buffer);
                if (n > 0 && ::write(boardFd, buffer, static_cast<std::size_t>(n)) != n) {
                    throw std::runtime_error("the board's line took less");
                }
            }
            if ((fds[0].revents & POLLIN) != 0) {
                const ssize_t n = ::read(boardFd, buffer, sizeof buffer);
                if (n <= 0) {
                    continue;
                }
                if (::write(bridgeFd, buffer, static_cast<std::size_t>(n)) != n) {
                    throw std::runtime_error("the bridge's line took less");
                }
                const auto now = Clock::now();
                fromBoard.append(buffer, static_cast<std::size_t>(n));
                // A status frame's header: E0, its address, 00, 'R'.
                for (;;) {
                    const std::size_t at = fromBoard.find('\xE0');
                    if (at == std::string::npos) {
                        fromBoard.clear();
                        break;
                    }
                    if (at + 4 > fromBoard.size()) {
                        fromBoard.erase(0, at);
                        break;
                    }
                    if (fromBoard[at + 2] != 0 || fromBoard[at + 3] != 0x52) {
                        fromBoard.erase(0, at + 1);
                        continue;
                    }
                    if (at + kStatusFrameLength > fromBoard.size()) {
                        fromBoard.erase(0, at);
                        break;
                    }
                    frameEnds.push_back(now);
                    fromBoard.erase(0, at + kStatusFrameLength);
                }
            }
        }
        stopBridge(pid);
        const std::lock_guard lock(mutex);
        // The first message is the one the bridge publishes on starting.
        for (std::size_t i = 1; i < arrivals.size(); ++i) {
            const auto before = std::upper_bound(frameEnds.begin(), frameEnds.end(), arrivals[i]);
            if (before != frameEnds.begin()) {
                latenciesMs.push_back(
                    std::chrono::duration<double, std::milli>(arrivals[i] - *(before - 1)).count());
            }
        }
        state.SetIterationTime(std::chrono::duration<double>(kRun).count());
    }
    subscriber.stop();
    ::close(boardFd);
    std::sort(latenciesMs.begin(), latenciesMs.end());
    state.counters["samples"] = static_cast<double>(latenciesMs.size());
    if (!latenciesMs.empty()) {
        state.counters["median_ms"] = latenciesMs[latenciesMs.size() / 2];
        state.counters["max_ms"] = latenciesMs.back();
    }
}

// What a user of Home Assistant waits for at 9600 bit/s, every byte taking its wire time: from
// the bridge's start to its status online, and from a command to its state read back (the mode
// select, then a user field), while the board's registers are still being read and after.
void BridgeAnswersAt9600(benchmark::State& state) {
    horalux::test::MosquittoProcess broker({});
    horalux::test::BoardProcess board({"--master", "--line-timing", "--speed", "9600"});
    const std::string device = board.devicePath();

    std::mutex mutex;
    std::vector<std::pair<std::string, Clock::time_point>> heard;  // "topic payload", when
    horalux::bridge::BrokerSettings settings;
    settings.host = "127.0.0.1";
    settings.port = broker.port();
    horalux::bridge::MosquittoClient client(settings);
    horalux::bridge::MqttClient::Handlers handlers;
    handlers.connected = [&] { client.subscribe("horalux/bench/#", false); };
    handlers.message = [&](const std::string& topic, const std::string& payload, bool retained) {
        if (!retained) {
            const std::lock_guard lock(mutex);
            heard.emplace_back(topic + " " + payload, Clock::now());
        }
    };
    client.start(handlers);
    std::this_thread::sleep_for(std::chrono::milliseconds(500));

    // When a message ending in `part` came after `from`; waits up to a minute.
    auto when = [&](const std::string& part, Clock::time_point from) {
        const auto limit = Clock::now() + std::chrono::seconds(60);
        while (Clock::now() < limit) {
            {
                const std::lock_guard lock(mutex);
                for (const auto& [text, at] : heard) {
                    if (at >= from && text.size() >= part.size() &&
                        text.compare(text.size() - part.size(), part.size(), part) == 0) {
                        return std::chrono::duration<double>(at - from).count();
                    }
                }
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return -1.0;
    };
    std::string base;
    double online = 0, modeFirstLook = 0, mode = 0, field = 0;
    for (auto _ : state) {
        const auto t0 = Clock::now();
        const pid_t pid = startBridge(device, broker.port(), "9600");
        online = when("/status online", t0);
        // While the first look reads the registers: the mode is a command away.
        std::this_thread::sleep_for(std::chrono::seconds(3));
        {
            const std::lock_guard lock(mutex);
            for (const auto& [text, at] : heard) {
                if (text.ends_with("/status online")) {
                    base = text.substr(0, text.size() - std::string("status online").size()) + "1/";
                }
            }
        }
        auto sent = Clock::now();
        client.publish(base + "mode/set", "slave", false);
        modeFirstLook = when("/mode slave", sent);
        when("/field_0 12.34", t0);  // the first look is over
        sent = Clock::now();
        client.publish(base + "mode/set", "master", false);
        mode = when("/mode master", sent);
        sent = Clock::now();
        client.publish(base + "field_0/set", "7.5", false);
        field = when("/field_0 7.5  ", sent);
        stopBridge(pid);
        state.SetIterationTime(std::chrono::duration<double>(Clock::now() - t0).count());
    }
    client.stop();
    state.counters["start_to_online_s"] = online;
    state.counters["mode_during_first_look_s"] = modeFirstLook;
    state.counters["mode_command_to_state_s"] = mode;
    state.counters["field_command_to_state_s"] = field;
}

BENCHMARK(BridgeCpuOnABusyLine)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);
BENCHMARK(BridgeStatusFrameToBroker)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);
BENCHMARK(BridgeAnswersAt9600)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

}  // namespace

BENCHMARK_MAIN();
