#include "link/Line.h"

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
    const platform::IoResult result = port_.read(buffer.data(), buffer.size());
    if (result.status == platform::IoStatus::Gone) {
        throw platform::DeviceGone();
    }
    if (result.status != platform::IoStatus::Ok) {
        throw platform::PortError(std::string(kErrorReadingPort));
    }
    log(buffer.first(result.count));
    return result.count;
}

void Line::sendFrame(std::span<const std::uint8_t> frame) {
    // A failed or short write is not acted on here: the retries cover a frame that did not
    // arrive, and a vanished device shows up at the next poll.
    port_.write(frame.data(), frame.size());
    log(frame);
    PostWriteWait(tick_, postWriteWaitMs(delayTimeMs_, port_.speed()), dispatch_, stop_);
}

}  // namespace horalux::link
