#include "board/Faults.h"

#include "link/wire/Commands.h"
#include "link/wire/Frame.h"

namespace horalux::board {

bool Faults::dropsRequest(const link::Request& request) {
    if (dropFirst_ == 0 || request.address == link::kAllBoards) {
        return false;
    }
    std::vector<std::uint8_t> key{request.address, request.command, request.param1, request.param2};
    key.insert(key.end(), request.data.begin(), request.data.end());
    auto [it, added] = dropped_.try_emplace(std::move(key), 0U);
    if (it->second < dropFirst_) {
        ++it->second;
        return true;
    }
    dropped_.erase(it);
    return false;
}

bool Faults::corruptsReply() {
    if (corruptEvery_ == 0) {
        return false;
    }
    ++replies_;
    return replies_ % corruptEvery_ == 0;
}

bool Faults::hangsUpAfter() {
    ++requests_;
    return hangupAfter_ != 0 && requests_ == hangupAfter_;
}

void corruptHeaderChecksum(std::vector<std::uint8_t>& frame) {
    if (frame.size() >= link::kReplyHeaderLength) {
        frame[link::kReplyHeaderLength - 1] ^= 0xFF;
    }
}

}  // namespace horalux::board
