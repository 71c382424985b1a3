#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>

#include "link/wire/Commands.h"
#include "link/wire/Frame.h"
#include "link/wire/Line.h"

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
    GaveWay,  // the exchange had work due; the window is kept for the next hunt
};

struct HuntResult {
    HuntStatus status = HuntStatus::Quiet;
    ReplyHeader header;
};

inline constexpr int kQuietPollsEndingHunt = 10;

// A hunt that gave way: its window and empty polls, carried on by the next hunt, so that a
// header split across the two is still found.
struct HuntWindow {
    std::array<std::uint8_t, kReplyHeaderLength> bytes{};
    std::size_t filled = 0;
    int quietPolls = 0;
    bool suspended = false;
};

// Slides an 8-byte window over the polled bytes until it holds a valid reply header or ten
// polls came back empty (not necessarily in a row). A waking byte of 0xE0 opens the window.
// On a line that never goes quiet the hunt would not end by itself: with `window` and
// `giveWay` it also ends, before each further poll, when giveWay() says the exchange has a
// request to serve; the next hunt with the same window then carries on where this one stopped
// (the waking byte is simply the next byte of the stream).
HuntResult HuntReplyHeader(Line& line, std::uint8_t wakingByte, HuntWindow* window = nullptr,
                           const std::function<bool()>& giveWay = {});

// Room for the longest data block (all user fields) and the checksum byte.
using ReplyData = std::array<std::uint8_t, kMaxUserFieldBytes + 1>;

// Reads n data bytes and their checksum in one read into the cleared buffer; on a checksum
// failure the block and its checksum read as zeros. Returns whether the checksum matched. A
// length beyond the buffer is cut to it (such a block fails its checksum). Throws PortError /
// DeviceGone when the read fails.
bool ReadReplyData(Line& line, std::size_t n, ReplyData& buffer);

}  // namespace horalux::link
