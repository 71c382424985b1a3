#include "link/Line.h"

#include <algorithm>

#include "link/PortAccess.h"

namespace horalux::link {

Line::Poll Line::pollByte() {
    Poll poll;
    const platform::IoResult result = port_.read(&poll.byte, 1);
    switch (result.status) {
        case platform::IoStatus::Ok:
            log({&poll.byte, result.count});
            poll.status = result.count == 1 ? PollStatus::Byte : PollStatus::Empty;
            return poll;
        case platform::IoStatus::Failed:
            if (pollFailed_) {
                pollFailed_();
            }
            poll.status = PollStatus::Failed;
            return poll;
        case platform::IoStatus::Gone:
            poll.status = PollStatus::Gone;
            return poll;
    }
    return poll;
}

std::size_t Line::readBlock(std::span<std::uint8_t> buffer) {
    // Read in small pieces within the block's whole time budget, so a stop request is noticed
    // within a fraction of a second even while a long block trickles in or never comes.
    constexpr std::size_t kPiece = 4;
    const std::uint32_t budget =
        static_cast<std::uint32_t>(buffer.size()) * platform::kReadTimeoutPerByteMs;
    const std::uint32_t t0 = tick_.nowMs();
    std::size_t got = 0;
    while (got < buffer.size() && !stop_.stop_requested()) {
        const std::size_t piece = std::min(kPiece, buffer.size() - got);
        const platform::IoResult result = port_.read(buffer.data() + got, piece);
        if (result.status == platform::IoStatus::Gone) {
            throw platform::DeviceGone();
        }
        if (result.status != platform::IoStatus::Ok) {
            throw platform::PortError(std::string(kErrorReadingPort));
        }
        got += result.count;
        if (result.count < piece && platform::elapsedMs(t0, tick_.nowMs()) >= budget) {
            break;
        }
    }
    log(buffer.first(got));
    return got;
}

void Line::sendFrame(std::span<const std::uint8_t> frame) {
    // A failed or short write is not acted on here: the retries cover a frame that did not
    // arrive, and a vanished device shows up at the next poll.
    port_.write(frame.data(), frame.size());
    log(frame);
    PostWriteWait(tick_, postWriteWaitMs(delayTimeMs_, port_.speed()), dispatch_, stop_);
}

}  // namespace horalux::link
