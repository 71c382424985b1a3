#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "config/RegisterImage.h"

namespace horalux::config {

// One register to write: its number, the byte to send (from the edited image) and the byte the
// board was last seen to hold.
struct RegisterWrite {
    std::uint8_t number = 0;
    std::uint8_t edit = 0;
    std::uint8_t board = 0;

    friend bool operator==(const RegisterWrite&, const RegisterWrite&) = default;
};

// The registers a write goes through, in order: the display times; the single settings in the
// board's preferred order; display formats and user-field lengths; the mode flags last. The
// address (register 76) is not here: changing it moves the board, so it is sent after these.
inline constexpr std::size_t kWriteOrderLength = 69;
extern const std::array<std::uint8_t, kWriteOrderLength> kWriteOrder;

// The registers of kWriteOrder whose byte differs between the two images, in that order.
std::vector<RegisterWrite> makeWritePlan(const RegisterImage& edit, const RegisterImage& board);

// Whether the edited image moves the board to another address.
inline bool addressDiffers(const RegisterImage& edit, const RegisterImage& board) {
    return edit.address != board.address;
}

}  // namespace horalux::config
