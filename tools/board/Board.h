#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "board/BoardClock.h"
#include "board/BoardDefaults.h"
#include "config/RegisterMap.h"
#include "link/wire/RequestParser.h"
#include "platform/SystemClock.h"

namespace horalux::board {

using config::displayTimeRegister;
using config::kAddressRegister;
using config::kDisplayFormatsRegister;
using config::kMasterBit;
using config::kModeFlagsRegister;
using config::kSignalFlagsRegister;
using config::kUserScreensRegister;

// Length of the status frame's data block (offsets 0..62 are in use).
inline constexpr std::size_t kStatusBlockLength = 64;

// What a board does with a request that reaches it.
struct Answer {
    std::optional<std::vector<std::uint8_t>> reply;  // nothing for requests to all boards
    std::string_view refusal;  // why a request for this board was not carried out, or empty
};

// One emulated board: its 256 registers, user fields and clock, and the frames it sends. Pure
// logic: the caller passes the millisecond tick, so time is whatever the caller says.
class Board {
  public:
    // The clock runs `clockRate` times as fast as the tick.
    Board(std::uint8_t address, const platform::LocalDateTime& clockStart, std::uint32_t nowMs,
          double clockRate = 1.0);

    std::uint8_t address() const { return registers_[kAddressRegister]; }
    bool isMaster() const { return (registers_[kModeFlagsRegister] & kMasterBit) != 0; }
    void setMaster(bool master);
    std::uint8_t reg(std::uint8_t number) const { return registers_[number]; }
    // Puts a register back, for a fault that undoes a write.
    void restoreReg(std::uint8_t number, std::uint8_t value) { registers_[number] = value; }
    // Takes over a register set, keeping this board's address and master role.
    void loadSettings(std::span<const std::uint8_t, 256> registers);

    // Whether a request goes to this board (its own address or all boards).
    bool reachedBy(const link::Request& request) const;
    // Carries out a request that reaches the board. A request to all boards stores what it
    // writes but is never answered; a request for another board changes nothing.
    Answer handle(const link::Request& request, std::uint32_t nowMs);

    platform::LocalDateTime clock(std::uint32_t nowMs) const { return clock_.at(nowMs); }
    // The segment bytes of the user fields in use, in order, cut or padded with zeros to n.
    std::vector<std::uint8_t> fieldBytes(std::size_t n) const;
    // The main-field item shown now: the items whose display time is not 0 take turns.
    std::uint8_t currentMainItem(std::uint32_t nowMs) const;

    // The unasked frames of a master: status ("R") and field layout ("S").
    std::vector<std::uint8_t> statusFrame(std::uint32_t nowMs) const;
    std::vector<std::uint8_t> layoutFrame() const;

  private:
    std::size_t fieldLength(std::size_t field) const;
    std::size_t fieldsInUse() const;
    void storeFields(std::span<const std::uint8_t> bytes);
    std::vector<std::uint8_t> reply(const link::Request& request, std::uint8_t from,
                                    std::uint32_t nowMs);

    std::array<std::uint8_t, 256> registers_{};
    std::array<FieldSegments, kUserFieldCount> fields_{};
    BoardClock clock_;
    std::uint32_t startMs_;
};

}  // namespace horalux::board
