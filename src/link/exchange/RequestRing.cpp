#include "link/exchange/RequestRing.h"

#include "link/wire/Commands.h"
#include "timesync/BoardTime.h"
#include "timesync/CivilTime.h"

namespace horalux::link {

bool RequestRing::empty() const {
    return read_.load(std::memory_order_acquire) == write_.load(std::memory_order_acquire);
}

std::size_t RequestRing::pendingCount() const {
    const std::size_t read = read_.load(std::memory_order_acquire);
    const std::size_t write = write_.load(std::memory_order_acquire);
    return (write + kSlots - read) % kSlots;
}

bool RequestRing::push(const BoardRequest& request) {
    const std::size_t write = write_.load(std::memory_order_relaxed);
    const std::size_t next = following(write);
    // The consumer's release of the read cursor makes its last use of the slot happen before
    // the slot is overwritten here.
    if (next == read_.load(std::memory_order_acquire)) {
        return false;
    }
    slots_[write] = request;
    write_.store(next, std::memory_order_release);
    return true;
}

BoardRequest* RequestRing::current() {
    const std::size_t read = read_.load(std::memory_order_relaxed);
    if (read == write_.load(std::memory_order_acquire)) {
        return nullptr;
    }
    return &slots_[read];
}

void RequestRing::advance() {
    const std::size_t read = read_.load(std::memory_order_relaxed);
    if (read == write_.load(std::memory_order_acquire)) {
        return;
    }
    read_.store(following(read), std::memory_order_release);
}

namespace {

BoardRequest makeRequest(platform::Tick& tick, std::uint8_t address, std::uint32_t retryIntervalMs,
                         std::int32_t tries, std::uint8_t command, std::uint8_t param1,
                         std::uint8_t param2, std::optional<std::span<const std::uint8_t>> data) {
    BoardRequest request;
    request.address = address;
    request.command = command;
    request.param1 = param1;
    request.param2 = param2;
    request.triesLeft = tries;
    request.nextSendTick = tick.nowMs();
    request.retryInterval = retryIntervalMs;
    if (data) {
        request.data.emplace(data->begin(), data->end());
    }
    request.failed = false;
    request.expectsReply = tries > 0 && address != kAllBoards;
    return request;
}

bool pushOrTell(RequestRing& ring, const BoardRequest& request, Prompts& prompts) {
    if (!ring.push(request)) {
        prompts.error(kRingFull);
        return false;
    }
    return true;
}

}  // namespace

bool QueueRequest(RequestRing& ring, platform::Tick& tick, Prompts& prompts, std::uint8_t address,
                  std::uint32_t retryIntervalMs, std::int32_t tries, std::uint8_t command,
                  std::uint8_t param1, std::uint8_t param2,
                  std::optional<std::span<const std::uint8_t>> data) {
    return pushOrTell(
        ring, makeRequest(tick, address, retryIntervalMs, tries, command, param1, param2, data),
        prompts);
}

bool QueueClockWrite(RequestRing& ring, platform::Tick& tick, Prompts& prompts,
                     std::uint8_t address, std::uint32_t retryIntervalMs, std::int32_t tries,
                     std::int64_t localMsNow) {
    // Until it is sent, the request carries the time it was queued at.
    const timesync::BoardTimePayload payload =
        timesync::makeBoardTimePayload(timesync::dateTimeOfEpochMs(localMsNow));
    BoardRequest request = makeRequest(tick, address, retryIntervalMs, tries, cmd::WriteClock, 0,
                                       kClockBlockLength, std::span<const std::uint8_t>(payload));
    request.clock = ClockReading{localMsNow, request.nextSendTick};
    return pushOrTell(ring, request, prompts);
}

bool reviveFailedRequest(RequestRing& ring, std::uint32_t nowMs) {
    BoardRequest* request = ring.current();
    if (request == nullptr || !request->failed) {
        return false;
    }
    request->triesLeft = kReviveTries;
    request->nextSendTick = nowMs + request->retryInterval;
    request->failed = false;
    return true;
}

}  // namespace horalux::link
