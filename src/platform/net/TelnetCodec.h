#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <span>
#include <vector>

namespace horalux::platform {

namespace telnet {
inline constexpr std::uint8_t kIac = 255;
inline constexpr std::uint8_t kDont = 254;
inline constexpr std::uint8_t kDo = 253;
inline constexpr std::uint8_t kWont = 252;
inline constexpr std::uint8_t kWill = 251;
inline constexpr std::uint8_t kSb = 250;
inline constexpr std::uint8_t kSe = 240;

inline constexpr std::uint8_t kBinary = 0;
inline constexpr std::uint8_t kEcho = 1;
inline constexpr std::uint8_t kSuppressGoAhead = 3;
inline constexpr std::uint8_t kComPort = 44;

// COM-PORT-OPTION commands as the client sends them; the server answers with the same code
// plus kServerOffset.
inline constexpr std::uint8_t kSetBaudRate = 1;
inline constexpr std::uint8_t kSetDataSize = 2;
inline constexpr std::uint8_t kSetParity = 3;
inline constexpr std::uint8_t kSetStopSize = 4;
inline constexpr std::uint8_t kPurgeData = 12;
inline constexpr std::uint8_t kServerOffset = 100;

inline constexpr std::uint8_t kParityNone = 1;
inline constexpr std::uint8_t kOneStopBit = 1;
inline constexpr std::uint8_t kPurgeBoth = 3;
}  // namespace telnet

// The server's answer to one COM-PORT-OPTION command: its code (the client's plus 100) and the
// value it reports.
struct ComPortReply {
    std::uint8_t command = 0;
    std::vector<std::uint8_t> value;
    friend bool operator==(const ComPortReply&, const ComPortReply&) = default;
};

// The client side of a Telnet connection with the COM-PORT-OPTION, as bytes in and bytes out:
// the line's bytes are escaped on the way out, and commands and subnegotiations are taken out of
// the stream on the way in, so only the line's own bytes reach whoever reads the port.
class TelnetCodec {
  public:
    // The line's bytes as they go on the connection: 0xFF doubled.
    static void escape(std::span<const std::uint8_t> data, std::vector<std::uint8_t>& out);
    // What the client offers at once: the COM-PORT-OPTION, binary both ways, no go-ahead.
    std::vector<std::uint8_t> greeting();
    // One COM-PORT-OPTION command with its value, escaped.
    static std::vector<std::uint8_t> comPortCommand(std::uint8_t command,
                                                    std::span<const std::uint8_t> value);
    static std::vector<std::uint8_t> setBaudRate(std::uint32_t bitsPerSecond);

    // Takes bytes from the server: the line's bytes are appended to `data`, the answers owed to
    // the server's option requests to `reply` (to be sent back), and COM-PORT-OPTION answers are
    // kept for takeComPortReply.
    void decode(std::span<const std::uint8_t> in, std::vector<std::uint8_t>& data,
                std::vector<std::uint8_t>& reply);
    // The oldest COM-PORT-OPTION answer not taken yet; false when there is none.
    bool takeComPortReply(ComPortReply& out);

  private:
    enum class State { Data, Iac, Option, Sub, SubIac };
    void negotiate(std::uint8_t verb, std::uint8_t option, std::vector<std::uint8_t>& reply);
    void endSubnegotiation();

    State state_ = State::Data;
    std::uint8_t verb_ = 0;
    std::vector<std::uint8_t> sub_;
    std::deque<ComPortReply> replies_;
    // Options enabled or asked for, on our side (WILL) and on the server's (DO): an answer that
    // only confirms them needs no reply, which keeps the two sides from answering forever.
    std::array<bool, 256> ours_{};
    std::array<bool, 256> theirs_{};
};

}  // namespace horalux::platform
