#pragma once

#include <cstdint>
#include <vector>

namespace horalux::link {
class BoardOperations;
}

namespace horalux::bridge {

// One request of the bridge's look at a board. A look goes request by request, so that a
// command from the broker waits for one request at most, never for a whole look.
struct LookRequest {
    enum Kind { Register, Clock, FieldValues } kind = Register;
    std::uint8_t reg = 0;  // Register: which
    bool operator==(const LookRequest&) const = default;
};

// A look: every register of the read list when `withRegisters`, then the clock and the user
// fields' texts (by the field lengths known then).
std::vector<LookRequest> lookRequests(bool withRegisters);

// Queues the request to the current board; false when nothing was queued.
bool queueRequest(link::BoardOperations& ops, const LookRequest& request);

}  // namespace horalux::bridge
