#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <utility>

#include "link/exchange/BoardState.h"
#include "link/exchange/RequestRing.h"
#include "link/exchange/TextLayouts.h"
#include "link/exchange/WorkerSide.h"
#include "link/wire/FrameIo.h"
#include "link/wire/Line.h"

namespace horalux::link {

enum class DecodeOutcome {
    NoFrame,   // the hunt ended without a header
    Decoded,   // a frame was taken in (and completed the current request when it matched)
    Stopped,   // the worker was told to stop
    LinkLost,  // the device is gone or a data block could not be read
};

// Turns the bytes the exchange thread's poll delivers into decoded board state. Runs on the
// exchange thread only. Its buffers are members and the texts are rewritten in place, so in
// steady state a call allocates nothing but the exchange log's words for a decoded frame: every
// text is cleared and refilled within the capacity it already has (the longest is a user field
// of 255 digits with points).
class ReplyDecoder {
  public:
    ReplyDecoder(Line& line, RequestRing& ring, BoardState& board, WorkerSide& main)
        : line_(line), ring_(ring), board_(board), main_(main) {}

    // Hunts a reply header starting with the waking byte, completes the current request when the
    // reply answers it, reads the data block of the data-carrying codes, decodes the frame and
    // checks the port's error state.
    DecodeOutcome decodeIncoming(std::uint8_t wakingByte);
    // Asked during a hunt whether the exchange has a request to serve now; when it has, the
    // hunt gives way and the next call carries it on.
    void setGiveWay(std::function<bool()> giveWay) { giveWay_ = std::move(giveWay); }
    // Whether a status frame was decoded since the last call.
    bool takeStatusFrame() { return std::exchange(statusFrame_, false); }

  private:
    // Data bytes past the block's length read as 0.
    std::uint8_t at(std::size_t offset) const { return offset < length_ ? data_[offset] : 0; }
    // Whether the pending request this reply answers is a user-field read of more than 255
    // positions.
    bool askedForOver255Positions(const ReplyHeader& header);
    void completeCurrent(const ReplyHeader& header);
    void decode(const ReplyHeader& header);
    // What the exchange log says the decoded frame meant.
    std::string describe(const ReplyHeader& header) const;
    // Each frame goes to the entry of the board that sent it (header byte 1).
    void decodeStatus(std::uint8_t address);
    void storeReadings(Readings& measured) const;
    void decodeLayout(std::uint8_t address);
    void decodeUserValues(std::uint8_t address);
    void decodeClock(std::uint8_t address);
    void decodeRegister(std::uint8_t address, std::uint8_t number, std::uint8_t value);
    void decodeSegments(std::size_t from, std::size_t count, std::string& out) const;

    Line& line_;
    RequestRing& ring_;
    BoardState& board_;
    WorkerSide& main_;
    ReplyData data_{};
    std::size_t length_ = 0;
    LayoutValues values_;
    bool statusFrame_ = false;
    std::optional<platform::LocalDateTime> clockRead_;  // the last clock reply, zone applied
    HuntWindow hunt_;
    std::function<bool()> giveWay_;
};

}  // namespace horalux::link
