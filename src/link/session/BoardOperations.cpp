#include "link/session/BoardOperations.h"

#include "config/RegisterMap.h"
#include "config/WritePlan.h"
#include "link/session/UserFieldPayload.h"
#include "link/wire/Commands.h"
#include "timesync/CivilTime.h"

namespace horalux::link {

BoardOperations::BoardOperations(platform::Tick& tick, platform::SystemClock& clock,
                                 Prompts& prompts, BoardState& board, BusyIndicator& busy,
                                 MessagePump& pump, settings::ProgramSettings& settings)
    : tick_(tick),
      clock_(clock),
      prompts_(prompts),
      board_(board),
      busy_(busy),
      pump_(pump),
      settings_(settings) {
    board_.setCurrent(settings_.sysnum);
}

void BoardOperations::setCurrentAddress(std::uint8_t address) {
    settings_.sysnum = address;
    board_.setCurrent(address);
}

bool BoardOperations::checkConnected() {
    if (!connected()) {
        prompts_.notify(kNotConnected);
    }
    return connected();
}

bool BoardOperations::queue(std::int32_t tries, std::uint32_t intervalMs, std::uint8_t command,
                            std::uint8_t param1, std::uint8_t param2,
                            std::optional<std::span<const std::uint8_t>> data) {
    if (ring_ == nullptr) {
        return false;
    }
    return QueueRequest(*ring_, tick_, prompts_, currentAddress(), intervalMs, tries, command,
                        param1, param2, data);
}

void BoardOperations::QueueRegisterWrite(std::uint8_t reg, std::uint8_t newValue,
                                         std::uint8_t boardValue) {
    if (newValue != boardValue) {
        queue(op::kWriteTries, op::kWriteIntervalMs, cmd::WriteRegister, reg, newValue);
    }
}

bool BoardOperations::roomFor(std::size_t count) {
    if (ring_ == nullptr) {
        return false;
    }
    // Only this thread adds requests, so the room can only grow until the batch is queued.
    if (RequestRing::kCapacity - ring_->pendingCount() >= count) {
        return true;
    }
    prompts_.error(kRingFull);
    return false;
}

bool BoardOperations::WriteRegisters() {
    config::RegisterImage edit;
    config::RegisterImage boardCopy;
    {
        auto data = board_.lock();
        edit = data->EditCopy;
        boardCopy = data->BoardCopy;
    }
    const std::vector<config::RegisterWrite> plan = config::makeWritePlan(edit, boardCopy);
    const bool moves = config::addressDiffers(edit, boardCopy);
    // A partial write would leave the board half changed, or move the program to an address
    // the board never heard of.
    if (!roomFor(plan.size() + (moves ? 1 : 0) + 1)) {
        return false;
    }
    ringIdle_ = false;
    for (const config::RegisterWrite& write : plan) {
        QueueRegisterWrite(write.number, write.edit, write.board);
    }
    if (moves) {
        // Sent once and not confirmed: the board answers at its new address, if at all.
        queue(0, op::kWriteIntervalMs, cmd::WriteRegister, config::kAddressRegister, edit.address);
        setCurrentAddress(edit.address);
    }
    Sinkhr_date();
    return true;
}

bool BoardOperations::ReadAllRegisters() {
    if (!roomFor(config::kReadList.size())) {
        return false;
    }
    ringIdle_ = false;
    for (const std::uint8_t reg : config::kReadList) {
        queue(op::kReadTries, op::kReadIntervalMs, cmd::ReadRegister, reg, 0);
    }
    ShowBusyState();
    return true;
}

bool BoardOperations::WaitForRing(std::uint32_t limitMs) {
    RequestRing* const waitedFor = ring_;
    if (waitedFor == nullptr) {
        return false;  // no exchange serves a ring: nothing will drain
    }
    // Requests still pending mean the ring has not drained, whatever the last report said.
    if (!waitedFor->empty()) {
        ringIdle_ = false;
    }
    const std::uint32_t t0 = tick_.nowMs();
    const std::uint64_t deadline = std::uint64_t{limitMs} + op::kWaitSlackMs;
    for (;;) {
        pump_.dispatch(10);
        if (ring_ != waitedFor) {
            return false;  // the line went down or the exchange was stopped meanwhile
        }
        if (ringIdle_) {
            return true;
        }
        if (platform::elapsedMs(t0, tick_.nowMs()) > deadline) {
            return false;
        }
    }
}

void BoardOperations::SetBoardMode(bool makeMaster) {
    RequestRing* const ring = ring_;
    ringIdle_ = false;
    queue(op::kWriteTries, op::kWriteIntervalMs, cmd::ReadRegister, config::kModeFlagsRegister, 0);
    WaitForRing(op::kModeWaitMs);
    if (ring_ != ring) {
        return;  // the exchange ended meanwhile
    }
    // Whatever the board copy holds now: an unanswered read leaves the value of an earlier one.
    const std::uint8_t mode = board_.lock()->BoardCopy.modeFlags;
    std::uint8_t wanted = mode;
    if (makeMaster) {
        board_.StatusFrameSeen = true;
        wanted = static_cast<std::uint8_t>(mode | op::kMasterBit);
    } else {
        board_.StatusFrameSeen = false;
        wanted = static_cast<std::uint8_t>(mode & ~op::kMasterBit);
    }
    if (wanted != mode) {
        queue(op::kWriteTries, op::kWriteIntervalMs, cmd::WriteRegister, config::kModeFlagsRegister,
              wanted);
    }
}

void BoardOperations::Sinkhr_date() {
    if (ring_ == nullptr) {
        return;
    }
    QueueClockWrite(*ring_, tick_, prompts_, currentAddress(), op::kMenuIntervalMs, op::kMenuTries,
                    timesync::epochMsOf(clock_.now()));
}

bool BoardOperations::readTimeAndDate() {
    if (!roomFor(3)) {
        return false;
    }
    queue(op::kMenuTries, op::kMenuIntervalMs, cmd::ReadRegister, op::kDateFormatRegister, 0);
    ShowBusyState();
    queue(op::kMenuTries, op::kMenuIntervalMs, cmd::ReadRegister, op::kTimeZoneRegister, 0);
    readClock();
    return true;
}

bool BoardOperations::readClock() {
    return queue(op::kMenuTries, op::kMenuIntervalMs, cmd::ReadClock, 0, kClockBlockLength);
}

bool BoardOperations::readUserFieldValues() {
    if (!roomFor(1)) {
        return false;
    }
    queueUserFieldRead();
    return true;
}

void BoardOperations::queueUserFieldRead() {
    // The lengths known now; the replies of reads queued just before have not arrived yet.
    const std::size_t total = userFieldTotalLength(board_.lock()->BoardCopy.userScreens);
    // The length in both parameters, as the write sends it: over 255 positions the low byte
    // alone would ask for a cut block.
    queue(op::kMenuTries, op::kMenuIntervalMs, cmd::ReadUserFields,
          static_cast<std::uint8_t>(total / 256), static_cast<std::uint8_t>(total % 256));
}

bool BoardOperations::readUserFields() {
    constexpr std::size_t kLengthReads = 255 - config::kUserScreensRegister + 1;
    if (!roomFor(kLengthReads + 1)) {
        return false;
    }
    for (unsigned reg = config::kUserScreensRegister; reg <= 255; ++reg) {
        queue(op::kMenuTries, op::kMenuIntervalMs, cmd::ReadRegister,
              static_cast<std::uint8_t>(reg), 0);
    }
    ShowBusyState();
    queueUserFieldRead();
    return true;
}

void BoardOperations::readRegistersAfterConnect() {
    if (ReadAllRegisters()) {
        WaitForRing(op::kConnectWaitMs);
    }
}

bool BoardOperations::readClockAndFields() {
    if (!roomFor(2)) {
        return false;
    }
    readClock();
    queueUserFieldRead();
    return true;
}

void BoardOperations::writeUserField(std::size_t index, const std::string& text) {
    std::vector<std::uint8_t> payload;
    {
        auto data = board_.lock();
        if (index >= data->UserFieldTexts.size()) {
            return;
        }
        data->UserFieldTexts[index] = text;
        payload = buildUserFieldPayload(data->UserFieldTexts, data->BoardCopy.userScreens);
    }
    // The length goes into both parameters: a block over 255 bytes would otherwise be cut.
    queue(op::kMenuTries, op::kMenuIntervalMs, cmd::WriteUserFields,
          static_cast<std::uint8_t>(payload.size() / 256),
          static_cast<std::uint8_t>(payload.size() % 256), std::span<const std::uint8_t>(payload));
}

}  // namespace horalux::link
