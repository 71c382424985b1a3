#pragma once

#include <cstdint>
#include <vector>

namespace horalux::link {
class BoardOperations;
}

namespace horalux::bridge {

// One request of the bridge's look at a board. A look goes in batches of about a second of the
// line, so that a command from the broker waits for one batch at most, never for a whole look;
// requests queued one by one would each wait for the exchange to notice them.
struct LookRequest {
    enum Kind { Register, Clock, FieldValues } kind = Register;
    std::uint8_t reg = 0;  // Register: which
    bool operator==(const LookRequest&) const = default;
};

// A look: every register of the read list when `withRegisters`, then the clock and the user
// fields' texts (by the field lengths known then).
std::vector<LookRequest> lookRequests(bool withRegisters);

// The look's requests in the batches they are queued in at `speed` bit/s: the registers some at
// a time (4 at 9600 bit/s), then the clock and the user fields together.
std::vector<std::vector<LookRequest>> lookBatches(bool withRegisters, std::uint32_t speed);

// Queues the request to the current board; false when nothing was queued.
bool queueRequest(link::BoardOperations& ops, const LookRequest& request);

}  // namespace horalux::bridge
