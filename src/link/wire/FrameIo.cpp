#include "link/wire/FrameIo.h"

#include <algorithm>

namespace horalux::link {

void SendFrame(Line& line, RequestFrameBuilder& builder, std::uint8_t address, std::uint8_t command,
               std::uint8_t param1, std::uint8_t param2,
               std::optional<std::span<const std::uint8_t>> data) {
    if (data) {
        const std::size_t n = std::min<std::size_t>(data->size(), param1 * 256U + param2);
        line.sendFrame(builder.withBlock(address, command, data->first(n)));
    } else {
        line.sendFrame(builder.plain(address, command, param1, param2));
    }
}

namespace {

// A header that has begun to arrive is awaited that many bytes before the hunt gives way: a
// reply to the last try is not cut off by its own failure report, and a line that sends start
// bytes without end still cannot hold the hunt.
constexpr int kBytesBeforeGivingWay = 2 * static_cast<int>(kReplyHeaderLength);

// Whether the window holds a start byte that may still begin a header.
bool holdsHeaderStart(const HuntWindow& w) {
    const std::size_t from = w.filled == w.bytes.size() ? 1 : 0;  // byte 0 of a full window failed
    return std::find(w.bytes.begin() + static_cast<std::ptrdiff_t>(from),
                     w.bytes.begin() + static_cast<std::ptrdiff_t>(w.filled),
                     kStartByte) != w.bytes.begin() + static_cast<std::ptrdiff_t>(w.filled);
}

}  // namespace

HuntResult HuntReplyHeader(Line& line, std::uint8_t wakingByte, HuntWindow* kept,
                           const std::function<bool()>& giveWay) {
    HuntWindow local;
    HuntWindow& w = kept != nullptr ? *kept : local;
    if (!w.suspended) {
        w = HuntWindow{};
    }
    auto push = [&](std::uint8_t b) {
        if (w.filled == w.bytes.size()) {
            std::copy(w.bytes.begin() + 1, w.bytes.end(), w.bytes.begin());
            w.bytes.back() = b;
        } else {
            w.bytes[w.filled++] = b;
        }
    };
    HuntResult result;
    // Every way out but giving way ends the hunt: the next one starts afresh.
    auto end = [&](HuntStatus status) {
        w = HuntWindow{};
        result.status = status;
        return result;
    };
    if (w.suspended || wakingByte == kStartByte) {
        push(wakingByte);
    }
    w.suspended = false;
    int taken = 0;
    for (;;) {
        if (w.filled == w.bytes.size() && isReplyHeader(w.bytes)) {
            result.header = {w.bytes[1], w.bytes[2], w.bytes[3], w.bytes[4], w.bytes[5]};
            return end(HuntStatus::Found);
        }
        if (line.stopRequested()) {
            return end(HuntStatus::Stopped);
        }
        if (kept != nullptr && giveWay &&
            (!holdsHeaderStart(w) || taken >= kBytesBeforeGivingWay) && giveWay()) {
            w.suspended = true;
            result.status = HuntStatus::GaveWay;
            return result;
        }
        const Line::Poll poll = line.pollByte();
        if (poll.status == Line::PollStatus::Gone) {
            return end(HuntStatus::Gone);
        }
        if (poll.status != Line::PollStatus::Byte) {
            if (++w.quietPolls >= kQuietPollsEndingHunt) {
                return end(HuntStatus::Quiet);
            }
            continue;
        }
        push(poll.byte);
        ++taken;
    }
}

bool ReadReplyData(Line& line, std::size_t n, ReplyData& buffer) {
    n = std::min(n, buffer.size() - 1);
    const std::size_t length = n + 1;
    buffer.fill(0);
    line.readBlock(std::span<std::uint8_t>(buffer.data(), length));
    const bool ok = shortSum(std::span<const std::uint8_t>(buffer.data(), n)) == buffer[n];
    if (!ok) {
        std::fill_n(buffer.begin(), length, std::uint8_t{0});
    }
    return ok;
}

}  // namespace horalux::link
