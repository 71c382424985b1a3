#pragma once

#include <cstddef>
#include <cstdint>

namespace horalux::link {

// Command and reply codes on the line.
namespace cmd {
inline constexpr std::uint8_t ReadRegister = 0x74;     // "t"
inline constexpr std::uint8_t WriteRegister = 0x72;    // "r"
inline constexpr std::uint8_t WriteClock = 0x70;       // "p"
inline constexpr std::uint8_t ReadClock = 0x73;        // "s"
inline constexpr std::uint8_t ReadUserFields = 0x60;   // grave accent
inline constexpr std::uint8_t WriteUserFields = 0x00;  // no letter
inline constexpr std::uint8_t StatusFrame = 0x52;      // "R", sent unasked by a master
inline constexpr std::uint8_t LayoutFrame = 0x53;      // "S", sent unasked
inline constexpr std::uint8_t DroppedBlock = 0x81;     // data block read and dropped
inline constexpr std::uint8_t Ignored = 0x28;          // "(", accepted and ignored
}  // namespace cmd

// Length of the clock block of "p" and "s".
inline constexpr std::uint8_t kClockBlockLength = 7;

// Address that reaches every board; requests to it are sent once and await no reply.
inline constexpr std::uint8_t kAllBoards = 255;

// Whether a reply with this code is followed by a data block.
constexpr bool carriesDataBlock(std::uint8_t replyCode) {
    return replyCode == cmd::StatusFrame || replyCode == cmd::LayoutFrame ||
           replyCode == cmd::ReadUserFields || replyCode == cmd::ReadClock ||
           replyCode == cmd::DroppedBlock;
}

// The longest user-field block: 32 fields of up to 255 digit positions.
inline constexpr std::size_t kMaxUserFieldBytes = 32 * 255;

// The data length a data-carrying reply announces: byte 5. A user-field reply to a request that
// asked for more than 255 positions (its param1 not 0) carries the high byte in byte 4 as well;
// any other reply's byte 4 is no part of the length, whatever a board puts there.
constexpr std::size_t replyDataLength(std::uint8_t replyCode, std::uint8_t param1,
                                      std::uint8_t param2, bool askedOver255) {
    return replyCode == cmd::ReadUserFields && askedOver255 ? param1 * 256U + param2 : param2;
}

}  // namespace horalux::link
