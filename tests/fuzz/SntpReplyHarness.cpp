#include <cstdlib>

#include "fuzz/Harnesses.h"
#include "timesync/NtpPacket.h"

namespace horalux::fuzz {

void sntpReply(std::span<const std::uint8_t> bytes) {
    // The first eight bytes play the transmit timestamp we sent; the rest is the datagram.
    if (bytes.size() < 8) {
        return;
    }
    const timesync::NtpTimestamp sent = timesync::readNtpTimestamp(bytes, 0);
    const auto datagram = bytes.subspan(8);
    if (timesync::checkSntpReply(datagram, sent) == timesync::SntpReplyCheck::Usable) {
        (void)timesync::unixMsOfNtpTimestamp(timesync::readNtpTimestamp(datagram, 40));
        if (datagram.size() < 48) {
            std::abort();
        }
    }
}

}  // namespace horalux::fuzz
