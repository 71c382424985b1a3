#include "timesync/NtpPacket.h"

#include "timesync/CivilTime.h"

namespace horalux::timesync {
namespace {

constexpr std::int64_t kTwoTo32 = std::int64_t{1} << 32;

// Fraction bits below one millisecond: 2^22 steps fit within the 2^32 / 1000 of a millisecond.
constexpr std::uint32_t kNonceMask = (1U << 22) - 1;

void writeUint32(NtpPacket& packet, std::size_t offset, std::uint32_t value) {
    for (std::size_t i = 0; i < 4; ++i) {
        packet[offset + i] = static_cast<std::uint8_t>(value >> (24 - 8 * i));
    }
}

std::uint32_t readUint32(std::span<const std::uint8_t> packet, std::size_t offset) {
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < 4; ++i) {
        value = (value << 8) | packet[offset + i];
    }
    return value;
}

}  // namespace

NtpTimestamp ntpTimestampOfUnixMs(std::int64_t unixMs, std::uint32_t nonce) {
    const std::int64_t unixSeconds = floorDiv(unixMs, 1000);
    const std::int64_t ms = unixMs - unixSeconds * 1000;
    const std::int64_t ntpSeconds = unixSeconds + kNtpToUnixSeconds;
    // The smallest fraction that still reads as `ms` when cut to whole milliseconds.
    const std::int64_t firstFraction = (ms * kTwoTo32 + 999) / 1000;
    NtpTimestamp out;
    out.seconds =
        static_cast<std::uint32_t>(ntpSeconds - floorDiv(ntpSeconds, kTwoTo32) * kTwoTo32);
    out.fraction = static_cast<std::uint32_t>(firstFraction + (nonce & kNonceMask));
    return out;
}

std::int64_t unixMsOfNtpTimestamp(const NtpTimestamp& timestamp) {
    const std::int64_t pivot = kEraPivotUnixSeconds + kNtpToUnixSeconds;
    const auto pivotLow = static_cast<std::uint32_t>(pivot % kTwoTo32);
    // Signed distance from the pivot, taken modulo 2^32.
    const auto delta = static_cast<std::int32_t>(timestamp.seconds - pivotLow);
    const std::int64_t ntpSeconds = pivot + delta;
    const std::int64_t ms = (static_cast<std::int64_t>(timestamp.fraction) * 1000) >> 32;
    return (ntpSeconds - kNtpToUnixSeconds) * 1000 + ms;
}

NtpTimestamp readNtpTimestamp(std::span<const std::uint8_t> packet, std::size_t offset) {
    return {readUint32(packet, offset), readUint32(packet, offset + 4)};
}

NtpPacket buildSntpRequest(const NtpTimestamp& transmit) {
    NtpPacket packet{};
    packet[0] = kSntpRequestHeader;
    writeUint32(packet, kNtpTransmitOffset, transmit.seconds);
    writeUint32(packet, kNtpTransmitOffset + 4, transmit.fraction);
    return packet;
}

SntpReplyCheck checkSntpReply(std::span<const std::uint8_t> datagram,
                              const NtpTimestamp& sentTransmit) {
    if (datagram.size() < kNtpPacketSize) {
        return SntpReplyCheck::TooShort;
    }
    // Checked first: a stranger's datagram is ignored, an unusable answer to us is a failure.
    if (readNtpTimestamp(datagram, kNtpOriginateOffset) != sentTransmit) {
        return SntpReplyCheck::NotOurRequest;
    }
    const std::uint8_t leap = datagram[0] >> 6;
    const std::uint8_t version = (datagram[0] >> 3) & 0x07;
    const std::uint8_t mode = datagram[0] & 0x07;
    const std::uint8_t stratum = datagram[1];
    if (version < 1 || version > 4) {
        return SntpReplyCheck::BadVersion;
    }
    if (mode != 4) {
        return SntpReplyCheck::NotServerMode;
    }
    if (leap == 3) {
        return SntpReplyCheck::Unsynchronised;
    }
    if (stratum < 1 || stratum > 15) {
        return SntpReplyCheck::BadStratum;
    }
    if (readNtpTimestamp(datagram, kNtpTransmitOffset) == NtpTimestamp{}) {
        return SntpReplyCheck::NoTransmitTime;
    }
    return SntpReplyCheck::Usable;
}

}  // namespace horalux::timesync
