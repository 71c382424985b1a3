#include <algorithm>
#include <stop_token>
#include <vector>

#include "fuzz/Harnesses.h"
#include "link/exchange/ExchangeEvents.h"
#include "link/exchange/ReplyDecoder.h"
#include "link/wire/Commands.h"
#include "link/wire/Line.h"
#include "support/FakeTick.h"
#include "support/MemoryLine.h"
#include "support/RecordingPrompts.h"

namespace horalux::fuzz {

namespace {

class IgnoredEvents final : public link::ExchangeEvents {
  public:
};

}  // namespace

// The first byte sets the chunk size in which the rest reaches the line, so frames are cut at
// every place a driver may cut them; a register read and a clock read wait in the ring, so
// replies also complete requests.
void replyDecoder(std::span<const std::uint8_t> bytes) {
    if (bytes.empty()) {
        return;
    }
    const std::size_t chunk = bytes[0] % 16U + 1U;
    bytes = bytes.subspan(1);

    test::FakeTick tick;
    test::MemoryLine port{&tick};
    link::Line line{port, tick, 100};
    link::RequestRing ring;
    link::BoardState board;
    IgnoredEvents events;
    test::RecordingPrompts prompts;
    link::InlineMainThread mainThread;
    std::stop_source stop;
    link::WorkerSide main{mainThread, events, prompts, stop.get_token()};
    link::ReplyDecoder decoder{line, ring, board, main};
    link::QueueRequest(ring, tick, prompts, 1, 1000, 3, link::cmd::ReadRegister, 77, 0);
    link::QueueRequest(ring, tick, prompts, 1, 1000, 3, link::cmd::ReadClock, 0, 7);

    for (std::size_t at = 0; at < bytes.size(); at += chunk) {
        const auto piece = bytes.subspan(at, std::min(chunk, bytes.size() - at));
        port.feed(std::vector<std::uint8_t>(piece.begin(), piece.end()));
        while (port.pending() > 0) {
            const link::Line::Poll poll = line.pollByte();
            if (poll.status != link::Line::PollStatus::Byte) {
                break;
            }
            if (decoder.decodeIncoming(poll.byte) == link::DecodeOutcome::LinkLost) {
                return;
            }
        }
    }
}

}  // namespace horalux::fuzz
