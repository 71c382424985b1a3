#include "link/scan/BoardScan.h"

#include <bitset>
#include <cmath>
#include <cstdio>
#include <deque>

#include "config/RegisterMap.h"
#include "link/wire/Commands.h"
#include "link/wire/FrameIo.h"
#include "link/wire/Line.h"
#include "link/wire/PortAccess.h"
#include "timesync/BoardTime.h"
#include "timesync/CivilTime.h"

namespace horalux::link {

namespace {

// The mode and clock reads of a board that answered: it is there, so give it the tries of an
// ordinary request.
constexpr int kFollowUpTries = 3;

// One run of a scan: the line, the header window and what was found.
class ScanRun {
  public:
    ScanRun(platform::SerialPort& port, platform::Tick& tick, platform::SystemClock& clock,
            const ScanOptions& options, const std::stop_token& stop, const ScanCallbacks& callbacks)
        : port_(port),
          tick_(tick),
          clock_(clock),
          options_(options),
          stop_(stop),
          callbacks_(callbacks),
          line_(port, tick, options.delayTimeMs) {
        line_.setStopToken(stop);
    }

    ScanResult run();

  private:
    struct Awaited {
        std::uint8_t address = 0;
        std::uint8_t code = 0;
        bool byRegister = false;  // a register read: the reply names the register too
        std::uint8_t reg = 0;
    };

    std::size_t probesPerSpeed() const {
        return static_cast<std::size_t>(options_.lastAddress - options_.firstAddress + 1);
    }
    void sweep(std::size_t speedIndex);
    void report(std::size_t speedIndex, std::uint8_t address);
    // Reads the line for up to waitMs; true as soon as the awaited reply came.
    bool listen(std::uint32_t waitMs);
    void take(const ReplyHeader& header);
    // Sends a request to a board that answered and waits for its reply, with a few tries.
    bool ask(std::uint8_t address, std::uint8_t command, std::uint8_t param1, std::uint8_t param2);
    void followUpCredited();

    platform::SerialPort& port_;
    platform::Tick& tick_;
    platform::SystemClock& clock_;
    const ScanOptions& options_;
    const std::stop_token& stop_;
    const ScanCallbacks& callbacks_;
    Line line_;
    RequestFrameBuilder builder_;
    std::array<std::uint8_t, kReplyHeaderLength> window_{};
    std::size_t filled_ = 0;
    ReplyData data_{};

