#pragma once

#include <cstdint>

namespace horalux::link {

// Messages between the exchange thread and the main side. The numbers are fixed: the platform's
// first user message number plus 1000, 1001, 1002, 1003 and 1010.
inline constexpr std::uint32_t kUserMessageBase = 1024;
inline constexpr std::uint32_t WM_REQUEST_FAILED = kUserMessageBase + 1000;  // 2024
inline constexpr std::uint32_t WM_BOARD_MODE = kUserMessageBase + 1001;      // 2025
inline constexpr std::uint32_t WM_EXCHANGE_INFO = kUserMessageBase + 1002;   // 2026
inline constexpr std::uint32_t WM_RING_STATE = kUserMessageBase + 1003;      // 2027
inline constexpr std::uint32_t WM_DROP_REQUEST = kUserMessageBase + 1010;    // 2034

// Codes of WM_BOARD_MODE; any other code is the mode register's value just read.
inline constexpr std::uint8_t kBoardModeMaster = 1;  // a status frame came in
inline constexpr std::uint8_t kBoardModeSlave = 2;   // status frames stopped coming

}  // namespace horalux::link
