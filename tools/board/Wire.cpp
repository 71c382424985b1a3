#include "board/Wire.h"

#include <algorithm>

namespace horalux::board {

namespace {
constexpr std::int64_t kBitsPerByte = 10;  // start bit, eight data bits, stop bit
constexpr std::int64_t kNsPerSecond = 1'000'000'000;
}  // namespace

Wire::Wire(std::uint32_t bitsPerSecond, bool timed)
    : timed_(timed),
      byteNs_(kBitsPerByte * kNsPerSecond / std::max<std::int64_t>(1, bitsPerSecond)) {}

std::int64_t Wire::received(std::int64_t sinceNs) {
    if (!timed_) {
        return sinceNs;
    }
    receiveFreeNs_ = nextArrivalNs(sinceNs);
    return receiveFreeNs_;
}

std::size_t Wire::arrivedBy(std::int64_t sinceNs, std::int64_t nowNs) const {
    const std::int64_t from = std::max(sinceNs, receiveFreeNs_);
    return nowNs <= from ? 0 : static_cast<std::size_t>((nowNs - from) / byteNs_);
}

std::int64_t Wire::nextArrivalNs(std::int64_t sinceNs) const {
    return std::max(sinceNs, receiveFreeNs_) + byteNs_;
}

void Wire::send(std::vector<std::uint8_t> bytes, std::int64_t notBeforeNs) {
    if (bytes.empty()) {
        return;
    }
    const std::int64_t start = timed_ ? std::max(notBeforeNs, sendFreeNs_) : 0;
    sendFreeNs_ = start + static_cast<std::int64_t>(bytes.size()) * byteNs_;
    queue_.push_back({std::move(bytes), start});
}

std::int64_t Wire::dueOf(const Chunk& chunk, std::size_t index) const {
    if (!timed_) {
        return 0;
    }
    return chunk.startNs + static_cast<std::int64_t>(index + 1) * byteNs_;
}

std::vector<std::uint8_t> Wire::takeDue(std::int64_t nowNs) {
    std::vector<std::uint8_t> out;
    while (!queue_.empty()) {
        Chunk& chunk = queue_.front();
        while (chunk.taken < chunk.bytes.size() && dueOf(chunk, chunk.taken) <= nowNs) {
            out.push_back(chunk.bytes[chunk.taken++]);
        }
        if (chunk.taken < chunk.bytes.size()) {
            break;
        }
        queue_.pop_front();
    }
    return out;
}

std::optional<std::int64_t> Wire::nextDueNs() const {
    if (queue_.empty()) {
        return std::nullopt;
    }
    const Chunk& chunk = queue_.front();
    return dueOf(chunk, chunk.taken);
}

}  // namespace horalux::board