    std::uint32_t speed_ = 0;
    std::bitset<256> probed_;    // at this speed
    std::bitset<256> credited_;  // answered the probe at this speed
    std::deque<std::uint8_t> toFollow_;
    std::optional<Awaited> awaited_;
    bool answered_ = false;
    ReplyHeader reply_;
    std::size_t probesDone_ = 0;
    std::uint32_t lastProbeAt_ = 0;  // tick when the last probe at this speed was sent
    ScanResult result_;
};

ScanResult ScanRun::run() {
    try {
        for (std::size_t i = 0; i < options_.speeds.size() && !stop_.stop_requested(); ++i) {
            sweep(i);
        }
    } catch (const platform::PortError& e) {
        result_.failure = e.what();
    }
    result_.stopped = stop_.stop_requested() && result_.failure.empty();
    return std::move(result_);
}

void ScanRun::sweep(std::size_t speedIndex) {
    speed_ = options_.speeds[speedIndex];
    SetPortSpeed(port_, speed_);
    // What came at the speed before is no reply to anything sent at this one.
    PurgePort(port_);
    filled_ = 0;
    probed_.reset();
    credited_.reset();
    for (unsigned a = options_.firstAddress; a <= options_.lastAddress; ++a) {
        const auto address = static_cast<std::uint8_t>(a);
        if (stop_.stop_requested()) {
            return;
        }
        report(speedIndex, address);
        if (stop_.stop_requested()) {
            return;  // asked from the report itself: not one more frame
        }
        lastProbeAt_ = tick_.nowMs();
        SendFrame(line_, builder_, address, cmd::ReadRegister, config::kAddressRegister, 0);
        probed_.set(address);
        awaited_ = Awaited{address, cmd::ReadRegister, true, config::kAddressRegister};
        listen(replyWaitMs(speed_));
        ++probesDone_;
        followUpCredited();
    }
    awaited_.reset();
    // Every earlier probe has had the time of the later ones; the last one waits out the rest of
    // its time-out here (follow-ups in between listen too, and count).
    const std::uint32_t sinceLast = platform::elapsedMs(lastProbeAt_, tick_.nowMs());
    if (sinceLast < kScanReplyTimeoutMs) {
        listen(kScanReplyTimeoutMs - sinceLast);
    }
    followUpCredited();
}

void ScanRun::report(std::size_t speedIndex, std::uint8_t address) {
    if (!callbacks_.progress) {
        return;
    }
    double left = 0;
    const std::size_t doneHere = probesDone_ - speedIndex * probesPerSpeed();
    for (std::size_t i = speedIndex; i < options_.speeds.size(); ++i) {
        const std::size_t probes = probesPerSpeed() - (i == speedIndex ? doneHere : 0);
        left +=
            static_cast<double>(probes) * probeBoundMs(options_.speeds[i], options_.delayTimeMs);
    }
    callbacks_.progress({speed_, address, result_.boards.size(), probesDone_,
                         probesPerSpeed() * options_.speeds.size(),
                         static_cast<std::uint32_t>(left)});
}

bool ScanRun::listen(std::uint32_t waitMs) {
    answered_ = false;
    const std::uint32_t t0 = tick_.nowMs();
    for (;;) {
        if (stop_.stop_requested()) {
            return false;
        }
        const std::uint32_t elapsed = platform::elapsedMs(t0, tick_.nowMs());
        if (elapsed > waitMs) {
            return false;
        }
        const Line::Poll poll = line_.pollByteWithin(waitMs - elapsed);
        if (poll.status == Line::PollStatus::Gone) {
            throw platform::DeviceGone();
        }
        if (poll.status == Line::PollStatus::Failed) {
            throw platform::PortError(std::string(kErrorReadingPort));
        }
        if (poll.status == Line::PollStatus::Empty) {
            if (elapsed == waitMs) {
                return false;  // the last wait of the window came back empty
            }
            continue;
        }
        if (filled_ == window_.size()) {
            std::copy(window_.begin() + 1, window_.end(), window_.begin());
            window_.back() = poll.byte;
        } else {
            window_[filled_++] = poll.byte;
        }
        if (filled_ == window_.size() && isReplyHeader(window_)) {
            filled_ = 0;
            const ReplyHeader header{window_[1], window_[2], window_[3], window_[4], window_[5]};
            if (carriesDataBlock(header.code)) {
                // Read whole, so no header is looked for among its bytes.
                // The scan never asks for the user fields, so no length runs past byte 5.
                ReadReplyData(line_,
                              replyDataLength(header.code, header.param1, header.param2, false),
                              data_);
            }
            take(header);
            if (answered_) {
                return true;
            }
        }
    }
}

void ScanRun::take(const ReplyHeader& header) {
    if (header.code == cmd::ReadRegister && header.param1 == config::kAddressRegister &&
        probed_.test(header.address) && !credited_.test(header.address)) {
        credited_.set(header.address);
        toFollow_.push_back(header.address);
    }
    if (awaited_ && header.address == awaited_->address && header.code == awaited_->code &&
        (!awaited_->byRegister || header.param1 == awaited_->reg)) {
        answered_ = true;
        reply_ = header;
    }
}

bool ScanRun::ask(std::uint8_t address, std::uint8_t command, std::uint8_t param1,
                  std::uint8_t param2) {
    for (int t = 0; t < kFollowUpTries && !stop_.stop_requested(); ++t) {
        SendFrame(line_, builder_, address, command, param1, param2);
        awaited_ = Awaited{address, command, command == cmd::ReadRegister, param1};
        if (listen(kScanReplyTimeoutMs)) {
            awaited_.reset();
            return true;
        }
    }
    awaited_.reset();
    return false;
}

void ScanRun::followUpCredited() {
    // A board credited while another is asked is asked in its turn.
    while (!toFollow_.empty() && !stop_.stop_requested()) {
        const std::uint8_t address = toFollow_.front();
        toFollow_.pop_front();
        FoundBoard board{address, speed_, std::nullopt, std::nullopt};
        const bool modeRead = ask(address, cmd::ReadRegister, config::kModeFlagsRegister, 0);
        if (modeRead) {
            board.modeFlags = reply_.param2;
        }
        const bool clockRead = ask(address, cmd::ReadClock, 0, kClockBlockLength);
        if (clockRead) {
            const auto time = timesync::decodeBoardTimePayload(
                std::span<const std::uint8_t>(data_.data(), kClockBlockLength));
            if (time) {
                // The board keeps whole seconds, so the PC clock is taken to the second too.
                platform::LocalDateTime pc = clock_.now();
                pc.millisecond = 0;
                board.clockDifferenceS =
                    (timesync::epochMsOf(*time) - timesync::epochMsOf(pc)) / 1000;
            }
        }
        if (!modeRead && !clockRead) {
            // One register-76 reply "from" an address is no board: an echo or a misbehaving
            // board sends those too. A board that is there answers one of its reads.
            continue;
        }
        result_.boards.push_back(board);
        if (callbacks_.found) {
            callbacks_.found(board);
        }
    }
}

}  // namespace

bool FoundBoard::master() const {
    return modeFlags && (*modeFlags & config::kMasterBit) != 0;
}

std::uint32_t replyWaitMs(std::uint32_t speed) {
    // One millisecond more for the tick's resolution.
    return static_cast<std::uint32_t>(std::ceil(frameWireMs(kReplyHeaderLength, speed))) + 1;
}

double probeBoundMs(std::uint32_t speed, std::uint32_t delayTimeMs) {
    return frameWireMs(kPlainFrameLength, speed) + postWriteWaitMs(delayTimeMs, speed) +
           replyWaitMs(speed);
}

std::string boardAddressText(std::uint8_t address) {
    char text[16];
    std::snprintf(text, sizeof text, "$%02X/%u", static_cast<unsigned>(address),
                  static_cast<unsigned>(address));
    return text;
}

BoardScan::BoardScan(platform::SerialPort& port, platform::Tick& tick, platform::SystemClock& clock,
                     ScanOptions options)
    : port_(port), tick_(tick), clock_(clock), options_(std::move(options)) {}

ScanResult BoardScan::run(const std::stop_token& stop, const ScanCallbacks& callbacks) {
    if (options_.firstAddress > options_.lastAddress) {
        return {};
    }
    ScanRun run(port_, tick_, clock_, options_, stop, callbacks);
    return run.run();
}

}  // namespace horalux::link
