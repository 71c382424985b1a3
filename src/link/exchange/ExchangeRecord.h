#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "link/wire/Line.h"

namespace horalux::link {

// A record whose local time is not known (no clock was given to stamp it).
inline constexpr std::int32_t kNoTime = -1;

// One exchange-log record: each byte as two upper-case hex digits and a space, and the count;
// which way the bytes went, when, and what they meant.
struct TStrMsg {
    std::string Text;
    std::int32_t Count = 0;
    LogDirection Direction = LogDirection::Read;
    // The exchange thread's tick when it read or wrote the bytes.
    std::uint32_t Tick = 0;
    // Local time of day in milliseconds of that moment, or kNoTime.
    std::int32_t TimeMs = kNoTime;
    // For the bytes that complete a frame: what it asks or what was taken from it (UTF-8).
    std::string Meaning;
};

// What the exchange thread hands over for one record.
struct ExchangeBytes {
    LogDirection direction = LogDirection::Read;
    std::uint32_t tick = 0;
    std::span<const std::uint8_t> bytes;
    std::string_view meaning;
};

TStrMsg makeExchangeRecord(const ExchangeBytes& bytes);
// A read of these bytes with no time and no meaning.
TStrMsg makeExchangeRecord(std::span<const std::uint8_t> bytes);
// Rewrites `record` in place (all but TimeMs), so a reused record allocates nothing once its
// texts have room.
void fillExchangeRecord(const ExchangeBytes& bytes, TStrMsg& record);

// Which of the optional parts a log line shows before and after "count bytes".
struct LogForm {
    bool time = false;       // "14:03:27.512 "
    bool direction = false;  // "> " written, "< " read
    bool meaning = false;    // "| read register 76" after the bytes, when there is a meaning

    friend bool operator==(const LogForm&, const LogForm&) = default;
};

// Appends one log line: [time ][direction ]count bytes[| meaning]. `countAndBytes` is the plain
// line ("3 5A 01 FF "); with every part off the line is exactly that.
void appendLogLine(std::string_view countAndBytes, LogDirection direction, std::int32_t timeMs,
                   std::string_view meaning, LogForm form, std::string& out);
std::string formatLogLine(const TStrMsg& record, LogForm form);
// "14:03:27.512"; "--:--:--.---" for kNoTime.
void appendTimeOfDay(std::int32_t timeMs, std::string& out);

}  // namespace horalux::link
