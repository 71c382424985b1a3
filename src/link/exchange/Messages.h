#pragma once

#include <cstdint>

namespace horalux::link {

// The one message the main side posts to the exchange thread's own queue: a failed request
// dropped. The exchange thread reaches the main side through ExchangeEvents, not by numbers.
inline constexpr std::uint32_t kUserMessageBase = 1024;
inline constexpr std::uint32_t WM_DROP_REQUEST = kUserMessageBase + 1010;  // 2034

// Codes of ExchangeEvents::onBoardMode; any other code is the mode register's value just read.
inline constexpr std::uint8_t kBoardModeMaster = 1;  // a status frame came in
inline constexpr std::uint8_t kBoardModeSlave = 2;   // status frames stopped coming

}  // namespace horalux::link
