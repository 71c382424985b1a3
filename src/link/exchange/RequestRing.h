#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

#include "link/exchange/BoardRequest.h"
#include "link/wire/Prompts.h"
#include "platform/Tick.h"

namespace horalux::link {

inline constexpr std::string_view kRingFull = "Очередь запросов переполнена, запрос не поставлен";

// The pending requests between the main thread (the only producer) and the exchange thread (the
// only consumer). 151 slots hold 150 pending requests, so the cursors meet only when the ring is
// empty. No lock: a slot is filled completely before the write cursor is published (release),
// and the consumer reads the write cursor (acquire) before the slot; the read cursor is
// published the same way, so a slot is reused only after the consumer has left it.
class RequestRing {
  public:
    static constexpr std::size_t kSlots = 151;
    static constexpr std::size_t kCapacity = kSlots - 1;

    // Either thread.
    bool empty() const;
    std::size_t pendingCount() const;

    // Producer: copies the request into the slot at the write cursor and publishes it. Returns
    // false, changing nothing, when 150 requests are pending.
    bool push(const BoardRequest& request);

    // Consumer (and the main side while the consumer waits in one of its calls): the request
    // at the read cursor, or nullptr when the ring is empty.
    BoardRequest* current();
    // Consumer: moves the read cursor on; nothing happens on an empty ring.
    void advance();

  private:
    static std::size_t following(std::size_t slot) { return (slot + 1) % kSlots; }

    std::array<BoardRequest, kSlots> slots_{};
    std::atomic<std::size_t> write_{0};
    std::atomic<std::size_t> read_{0};
};

// Builds a request (tries left = tries, due now, awaiting a reply when tries > 0 and the address
// is not 255) and queues it. Main thread only. When the ring is full the request is refused: the
// user is told through `prompts` and the result is false; pending requests are never overwritten.
bool QueueRequest(RequestRing& ring, platform::Tick& tick, Prompts& prompts, std::uint8_t address,
                  std::uint32_t retryIntervalMs, std::int32_t tries, std::uint8_t command,
                  std::uint8_t param1, std::uint8_t param2,
                  std::optional<std::span<const std::uint8_t>> data = std::nullopt);

// Queues a write of the board clock ('p') from the PC's local time `localMsNow` (epoch
// milliseconds, read now): its payload is made again when it is sent, so that it carries the
// whole second on which the frame's last byte ends. Otherwise as QueueRequest.
bool QueueClockWrite(RequestRing& ring, platform::Tick& tick, Prompts& prompts,
                     std::uint8_t address, std::uint32_t retryIntervalMs, std::int32_t tries,
                     std::int64_t localMsNow);

// The main side's answer "retry" to onRequestFailed, given while handling it: the failed
// current request gets five new tries, the first due one interval from now. Returns false when
// the current request is not a failed one.
bool reviveFailedRequest(RequestRing& ring, std::uint32_t nowMs);

}  // namespace horalux::link
