#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace horalux::timesync {

inline constexpr std::size_t kNtpPacketSize = 48;
using NtpPacket = std::array<std::uint8_t, kNtpPacketSize>;

// Byte offsets of the fields the client reads or writes.
inline constexpr std::size_t kNtpOriginateOffset = 24;
inline constexpr std::size_t kNtpReceiveOffset = 32;
inline constexpr std::size_t kNtpTransmitOffset = 40;

// Leap indicator 0, version 3, mode 3 (client).
inline constexpr std::uint8_t kSntpRequestHeader = 0x1B;

// Seconds from 1900-01-01 (the NTP prime epoch) to 1970-01-01, both UTC.
inline constexpr std::int64_t kNtpToUnixSeconds = 2208988800;

// NTP seconds wrap every 2^32 s (the first time in February 2036). A timestamp is read as the
// instant within 2^31 s of this date (2026-01-01 00:00 UTC, the time this client was written),
// so it does not matter how wrong the PC clock is, and times after the wrap come out right
// until about 2094.
inline constexpr std::int64_t kEraPivotUnixSeconds = 1767225600;

struct NtpTimestamp {
    std::uint32_t seconds = 0;
    std::uint32_t fraction = 0;  // binary fraction of a second
    friend bool operator==(const NtpTimestamp&, const NtpTimestamp&) = default;
};

// The timestamp of a UTC instant in Unix milliseconds. `nonce` fills the bits below the
// millisecond, so a reply can be matched to this very request while the timestamp still reads
// as the same millisecond.
NtpTimestamp ntpTimestampOfUnixMs(std::int64_t unixMs, std::uint32_t nonce = 0);

// The UTC instant (Unix milliseconds, fraction cut to whole milliseconds) of a timestamp, era
// chosen around kEraPivotUnixSeconds.
std::int64_t unixMsOfNtpTimestamp(const NtpTimestamp& timestamp);

NtpTimestamp readNtpTimestamp(std::span<const std::uint8_t> packet, std::size_t offset);

// 48 bytes: header 0x1B, the transmit timestamp, zeros elsewhere.
NtpPacket buildSntpRequest(const NtpTimestamp& transmit);

enum class SntpReplyCheck {
    Usable,
    TooShort,        // fewer than 48 bytes
    NotOurRequest,   // originate timestamp differs from what we sent
    BadVersion,      // version outside 1..4
    NotServerMode,   // mode other than 4
    Unsynchronised,  // leap indicator 3: the server's clock is not set
    BadStratum,      // stratum 0 (kiss-o'-death or unspecified) or above 15
    NoTransmitTime,  // transmit timestamp zero
};

// Whether a datagram is a usable answer to the request that carried `sentTransmit`. The
// originate is compared before anything else, so every other refusal concerns an answer to us.
SntpReplyCheck checkSntpReply(std::span<const std::uint8_t> datagram,
                              const NtpTimestamp& sentTransmit);

}  // namespace horalux::timesync
