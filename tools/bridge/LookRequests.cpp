#include "LookRequests.h"

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
