#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "platform/SystemClock.h"
#include "platform/Tick.h"

namespace horalux::timesync {

inline constexpr std::uint16_t kSntpPort = 123;
inline constexpr std::uint32_t kSntpTimeoutMs = 50000;
// The server's name is looked up within this, as a network port's is: a resolver that does not
// answer must not hold the start-up for its own time-outs.
inline constexpr std::uint32_t kSntpLookupTimeoutMs = 5000;

// What the exchange may vary; the program keeps the defaults, tests point it elsewhere.
struct SntpOptions {
    std::uint16_t port = kSntpPort;
    std::uint32_t timeoutMs = kSntpTimeoutMs;  // for the reply, after the lookup
    std::uint32_t lookupTimeoutMs = kSntpLookupTimeoutMs;
    // Source of the random bits below the millisecond in the request; empty means the system's
    // random device.
    std::function<std::uint32_t()> nonce;
    // When set (by Ctrl+C, say), the wait for the reply ends within a tenth of a second.
    const std::atomic<bool>* stop = nullptr;
};

enum class SntpFailure {
    None,
    NoTimeZone,  // the time-zone bias cannot be read
    Resolve,     // the server name does not resolve to an IPv4 address in the lookup's time
    Socket,      // the socket cannot be created or connected
    Send,
    Receive,       // the receive failed (for example the server's port is closed)
    Unusable,      // the server answered our request with a reply that cannot be used
    Inconsistent,  // the reply's times contradict each other: received after it was sent, or
                   // a round trip shorter than the server's own time on the request
    TimedOut,      // no reply to our request within the time-out
    Stopped,       // the stop flag was set while waiting
};

struct SntpResult {
    SntpFailure failure = SntpFailure::None;
    int error = 0;                  // errno for Socket, Send and Receive
    std::int64_t serverUtcMs = 0;   // the reply's transmit time, Unix milliseconds UTC
    std::int64_t requestUtcMs = 0;  // the PC clock (as UTC) when the request left
    std::int64_t replyUtcMs = 0;    // the PC clock (as UTC) when the reply arrived
    std::int64_t offsetMs = 0;      // how far the PC clock is behind the server (negative: ahead)
    std::int64_t roundTripMs = 0;
    int biasMinutes = 0;  // the time-zone bias used: local = UTC - bias
    // Datagrams that came in and were no reply to our request (on TimedOut: the server, or
    // something on the way, answered only with those).
    int ignoredDatagrams = 0;

    bool ok() const { return failure == SntpFailure::None; }
};

// One SNTP exchange with `host`; the PC clock is only read. The reply's time is what the
// server sent, without a correction for the round trip; offsetMs and roundTripMs use the
// server's receive time as well when it gives one.
SntpResult querySntpServer(const std::string& host, platform::SystemClock& clock,
                           platform::Tick& tick, const SntpOptions& options = {});

// The server's transmit time of a successful exchange as local time under the zone rules in
// force at that instant, for display.
platform::LocalDateTime serverLocalTime(const SntpResult& result);

// Shows one message to the user (a message box with OK in the program, a line in the
// command-line companion).
using ShowMessage = std::function<void(std::string_view)>;

std::string sntpFailureText(std::string_view server);
inline constexpr std::string_view kSetClockFailedText = "не удалось установить системное время";

// What setting the PC clock from the time server came to.
enum class ClockStep {
    Off,      // not asked for: no server was asked
    Stopped,  // the stop flag ended the wait (the program is ending): nothing was told
    Failed,   // no usable answer: sntpFailureText(server) was shown
    Kept,     // the system's time service keeps the clock, so it was compared, not set
    Refused,  // the system would not set the clock: kSetClockFailedText was shown
    Set,
};

struct ClockSync {
    ClockStep step = ClockStep::Off;
    SntpResult exchange;  // the SNTP exchange, unless Off
    // True when the clock was set.
    explicit operator bool() const { return step == ClockStep::Set; }
};

// Sets the PC clock from the time server when `sinhrTime` is set. A failed exchange shows
// sntpFailureText(server) and leaves the clock alone; a refusal by the system to set the clock
// shows kSetClockFailedText. When `keptBySystem` says the system's own time service keeps the
// clock, the server is asked but the clock is not stepped under the service; without it the
// clock is set whenever the server answered.
ClockSync SinhrSisDate(bool sinhrTime, const std::string& sinhrTimeServer,
                       platform::SystemClock& clock, platform::Tick& tick,
                       const ShowMessage& showMessage, const SntpOptions& options = {},
                       const std::function<bool()>& keptBySystem = {});

}  // namespace horalux::timesync
