#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <stop_token>

#include "platform/SerialPort.h"
#include "platform/Tick.h"

namespace horalux::link {

// Which way the bytes of one exchange-log record went.
enum class LogDirection : std::uint8_t { Written, Read };

// The exchange thread's view of the open port: one-byte polls, block reads and frame writes,
// with the exchange log, the post-write wait and the stop request applied in one place.
class Line {
  public:
    // How long a busy line is left to gather bytes before the next read.
    static constexpr std::uint32_t kGatherMs = 3;
    // A read that brings this many bytes or more found a backlog: the next one follows at once.
    static constexpr std::size_t kBacklogBytes = 64;

    enum class PollStatus { Byte, Empty, Failed, Gone };
    struct Poll {
        PollStatus status = PollStatus::Empty;
        std::uint8_t byte = 0;
    };

    Line(platform::SerialPort& port, platform::Tick& tick, std::uint32_t delayTimeMs)
        : port_(port), tick_(tick), delayTimeMs_(delayTimeMs) {}

    // Receives the bytes of every successful poll (also an empty one), every block read and
    // every frame written.
    using LogSink = std::function<void(LogDirection, std::span<const std::uint8_t>)>;
    void setLog(LogSink log) { log_ = std::move(log); }
    // Told about a failed one-byte poll ("Error reading port").
    void setPollFailureHandler(std::function<void()> handler) { pollFailed_ = std::move(handler); }
    // Runs the thread's own messages during the post-write wait.
    void setDispatch(std::function<void()> dispatch) { dispatch_ = std::move(dispatch); }
    void setStopToken(std::stop_token stop) { stop_ = std::move(stop); }

    // One byte, or none after 80 ms. Served from what the last read of the port brought in;
    // only when that is used up is the port read again, taking all that has arrived (after a
    // short pause when bytes keep coming unasked).
    Poll pollByte();
    // The same, waiting at most `waitMs` for a byte when none is left from the last read (0:
    // only what has arrived), for a wait shorter than the byte time-out.
    Poll pollByteWithin(std::uint32_t waitMs);
    // Reads up to buffer.size() bytes within buffer.size() x 80 ms; returns the count. Throws
    // PortError ("Error reading port") when the read fails and DeviceGone when the device is
    // gone.
    std::size_t readBlock(std::span<std::uint8_t> buffer);
    // Writes the frame in one write, logs it, waits until it has left the port and then waits
    // DelayTime + 100000 / speed ms. A stop request ends both waits.
    void sendFrame(std::span<const std::uint8_t> frame);

    bool stopRequested() const { return stop_.stop_requested(); }
    const std::stop_token& stopToken() const { return stop_; }
    platform::SerialPort& port() { return port_; }
    platform::Tick& tick() { return tick_; }
    std::uint32_t delayTimeMs() const { return delayTimeMs_; }

  private:
    // pollByte with the port's own byte time-out (nothing) or a shorter wait.
    Poll takeByte(std::optional<std::uint32_t> waitMs);
    void log(LogDirection direction, std::span<const std::uint8_t> bytes) {
        if (log_) {
            log_(direction, bytes);
        }
    }

    // Until the frame written at t0 has left the port: its wire time has passed and the
    // driver's output queue is empty.
    void waitUntilSent(std::uint32_t t0, std::size_t frameLength);

    platform::SerialPort& port_;
    platform::Tick& tick_;
    std::uint32_t delayTimeMs_;
    std::array<std::uint8_t, 1024> received_{};  // bytes of the last read not yet polled
    std::size_t receivedAt_ = 0;
    std::size_t receivedEnd_ = 0;
    // The last read brought a few bytes, no backlog, and no frame was written since.
    bool streaming_ = false;
    LogSink log_;
    std::function<void()> pollFailed_;
    std::function<void()> dispatch_;
    std::stop_token stop_;
};

}  // namespace horalux::link
