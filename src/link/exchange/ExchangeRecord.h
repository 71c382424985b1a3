#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace horalux::link {

// One exchange-log record: each byte as two upper-case hex digits and a space, and the count.
struct TStrMsg {
    std::string Text;
    std::int32_t Count = 0;
};
TStrMsg makeExchangeRecord(std::span<const std::uint8_t> bytes);
// Rewrites `record` in place, so a reused record allocates nothing once its text has room.
void fillExchangeRecord(std::span<const std::uint8_t> bytes, TStrMsg& record);

}  // namespace horalux::link
