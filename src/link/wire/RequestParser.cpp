#include "link/wire/RequestParser.h"

#include <algorithm>
#include <span>

namespace horalux::link {

namespace {
// Window positions: [0] and [1] precede the start byte at [2]; [3] is the 00 behind it.
constexpr std::size_t kStart = 2;
}  // namespace

RequestParser::RequestParser(std::size_t maxBlock) : maxBlock_(maxBlock) {
    clearWindow();
}

void RequestParser::clearWindow() {
    // As if preamble bytes came before, so a frame at the very start of the stream is found.
    window_[0] = kPreambleByte;
    window_[1] = kPreambleByte;
    filled_ = kStart;
}

bool RequestParser::windowHoldsHeader() const {
    if (filled_ < kWindow || window_[kStart] != kStartByte || window_[kStart - 1] != 0x00 ||
        window_[kStart + 1] != 0x00) {
        return false;
    }
    const auto folded = foldedSum(std::span<const std::uint8_t>(window_).subspan(kStart, 6));
    return folded[0] == window_[8] && folded[1] == window_[9];
}

std::optional<Request> RequestParser::push(std::uint8_t byte) {
    if (collecting_) {
        if (pending_.data.size() < blockLength_) {
            pending_.data.push_back(byte);
            return std::nullopt;
        }
        collecting_ = false;
        if (shortSum(pending_.data) != byte) {
            ++rejectedBlocks_;
            return std::nullopt;
        }
        return std::move(pending_);
    }

    if (filled_ == kWindow) {
        std::copy(window_.begin() + 1, window_.end(), window_.begin());
        window_.back() = byte;
    } else {
        window_[filled_++] = byte;
    }
    if (!windowHoldsHeader()) {
        return std::nullopt;
    }

    Request request;
    request.address = window_[4];
    request.command = window_[5];
    request.param1 = window_[6];
    request.param2 = window_[7];
    // The block form carries a second 00 before the start byte.
    request.withBlock = window_[kStart - 2] == 0x00;
    // The header is used up; a new one needs fresh bytes around its start byte.
    clearWindow();
    if (!request.withBlock) {
        return request;
    }
    blockLength_ = request.param1 * 256U + request.param2;
    if (blockLength_ > maxBlock_) {
        ++rejectedBlocks_;
        return std::nullopt;
    }
    pending_ = std::move(request);
    pending_.data.reserve(blockLength_);
    collecting_ = true;
    return std::nullopt;
}

void RequestParser::reset() {
    clearWindow();
    collecting_ = false;
    pending_ = Request{};
}

}  // namespace horalux::link
