#pragma once

#include <cstdint>
#include <deque>
#include <optional>
#include <vector>

namespace horalux::board {

// The serial wire between the program and the boards. Untimed, bytes pass at once. Timed,
// every byte takes ten bit times: a byte read from the program has arrived only one byte time
// after the byte before it, and bytes sent leave one after the other at that rate, none
// before the time it was queued for. Times are monotonic nanoseconds.
class Wire {
  public:
    Wire(std::uint32_t bitsPerSecond, bool timed);

    // Takes the next byte the program wrote, waiting on the line since sinceNs; returns when it
    // has fully arrived (untimed: sinceNs).
    std::int64_t received(std::int64_t sinceNs);
    // Timed: how many of the bytes waiting since sinceNs have fully arrived by nowNs, and when
    // the next one will have.
    std::size_t arrivedBy(std::int64_t sinceNs, std::int64_t nowNs) const;
    std::int64_t nextArrivalNs(std::int64_t sinceNs) const;
    bool timed() const { return timed_; }
    // Queues bytes to go out after everything queued before and not before notBeforeNs.
    void send(std::vector<std::uint8_t> bytes, std::int64_t notBeforeNs);
    // Takes off the queue the bytes that have reached the program's end by nowNs.
    std::vector<std::uint8_t> takeDue(std::int64_t nowNs);
    // When the next queued byte is due; nothing when the queue is empty.
    std::optional<std::int64_t> nextDueNs() const;
    bool idle() const { return queue_.empty(); }
    std::int64_t byteNs() const { return byteNs_; }

  private:
    struct Chunk {
        std::vector<std::uint8_t> bytes;
        std::int64_t startNs;  // the first byte has arrived one byte time after this
        std::size_t taken = 0;
    };

    std::int64_t dueOf(const Chunk& chunk, std::size_t index) const;

    bool timed_;
    std::int64_t byteNs_;
    std::int64_t receiveFreeNs_ = 0;
    std::int64_t sendFreeNs_ = 0;
    std::deque<Chunk> queue_;
};

}  // namespace horalux::board
