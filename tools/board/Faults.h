#pragma once

#include <cstdint>
#include <map>
#include <vector>

#include "link/wire/RequestParser.h"

namespace horalux::board {

// The faults the stand-in puts on the line on demand, as counters that decide request by
// request and reply by reply.
class Faults {
  public:
    Faults(std::uint32_t dropFirst, std::uint32_t corruptEvery, std::uint32_t hangupAfter)
        : dropFirst_(dropFirst), corruptEvery_(corruptEvery), hangupAfter_(hangupAfter) {}

    // Whether the line loses this request. Each distinct request is lost dropFirst times and
    // then gets through, after which the count starts afresh. Requests to all boards are sent
    // only once, so they are never lost.
    bool dropsRequest(const link::Request& request);
    // Whether this reply must go out with a bad header checksum (every corruptEvery-th).
    bool corruptsReply();
    // Counts a request; true when it is the one after which the line is closed.
    bool hangsUpAfter();

  private:
    std::uint32_t dropFirst_;
    std::uint32_t corruptEvery_;
    std::uint32_t hangupAfter_;
    std::map<std::vector<std::uint8_t>, std::uint32_t> dropped_;
    std::uint64_t replies_ = 0;
    std::uint64_t requests_ = 0;
};

// Spoils the folded header checksum of a reply frame.
void corruptHeaderChecksum(std::vector<std::uint8_t>& frame);

}  // namespace horalux::board
