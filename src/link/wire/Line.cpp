#include "link/wire/Line.h"

#include <algorithm>

#include "link/wire/PortAccess.h"

namespace horalux::link {

Line::Poll Line::pollByte() {
    return takeByte(std::nullopt);
}

Line::Poll Line::pollByteWithin(std::uint32_t waitMs) {
    return takeByte(waitMs);
}

Line::Poll Line::takeByte(std::optional<std::uint32_t> waitMs) {
    Poll poll;
    if (receivedAt_ == receivedEnd_) {
        if (streaming_) {
            // Bytes keep coming that nobody asked for: let some gather rather than wake for
            // each one as it trickles in.
            tick_.sleepMs(kGatherMs);
        }
        const platform::IoResult result =
            waitMs ? port_.readSomeWithin(received_.data(), received_.size(), *waitMs)
                   : port_.readSome(received_.data(), received_.size());
        switch (result.status) {
            case platform::IoStatus::Ok:
                receivedAt_ = 0;
                receivedEnd_ = result.count;
                // A read that found much waiting means a backlog: no pause before the next.
                streaming_ = result.count > 0 && result.count < kBacklogBytes;
                break;
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
    }
    if (receivedAt_ < receivedEnd_) {
        poll.byte = received_[receivedAt_++];
        poll.status = PollStatus::Byte;
        log(LogDirection::Read, {&poll.byte, 1});
    } else {
        log(LogDirection::Read, {});
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
    // Bytes the last poll's read brought in come first.
    std::size_t got = std::min(buffer.size(), receivedEnd_ - receivedAt_);
    std::copy_n(received_.begin() + static_cast<std::ptrdiff_t>(receivedAt_), got, buffer.begin());
    receivedAt_ += got;
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
    log(LogDirection::Read, buffer.first(got));
    return got;
}

void Line::sendFrame(std::span<const std::uint8_t> frame) {
    // The reply to this frame is awaited: read it as soon as it comes.
    streaming_ = false;
    // A failed or short write is not acted on here: the retries cover a frame that did not
    // arrive, and a vanished device shows up at the next poll.
    const std::uint32_t t0 = tick_.nowMs();
    port_.write(frame.data(), frame.size());
    log(LogDirection::Written, frame);
    waitUntilSent(t0, frame.size());
    PostWriteWait(tick_, postWriteWaitMs(delayTimeMs_, port_.speed()), dispatch_, stop_);
}

void Line::waitUntilSent(std::uint32_t t0, std::size_t frameLength) {
    // The write returns once the driver has queued the frame. Its wire time bounds the wait
    // from below even where the driver reports no queue (a pseudo-terminal) or cannot count the
    // bytes still in the adapter; a queue that never empties (a stalled adapter) is given up
    // after a second more.
    const std::uint32_t speed = port_.speed();
    const double wireMs = frameWireMs(frameLength, speed);
    const double sinceWrite = static_cast<double>(platform::elapsedMs(t0, tick_.nowMs()));
    WaitOnTick(tick_, dispatch_, stop_, [&](double elapsed) {
        elapsed += sinceWrite;
        if (elapsed > wireMs + 1000.0) {
            return -1.0;
        }
        if (elapsed < wireMs) {
            return wireMs - elapsed;
        }
        const std::size_t queued = port_.outputQueued();
        return queued == 0 ? -1.0 : frameWireMs(queued, speed);
    });
}

}  // namespace horalux::link
