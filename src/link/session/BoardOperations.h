#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "config/RegisterMap.h"
#include "link/exchange/BoardState.h"
#include "link/exchange/RequestRing.h"
#include "link/wire/Prompts.h"
#include "platform/SystemClock.h"
#include "platform/Tick.h"
#include "settings/ProgramSettings.h"

namespace horalux::link {

// The busy state of the user interface while a batch of requests runs. The windows switch it
// on here and off when the ring reports empty.
class BusyIndicator {
  public:
    virtual ~BusyIndicator() = default;
    virtual void ShowBusyState() = 0;
};

// Runs the main thread's pending messages while a board operation waits for the ring.
class MessagePump {
  public:
    virtual ~MessagePump() = default;
    // Runs what is pending; waits at most maxWaitMs for something to arrive first.
    virtual void dispatch(std::uint32_t maxWaitMs) = 0;
};

// Said when the user asks something of the board while no exchange runs.
inline constexpr std::string_view kNotConnected =
    "Табло не подключено. Подключитесь: «Сервис» → «Подключение».";

// Request parameters of the operations.
namespace op {
inline constexpr std::int32_t kReadTries = 10;
inline constexpr std::uint32_t kReadIntervalMs = 1000;
inline constexpr std::int32_t kWriteTries = 3;
inline constexpr std::uint32_t kWriteIntervalMs = 3000;
inline constexpr std::int32_t kMenuTries = 3;
inline constexpr std::uint32_t kMenuIntervalMs = 1000;
inline constexpr std::uint32_t kWaitSlackMs = 300;
inline constexpr std::uint32_t kConnectWaitMs = 60000;
inline constexpr std::uint32_t kModeWaitMs = 3000;
using config::kDateFormatRegister;
using config::kMasterBit;
using config::kTimeZoneRegister;
}  // namespace op

// The operations the windows call; each turns a user action into a batch of queued requests to
// the current board address. Main thread only.
class BoardOperations {
  public:
    // The current board address is the settings' `sysnum`: an address change written to the
    // board lands there, so the next start and the saved settings use the new address.
    BoardOperations(platform::Tick& tick, platform::SystemClock& clock, Prompts& prompts,
                    BoardState& board, BusyIndicator& busy, MessagePump& pump,
                    settings::ProgramSettings& settings);

    // The ring of the running exchange thread; nullptr while none serves one (the link is down or
    // was stopped): nothing is queued then, and a wait for the ring ends at once.
    void attachRing(RequestRing* ring) { ring_ = ring; }
    // What the last ring held when its exchange had ended: the requests never completed.
    void ringRetired(std::size_t pending) { pendingAtRetirement_ = pending; }
    // Requests not completed: in the running ring, or left in the last one once it ended.
    std::size_t pendingRequests() const {
        return ring_ != nullptr ? ring_->pendingCount() : pendingAtRetirement_;
    }
    bool connected() const { return ring_ != nullptr; }
    // For an action of the user: whether an exchange runs; when none does, says so once and
    // how to connect, since nothing the action queued would reach the board.
    bool checkConnected();

    // The board every request goes to (`sysnum`); 255 reaches all boards. The board state's
    // current entry follows it.
    std::uint8_t currentAddress() const { return settings_.sysnum; }
    void setCurrentAddress(std::uint8_t address);

    // Set and cleared by the main side's handler of the ring state. A report of an empty ring
    // that was sent before the latest requests were queued is stale and does not count.
    bool RingIdle() const { return ringIdle_; }
    void setRingIdle(bool idle) { ringIdle_ = idle && (ring_ == nullptr || ring_->empty()); }

    // One request to the current board address; false when nothing was queued.
    bool queue(std::int32_t tries, std::uint32_t intervalMs, std::uint8_t command,
               std::uint8_t param1, std::uint8_t param2,
               std::optional<std::span<const std::uint8_t>> data = std::nullopt);

    // Queues a register write when the new value differs from the board's.
    void QueueRegisterWrite(std::uint8_t reg, std::uint8_t newValue, std::uint8_t boardValue);
    // A batch goes into the ring whole or not at all: when the ring has no room for all of it,
    // nothing is queued, the user is told once and the result is false.

    // Writes EditCopy by the write plan: changed registers, the address change, then the clock.
    bool WriteRegisters();
    // Queues a read of every register of the read list and shows the busy state.
    bool ReadAllRegisters();
    void ShowBusyState() { busy_.ShowBusyState(); }
    // Returns true when the ring drained; false when limitMs + 300 ms passed first, or at once
    // when no exchange serves the ring any more (the line went down, the exchange was stopped).
    bool WaitForRing(std::uint32_t limitMs);
    // Makes the board time master (true) or slave, leaving the other mode bits as they are.
    void SetBoardMode(bool makeMaster);
    // Writes the PC's local time and date into the board clock.
    void Sinkhr_date();
    // Reads the board clock as it keeps it; false when nothing was queued.
    bool readClock();

    // "Считать время и дату": date format, busy state, time zone, clock.
    bool readTimeAndDate();
    // "Считать данные полей": the 32 field lengths, busy state, the field values.
    bool readUserFields();
    // The user fields' texts by the field lengths known now ('`'); false when nothing was
    // queued.
    bool readUserFieldValues();
    // After connecting to a single board, first all registers and the wait for them (which ends
    // early when the exchange ends: a reconnection may be under way)...
    void readRegistersAfterConnect();
    // ...then the clock and the user fields, on whatever exchange runs once the wait is over;
    // false when none runs.
    bool readClockAndFields();
    // Replaces the text of field `index` and sends every field in use to the board.
    void writeUserField(std::size_t index, const std::string& text);

  private:
    // Whether the ring takes `count` more requests; tells the user when it does not.
    bool roomFor(std::size_t count);
    void queueUserFieldRead();

    platform::Tick& tick_;
    platform::SystemClock& clock_;
    Prompts& prompts_;
    BoardState& board_;
    BusyIndicator& busy_;
    MessagePump& pump_;
    settings::ProgramSettings& settings_;
    RequestRing* ring_ = nullptr;
    std::size_t pendingAtRetirement_ = 0;
    bool ringIdle_ = true;
};

}  // namespace horalux::link
