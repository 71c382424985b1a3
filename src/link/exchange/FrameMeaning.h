#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "link/wire/Frame.h"
#include "platform/SystemClock.h"

namespace horalux::link {

// What the frames on the line mean, as the exchange log's "Расшифровка" shows them: for a
// request the command and its parameters, for a reply what the decoder took from it.

// A request frame as written ("чтение регистра 76", "запись регистра 67 := 5"); empty when the
// bytes hold no whole request frame.
std::string describeRequestFrame(std::span<const std::uint8_t> frame);
std::string describeCommand(std::uint8_t command, std::uint8_t param1, std::uint8_t param2,
                            std::span<const std::uint8_t> data);

// A request as the companion's messages name it: "register read 77 (74 4D 00) to board 1".
// The same table of commands as describeCommand, in English.
std::string describeRequest(std::uint8_t address, std::uint8_t command, std::uint8_t param1,
                            std::uint8_t param2);
// The same in the windows' words, with the log's names: "запись часов (70 00 07), табло 9".
std::string describeRequestInRussian(std::uint8_t address, std::uint8_t command,
                                     std::uint8_t param1, std::uint8_t param2);

// A reply without a data block: a register value, an acknowledgement, an ignored code.
std::string describeReplyHeader(const ReplyHeader& header);
// A status frame; `mainText` is the main field's text the decoder made of it.
std::string describeStatusFrame(std::string_view mainText);
// A layout frame announcing `fields` user fields.
std::string describeLayoutFrame(std::size_t fields);
// The user-field values as the decoder read them.
std::string describeUserFields(std::span<const std::string> texts);
// A clock reply: the board's time shifted by its zone, or nothing when the block was no time.
std::string describeClockReply(const std::optional<platform::LocalDateTime>& time);
// A data block that failed its checksum is decoded as zeros: said before what was taken.
inline constexpr std::string_view kBadBlockNote =
    "контрольная сумма блока неверна, он прочитан как нули; ";

}  // namespace horalux::link
