#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>

#include "link/Frame.h"
#include "link/Line.h"

namespace horalux::link {

// Builds the frame the data calls for (a block when data is given), writes it in one write,
// logs it and performs the post-write wait.
void SendFrame(Line& line, RequestFrameBuilder& builder, std::uint8_t address, std::uint8_t command,
               std::uint8_t param1, std::uint8_t param2,
               std::optional<std::span<const std::uint8_t>> data = std::nullopt);

enum class HuntStatus {
    Found,    // header holds bytes 1..5 of a valid reply header
    Quiet,    // ten polls delivered nothing
    Gone,     // the device disappeared
    Stopped,  // the exchange was asked to stop
};

struct HuntResult {
    HuntStatus status = HuntStatus::Quiet;
    ReplyHeader header;
};

inline constexpr int kQuietPollsEndingHunt = 10;

// Slides an 8-byte window over the polled bytes until it holds a valid reply header or ten
// polls came back empty (not necessarily in a row). A waking byte of 0xE0 opens the window.
HuntResult HuntReplyHeader(Line& line, std::uint8_t wakingByte);

// Room for 255 data bytes and the checksum byte.
using ReplyData = std::array<std::uint8_t, 256>;

// Reads n data bytes and their checksum in one read into the cleared buffer; on a checksum
// failure the block and its checksum read as zeros. Returns whether the checksum matched.
// Throws PortError / DeviceGone when the read fails.
bool ReadReplyData(Line& line, std::uint8_t n, ReplyData& buffer);

}  // namespace horalux::link
