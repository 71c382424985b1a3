#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace horalux::link {

enum class SumForm { Folded, Short };

// Sums bytes[first..last] (nothing when last < first) modulo 65536 and stores the folded form
// (two bytes: high + low, then low) at bytes[position], or the short form (low byte) there.
void FrameSum(std::span<std::uint8_t> bytes, std::size_t first, std::size_t last, SumForm form,
              std::size_t position);

// The 16-bit sum of a run of bytes and its two checksum forms.
std::uint16_t byteSum(std::span<const std::uint8_t> bytes);
std::array<std::uint8_t, 2> foldedSum(std::span<const std::uint8_t> bytes);
std::uint8_t shortSum(std::span<const std::uint8_t> bytes);

inline constexpr std::uint8_t kPreambleByte = 0x55;
inline constexpr std::size_t kPreambleLength = 100;
inline constexpr std::uint8_t kStartByte = 0xE0;
inline constexpr std::size_t kPlainFrameLength = 109;
inline constexpr std::size_t kBlockFrameOverhead = 111;
inline constexpr std::size_t kReplyHeaderLength = 8;
inline constexpr std::size_t kTransmitBufferSize = 65536;
inline constexpr std::size_t kMaxRequestBlock = kTransmitBufferSize - kBlockFrameOverhead;

// Bytes 1..5 of an accepted reply header.
struct ReplyHeader {
    std::uint8_t address = 0;
    std::uint8_t byte2 = 0;
    std::uint8_t code = 0;
    std::uint8_t param1 = 0;
    std::uint8_t param2 = 0;

    friend bool operator==(const ReplyHeader&, const ReplyHeader&) = default;
};

// Builds request frames in one reusable transmit buffer, so sending allocates nothing.
class RequestFrameBuilder {
  public:
    // A frame without data block (109 bytes).
    std::span<const std::uint8_t> plain(std::uint8_t address, std::uint8_t command,
                                        std::uint8_t param1, std::uint8_t param2);
    // A frame carrying `data` (111 + n bytes); param1/param2 give n = data.size(), which must
    // not exceed kMaxRequestBlock.
    std::span<const std::uint8_t> withBlock(std::uint8_t address, std::uint8_t command,
                                            std::span<const std::uint8_t> data);

  private:
    std::array<std::uint8_t, kTransmitBufferSize> buffer_{};
};

// The 8-byte header a board answers with, as the stand-in board and the tests send it.
std::array<std::uint8_t, kReplyHeaderLength> makeReplyHeader(const ReplyHeader& header);

// A whole reply: the header with its length field set to the block length (param2, and param1
// as the high byte for the user fields), the data block and its short sum. Only the user-field
// block may be longer than 255 bytes.
std::vector<std::uint8_t> makeReplyFrame(ReplyHeader header, std::span<const std::uint8_t> data);

// Checks an 8-byte window: start byte and folded checksum over bytes 0..5.
bool isReplyHeader(std::span<const std::uint8_t, kReplyHeaderLength> window);

}  // namespace horalux::link
