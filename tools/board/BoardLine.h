#pragma once

#include <signal.h>

#include <cstddef>
#include <cstdint>
#include <span>

namespace horalux::board {

// The boards' end of the line as the server uses it: wait, read, write, close. The
// pseudo-terminal is one such line; another transport can stand behind the same server.
class BoardLine {
  public:
    enum class Wait {
        Ready,   // the program's bytes are there to read
        Quiet,   // the time passed or a signal came
        Failed,  // the line broke
    };

    virtual ~BoardLine() = default;

    // Waits up to `timeoutNs` for bytes from the program, or (when `forBytes` is false) only for
    // the time to pass or the line to break, with `signalMask` as the signal mask meanwhile. A
    // closed line just waits.
    virtual Wait wait(std::int64_t timeoutNs, bool forBytes, const sigset_t& signalMask) = 0;
    // Takes up to buffer.size() of the program's bytes; 0 when none are there.
    virtual std::size_t read(std::span<std::uint8_t> buffer) = 0;
    // Writes what the line takes now; returns the count (bytes nobody takes are lost, as on a
    // wire without a listener).
    virtual std::size_t write(std::span<const std::uint8_t> bytes) = 0;
    // Bytes written to the line that the program has not read yet.
    virtual std::size_t unread() const = 0;
    // Closes the line, as an unplugged adapter does.
    virtual void closeLine() = 0;
    // Run every tenth of a second while the line is open, for what keeps it usable.
    virtual void upkeep() {}
    // The speed the program (or a device server in front of the line) set, in bit/s; 0 when the
    // line has none.
    virtual std::uint32_t lineSpeed() const { return 0; }
};

}  // namespace horalux::board
