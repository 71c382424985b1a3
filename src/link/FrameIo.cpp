#include "link/FrameIo.h"

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

HuntResult HuntReplyHeader(Line& line, std::uint8_t wakingByte) {
    std::array<std::uint8_t, kReplyHeaderLength> window{};
    std::size_t filled = 0;
    auto push = [&](std::uint8_t b) {
        if (filled == window.size()) {
            std::copy(window.begin() + 1, window.end(), window.begin());
            window.back() = b;
        } else {
            window[filled++] = b;
        }
    };
    if (wakingByte == kStartByte) {
        push(wakingByte);
    }
    int quietPolls = 0;
    HuntResult result;
    for (;;) {
        if (line.stopRequested()) {
            result.status = HuntStatus::Stopped;
            return result;
        }
        const Line::Poll poll = line.pollByte();
        if (poll.status == Line::PollStatus::Gone) {
            result.status = HuntStatus::Gone;
            return result;
        }
        if (poll.status != Line::PollStatus::Byte) {
            if (++quietPolls >= kQuietPollsEndingHunt) {
                result.status = HuntStatus::Quiet;
                return result;
            }
            continue;
        }
        push(poll.byte);
        if (filled == window.size() && isReplyHeader(window)) {
            result.status = HuntStatus::Found;
            result.header = {window[1], window[2], window[3], window[4], window[5]};
            return result;
        }
    }
}

bool ReadReplyData(Line& line, std::uint8_t n, ReplyData& buffer) {
    buffer.fill(0);
    const std::size_t length = static_cast<std::size_t>(n) + 1;
    line.readBlock(std::span<std::uint8_t>(buffer.data(), length));
    const bool ok = shortSum(std::span<const std::uint8_t>(buffer.data(), n)) == buffer[n];
    if (!ok) {
        std::fill_n(buffer.begin(), length, std::uint8_t{0});
    }
    return ok;
}

}  // namespace horalux::link
