#include "LookRequests.h"

#include <algorithm>

#include "config/RegisterMap.h"
#include "link/session/BoardOperations.h"
#include "link/wire/Commands.h"

namespace horalux::bridge {

std::vector<LookRequest> lookRequests(bool withRegisters) {
    std::vector<LookRequest> out;
    if (withRegisters) {
        for (const std::uint8_t reg : config::kReadList) {
            out.push_back({LookRequest::Register, reg});
        }
    }
    out.push_back({LookRequest::Clock, 0});
    out.push_back({LookRequest::FieldValues, 0});
    return out;
}

std::vector<std::vector<LookRequest>> lookBatches(bool withRegisters, std::uint32_t speed) {
    // A register read takes about 0.2 s of the line at 9600 bit/s, answer and pause included.
    constexpr std::uint32_t kBitsPerSecondPerRequest = 2400;
    const std::size_t perBatch = std::max<std::size_t>(1, speed / kBitsPerSecondPerRequest);
    std::vector<std::vector<LookRequest>> out;
    for (const LookRequest& request : lookRequests(withRegisters)) {
        const bool startsBatch =
            out.empty() || request.kind == LookRequest::Clock ||
            (request.kind == LookRequest::Register && out.back().size() >= perBatch);
        if (startsBatch) {
            out.emplace_back();
        }
        out.back().push_back(request);
    }
    return out;
}

bool queueRequest(link::BoardOperations& ops, const LookRequest& request) {
    switch (request.kind) {
        case LookRequest::Register:
            return ops.queue(link::op::kReadTries, link::op::kReadIntervalMs,
                             link::cmd::ReadRegister, request.reg, 0);
        case LookRequest::Clock:
            return ops.readClock();
        case LookRequest::FieldValues:
            return ops.readUserFieldValues();
    }
    return false;
}

}  // namespace horalux::bridge
