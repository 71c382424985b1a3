#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "platform/SystemClock.h"

namespace horalux::link {

// The board's line as the keeper uses it: one request at a time, each waited for.
class KeptLine {
  public:
    enum class Outcome {
        Done,
        NoAnswer,  // the board stayed silent; the line itself is fine
        Lost,      // the line went down, or the exchange was stopped
    };
    struct Reading {
        Outcome outcome = Outcome::Done;
        std::optional<platform::LocalDateTime> clock;  // Done and a valid date and time
    };

    virtual ~KeptLine() = default;
    // Opens the port and starts the exchange; the reason when it cannot (device and cause).
    virtual std::optional<std::string> open() = 0;
    virtual void close() = 0;
    // Writes the PC time into the clock of the board at `address` (of all boards at 255).
    virtual Outcome writeTime(std::uint8_t address) = 0;
    // Reads the clock of the board at `address` as it keeps it.
    virtual Reading readClock(std::uint8_t address) = 0;
    // Lets `ms` pass while serving the line; returns early once the line is lost or `stop` is
    // set. Also called with no port open.
    virtual void serve(std::uint32_t ms) = 0;
    virtual bool lost() const = 0;
};

}  // namespace horalux::link
