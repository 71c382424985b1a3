#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "link/wire/Line.h"
#include "settings/LogItems.h"

namespace horalux::link {

// A record whose local time is not known (no clock was given to stamp it).
inline constexpr std::int32_t kNoTime = -1;

// What a record says of its bytes besides the bytes and their meaning. It is made where the
// bytes are read or written and handed on whole to the log line, so a new column is a field
// here, the part of the line it gives (appendLogLine) and its row of kLogItems.
struct RecordHead {
    LogDirection direction = LogDirection::Read;
    // The exchange thread's tick when it read or wrote the bytes.
    std::uint32_t tick = 0;
    // Local time of day in milliseconds of that moment, or kNoTime; the main side reads it from
    // the tick.
    std::int32_t timeMs = kNoTime;
};

// One exchange-log record: each byte as two upper-case hex digits and a space, and the count;
// its head, and what the bytes meant.
struct TStrMsg {
    std::string Text;
    std::int32_t Count = 0;
    RecordHead Head;
    // For the bytes that complete a frame: what it asks or what was taken from it (UTF-8).
    std::string Meaning;
};

// What the exchange thread hands over for one record.
struct ExchangeBytes {
    RecordHead head;
    std::span<const std::uint8_t> bytes;
    std::string_view meaning;
};

TStrMsg makeExchangeRecord(const ExchangeBytes& bytes);
// A read of these bytes with no time and no meaning.
TStrMsg makeExchangeRecord(std::span<const std::uint8_t> bytes);
// Rewrites `record` in place, so a reused record allocates nothing once its texts have room.
void fillExchangeRecord(const ExchangeBytes& bytes, TStrMsg& record);

using settings::LogForm;

// Appends one log line: [time ][direction ]count bytes[| meaning]. `countAndBytes` is the plain
// line ("3 5A 01 FF "); with every part off the line is exactly that.
void appendLogLine(std::string_view countAndBytes, const RecordHead& head, std::string_view meaning,
                   LogForm form, std::string& out);
std::string formatLogLine(const TStrMsg& record, LogForm form);
// "14:03:27.512"; "--:--:--.---" for kNoTime.
void appendTimeOfDay(std::int32_t timeMs, std::string& out);

}  // namespace horalux::link
