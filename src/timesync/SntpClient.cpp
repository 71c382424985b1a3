#include "timesync/SntpClient.h"

#if !defined(_WIN32)
#include <netinet/in.h>
#endif

#include <algorithm>
#include <array>
#include <cstring>
#include <optional>
#include <random>

#include "platform/MachineClock.h"
#include "platform/UdpSocket.h"
#include "platform/net/HostLookup.h"
#include "timesync/CivilTime.h"
#include "timesync/NtpPacket.h"

namespace horalux::timesync {
namespace {

constexpr std::int64_t kMsPerMinute = 60000;
// Each of the four times is cut to the millisecond, so a round trip of a fraction of a
// millisecond may come out up to this much below zero.
constexpr std::int64_t kReadingSlackMs = 2;
// How often a wait that can be stopped looks at its stop flag.
constexpr std::uint32_t kStopCheckMs = 100;

std::uint32_t systemNonce() {
    std::random_device device;
    return device();
}

// The PC clock as UTC milliseconds, with the bias read at the start of the exchange.
std::int64_t pcUtcMs(platform::SystemClock& clock, int biasMinutes) {
    return epochMsOf(clock.now()) + biasMinutes * kMsPerMinute;
}

SntpResult failed(SntpFailure failure, int error = 0) {
    SntpResult result;
    result.failure = failure;
    result.error = error;
    return result;
}

// The server's first IPv4 address, looked up within the time allowed; empty when there is none.
std::optional<platform::Ipv4Address> lookUpIpv4(const std::string& host, std::uint32_t timeoutMs) {
    std::string cause;
    const platform::AddrInfoList found =
        platform::lookUpHost(platform::NetAddress{host, kSntpPort}, timeoutMs, cause);
    for (const addrinfo* entry = found.get(); entry != nullptr; entry = entry->ai_next) {
        if (entry->ai_family == AF_INET && entry->ai_addrlen >= sizeof(sockaddr_in)) {
            sockaddr_in in{};
            std::memcpy(&in, entry->ai_addr, sizeof in);
            platform::Ipv4Address address;
            std::memcpy(address.octets, &in.sin_addr.s_addr, sizeof address.octets);
            return address;
        }
    }
    return std::nullopt;
}

}  // namespace

SntpResult querySntpServer(const std::string& host, platform::SystemClock& clock,
                           platform::Tick& tick, const SntpOptions& options) {
    const std::optional<int> bias = clock.biasMinutes();
    if (!bias) {
        return failed(SntpFailure::NoTimeZone);
    }
    const std::optional<platform::Ipv4Address> address = lookUpIpv4(host, options.lookupTimeoutMs);
    if (!address) {
        return failed(SntpFailure::Resolve);
    }
    int error = 0;
    const std::unique_ptr<platform::UdpSocket> socket =
        platform::UdpSocket::connectTo(*address, options.port, &error);
    if (!socket) {
        return failed(SntpFailure::Socket, error);
    }

    SntpResult result;
    result.biasMinutes = *bias;
    result.requestUtcMs = pcUtcMs(clock, *bias);
    const std::uint32_t nonce = options.nonce ? options.nonce() : systemNonce();
    const NtpTimestamp sent = ntpTimestampOfUnixMs(result.requestUtcMs, nonce);
    const NtpPacket request = buildSntpRequest(sent);
    const platform::UdpResult sendResult = socket->send(request);
    if (sendResult.status != platform::UdpStatus::Ok) {
        return failed(SntpFailure::Send, sendResult.error);
    }

    // Room for extension fields, so a longer reply is read whole rather than cut.
    std::array<std::uint8_t, 512> buffer{};
    const std::uint32_t start = tick.nowMs();
    int ignored = 0;
    auto timedOut = [&] {
        SntpResult out = failed(SntpFailure::TimedOut);
        out.ignoredDatagrams = ignored;
        return out;
    };
    for (;;) {
        const std::uint32_t elapsed = platform::elapsedMs(start, tick.nowMs());
        if (elapsed >= options.timeoutMs) {
            return timedOut();
        }
        std::uint32_t waitMs = options.timeoutMs - elapsed;
        if (options.stop != nullptr) {
            waitMs = std::min(waitMs, kStopCheckMs);
        }
        const platform::UdpResult got = socket->receive(buffer, waitMs);
        if (options.stop != nullptr && *options.stop) {
            return failed(SntpFailure::Stopped);
        }
        if (got.status == platform::UdpStatus::TimedOut) {
            if (options.stop != nullptr) {
                continue;  // a slice of the wait: the tick says whether the time is up
            }
            return timedOut();
        }
        if (got.status == platform::UdpStatus::Failed) {
            return failed(SntpFailure::Receive, got.error);
        }
        const std::span<const std::uint8_t> datagram(buffer.data(),
                                                     std::min(got.size, buffer.size()));
        if (got.size > buffer.size()) {
            ++ignored;
            continue;  // not an SNTP reply of any kind
        }
        const SntpReplyCheck check = checkSntpReply(datagram, sent);
        if (check == SntpReplyCheck::TooShort || check == SntpReplyCheck::NotOurRequest) {
            ++ignored;
            continue;  // not an answer to our request: keep waiting for one
        }
        if (check != SntpReplyCheck::Usable) {
            // The server has spoken and will not say more: waiting on would only delay the start.
            return failed(SntpFailure::Unusable);
        }
        result.replyUtcMs = pcUtcMs(clock, *bias);
        result.serverUtcMs = unixMsOfNtpTimestamp(readNtpTimestamp(datagram, kNtpTransmitOffset));
        const NtpTimestamp received = readNtpTimestamp(datagram, kNtpReceiveOffset);
        if (received == NtpTimestamp{}) {
            result.offsetMs = result.serverUtcMs - result.replyUtcMs;
            result.roundTripMs = result.replyUtcMs - result.requestUtcMs;
        } else {
            const std::int64_t serverReceivedMs = unixMsOfNtpTimestamp(received);
            if (serverReceivedMs > result.serverUtcMs) {
                // Received after it was sent: the server's times cannot both be right.
                return failed(SntpFailure::Inconsistent);
            }
            result.offsetMs = ((serverReceivedMs - result.requestUtcMs) +
                               (result.serverUtcMs - result.replyUtcMs)) /
                              2;
            result.roundTripMs =
                (result.replyUtcMs - result.requestUtcMs) - (result.serverUtcMs - serverReceivedMs);
        }
        if (result.roundTripMs < -kReadingSlackMs) {
            // Faster than no time at all, by more than the readings' cut to whole milliseconds
            // explains: the times contradict each other, and an offset from them means nothing.
            return failed(SntpFailure::Inconsistent);
        }
        return result;
    }
}

platform::LocalDateTime serverLocalTime(const SntpResult& result) {
    return platform::localDateTimeOfUnixMs(result.serverUtcMs);
}

std::string sntpFailureText(std::string_view server) {
    std::string text = "не удалось получить время с сервера ";
    text += server;
    text += "!";
    return text;
}

ClockSync SinhrSisDate(bool sinhrTime, const std::string& sinhrTimeServer,
                       platform::SystemClock& clock, platform::Tick& tick,
                       const ShowMessage& showMessage, const SntpOptions& options,
                       const std::function<bool()>& keptBySystem) {
    ClockSync sync;
    if (!sinhrTime) {
        return sync;
    }
    sync.exchange = querySntpServer(sinhrTimeServer, clock, tick, options);
    if (sync.exchange.failure == SntpFailure::Stopped) {
        sync.step = ClockStep::Stopped;  // the program is ending: nothing to tell
    } else if (!sync.exchange.ok()) {
        showMessage(sntpFailureText(sinhrTimeServer));
        sync.step = ClockStep::Failed;
    } else if (keptBySystem && keptBySystem()) {
        // Stepping the clock under the system's time service would fight it.
        sync.step = ClockStep::Kept;
    } else if (!clock.setUtc(sync.exchange.serverUtcMs)) {
        showMessage(kSetClockFailedText);
        sync.step = ClockStep::Refused;
    } else {
        sync.step = ClockStep::Set;
    }
    return sync;
}

}  // namespace horalux::timesync
