#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "link/wire/Frame.h"

namespace horalux::link {

// One request frame as a board receives it. In the block form param1/param2 are the block
// length's high and low bytes.
struct Request {
    std::uint8_t address = 0;
    std::uint8_t command = 0;
    std::uint8_t param1 = 0;
    std::uint8_t param2 = 0;
    bool withBlock = false;
    std::vector<std::uint8_t> data;

    friend bool operator==(const Request&, const Request&) = default;
};

// Finds request frames in a byte stream that may be cut anywhere and may carry noise: the
// plain form (00 E0 00 addr cmd p1 p2 ck ck) and the block form, which has one more 00 before
// the start byte and is followed by its data block and a short sum. Frames whose header or
// block checksum fails are skipped.
class RequestParser {
  public:
    explicit RequestParser(std::size_t maxBlock = kMaxRequestBlock);

    // Takes one byte; returns the request this byte completes, if any.
    std::optional<Request> push(std::uint8_t byte);

    // Forgets a partly received frame, e.g. when the line went quiet in the middle of a block.
    void reset();
    // True while the data block of an accepted header is still being collected.
    bool inBlock() const { return collecting_; }
    // Frames skipped because their block checksum failed or their block was too long.
    std::size_t rejectedBlocks() const { return rejectedBlocks_; }

  private:
    // Two bytes before the start byte, the start byte and the seven header bytes behind it.
    static constexpr std::size_t kWindow = 10;

    bool windowHoldsHeader() const;
    void clearWindow();

    std::size_t maxBlock_;
    std::array<std::uint8_t, kWindow> window_{};
    std::size_t filled_ = 0;
    bool collecting_ = false;
    std::size_t blockLength_ = 0;
    Request pending_;
    std::size_t rejectedBlocks_ = 0;
};

}  // namespace horalux::link
