// A full register read against the stand-in board emulating the wire, beside the pacing the
// protocol itself imposes: for each request the frame's wire time and then the post-write wait
// (the reply arrives during the wait). The same read also runs through ser2net on the loopback
// interface, raw TCP and RFC 2217, in clear and over TLS, in front of the same wire-timed board.
#include <benchmark/benchmark.h>

#include <stdlib.h>

#include <chrono>
#include <filesystem>
#include <sstream>

#include "CliSession.h"
#include "config/RegisterMap.h"
#include "link/wire/Frame.h"
#include "link/wire/PortAccess.h"
#include "support/BoardProcess.h"
#include "support/Ser2netProcess.h"
#include "support/TestCertificates.h"

namespace {

constexpr std::uint32_t kDelayTimeMs = 100;

double pacingBoundSeconds(std::uint32_t speed) {
    const double requestMs = horalux::link::frameWireMs(horalux::link::kPlainFrameLength, speed) +
                             horalux::link::postWriteWaitMs(kDelayTimeMs, speed);
    return static_cast<double>(horalux::config::kReadListLength) * requestMs / 1000.0;
}

// Where the read goes: the board's own pseudo-terminal, or ser2net in front of it.
enum Path : std::int64_t { Local = 0, Tcp = 1, Rfc2217 = 2, TcpTls = 3, Rfc2217Tls = 4 };

// A CA and a server certificate for 127.0.0.1, in a folder removed at the end.
struct Certificates {
    Certificates() {
        char pattern[] = "/tmp/horalux-bench-tls-XXXXXX";
        dir = ::mkdtemp(pattern);
        authority = std::make_unique<horalux::test::TestAuthority>(dir, "Bench CA");
        server = authority->issue("server", {.commonName = "bench", .ipAddresses = {"127.0.0.1"}});
    }
    ~Certificates() { std::filesystem::remove_all(dir); }
    std::filesystem::path dir;
    std::unique_ptr<horalux::test::TestAuthority> authority;
    horalux::test::CertFiles server;
};

void FullRegisterRead(benchmark::State& state) {
    const auto speed = static_cast<std::uint32_t>(state.range(0));
    const auto path = static_cast<Path>(state.range(1));
    horalux::test::BoardProcess board({"--speed", std::to_string(speed), "--line-timing"});
    std::unique_ptr<horalux::test::Ser2netProcess> server;
    const bool tls = path == TcpTls || path == Rfc2217Tls;
    std::optional<Certificates> certificates;
    std::optional<horalux::test::Ser2netTls> serverTls;
    if (tls) {
        certificates.emplace();
        serverTls = {.key = certificates->server.key, .cert = certificates->server.cert};
    }
    if (path != Local) {
        server =
            std::make_unique<horalux::test::Ser2netProcess>(board.devicePath(), speed, serverTls);
    }
    horalux::cli::CliOptions options;
    options.port = path == Local                   ? board.devicePath()
                   : path == Tcp || path == TcpTls ? server->tcpName()
                                                   : server->rfc2217Name();
    if (tls) {
        options.tls.caFile = certificates->authority->certFile();
    }
    options.speed = speed;
    options.delayMs = kDelayTimeMs;
    std::ostringstream out;
    std::ostringstream err;
    horalux::cli::CliSession session(options, out, err);
    if (!session.connect()) {
        state.SkipWithError("cannot open the stand-in board");
        return;
    }
    double total = 0;
    for (auto _ : state) {
        const auto t0 = std::chrono::steady_clock::now();
        session.ops().ReadAllRegisters();
        if (!session.waitForRing()) {
            state.SkipWithError("the read did not complete");
            return;
        }
        const std::chrono::duration<double> took = std::chrono::steady_clock::now() - t0;
        state.SetIterationTime(took.count());
        total += took.count();
    }
    const double mean = total / static_cast<double>(state.iterations());
    const double bound = pacingBoundSeconds(speed);
    state.counters["bound_s"] = bound;
    state.counters["overhead_pct"] = 100.0 * (mean - bound) / bound;
}

BENCHMARK(FullRegisterRead)
    ->ArgNames({"bps", "path"})
    ->Args({9600, Local})
    ->Args({115200, Local})
    ->Args({9600, Tcp})
    ->Args({9600, Rfc2217})
    ->Args({9600, TcpTls})
    ->Args({9600, Rfc2217Tls})
    ->Args({115200, TcpTls})
    ->Iterations(2)
    ->UseManualTime()
    ->Unit(benchmark::kSecond);

}  // namespace

BENCHMARK_MAIN();
