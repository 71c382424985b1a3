#include "board/BoardServer.h"

#include <algorithm>
#include <array>
#include <cstdio>

#include "link/wire/Commands.h"
#include "link/wire/HexText.h"
#include "platform/PosixSystemClock.h"
#include "platform/Tick.h"
#include "timesync/BoardTime.h"
#include "timesync/CivilTime.h"

namespace horalux::board {

namespace {

constexpr std::int64_t kNsPerMs = 1'000'000;
constexpr std::int64_t kStatusPeriodNs = 1000 * kNsPerMs;
constexpr std::uint32_t kLayoutEveryStatus = 3;  // an "S" frame with every third "R"
constexpr std::int64_t kExclusiveCheckNs = 100 * kNsPerMs;
// A frame whose bytes stop coming for this long is abandoned.
constexpr std::int64_t kQuietResetNs = 1000 * kNsPerMs;
constexpr std::int64_t kExitAfterHangupNs = 1000 * kNsPerMs;
// Closing the line discards what the program has not read; the last reply gets this long.
constexpr std::int64_t kHangupGraceNs = 2000 * kNsPerMs;
constexpr std::int64_t kSettleNs = 100 * kNsPerMs;

std::string hex(std::span<const std::uint8_t> bytes) {
    std::string out;
    link::appendHexBytes(bytes, out);
    if (!out.empty()) {
        out.pop_back();
    }
    return out;
}

std::string describe(const link::Request& r) {
    char text[96];
    const char letter = r.command >= 0x20 && r.command < 0x7F ? static_cast<char>(r.command) : '?';
    std::snprintf(text, sizeof text, "request to %u: command %02X '%c' params %02X %02X",
                  static_cast<unsigned>(r.address), r.command, letter, r.param1, r.param2);
    std::string out = text;
    if (r.withBlock) {
        out += ", data [" + hex(r.data) + "]";
    }
    return out;
}

}  // namespace

BoardServer::BoardServer(const BoardOptions& options, std::vector<Board> boards, BoardLine& line,
                         std::ostream& log)
    : options_(options),
      boards_(std::move(boards)),
      line_(line),
      log_(log),
      faults_(options.dropFirst, options.corruptEvery, options.hangupAfter),
      wire_(options.speed, options.lineTiming),
      random_(options.seed) {
    for (const Board& b : boards_) {
        muted_.push_back(std::find(options.muted.begin(), options.muted.end(), b.address()) !=
                         options.muted.end());
        repliesBeforeMute_.push_back(options.muteAfter);
    }
}

std::int64_t BoardServer::nowNs() {
    return platform::monotonicNs();
}

std::uint32_t BoardServer::tickMs(std::int64_t ns) {
    return static_cast<std::uint32_t>((ns / kNsPerMs) & 0xFFFFFFFF);
}

void BoardServer::run(const volatile std::sig_atomic_t& stop, const sigset_t& waitMask) {
    const std::int64_t start = nowNs();
    nextStatusNs_ = start;
    nextNoiseNs_ = start + options_.noiseMs * kNsPerMs;
    while (stop == 0) {
        std::int64_t now = nowNs();
        if (exitAtNs_ >= 0) {
            if (now >= exitAtNs_) {
                return;
            }
        } else {
            if (now >= nextStatusNs_) {
                sendUnasked(now);
            }
            if (options_.noiseMs != 0 && now >= nextNoiseNs_) {
                sendNoise(now);
            }
            if (now >= nextExclusiveCheckNs_) {
                line_.upkeep();
                noteLineSpeed();
                nextExclusiveCheckNs_ = now + kExclusiveCheckNs;
            }
            if (parser_.inBlock() && now - lastByteNs_ >= kQuietResetNs) {
                parser_.reset();
            }
            if (receivingSinceNs_ >= 0 && now >= wire_.nextArrivalNs(receivingSinceNs_)) {
                readLine(now);
            }
            flushDue(now);
            if (hangupPending_ && wire_.idle() && hangupAtNs_ < 0) {
                hangupAtNs_ = now + kHangupGraceNs;
                lastWriteNs_ = now;
            }
            // Bytes just written may still be on their way into the device's queue.
            const bool allRead =
                now - lastWriteNs_ >= kSettleNs && wire_.idle() && line_.unread() == 0;
            if (hangupAtNs_ >= 0 && (allRead || now >= hangupAtNs_)) {
                if (options_.verbose) {
                    log_ << "closing the line\n";
                }
                line_.closeLine();
                exitAtNs_ = now + kExitAfterHangupNs;
                continue;
            }
        }

        std::int64_t wake = exitAtNs_ >= 0 ? exitAtNs_
                                           : std::min({nextStatusNs_, nextExclusiveCheckNs_,
                                                       wire_.nextDueNs().value_or(nextStatusNs_)});
        if (exitAtNs_ < 0 && options_.noiseMs != 0) {
            wake = std::min(wake, nextNoiseNs_);
        }
        if (exitAtNs_ < 0 && hangupAtNs_ >= 0) {
            // Polls until the program has read the last reply.
            wake = std::min(wake, now + 10 * kNsPerMs);
        }
        if (exitAtNs_ < 0 && parser_.inBlock()) {
            wake = std::min(wake, lastByteNs_ + kQuietResetNs);
        }
        // While bytes are on their way the board takes them as the wire delivers them, not
        // when the line says there are some.
        const bool receiving = exitAtNs_ < 0 && receivingSinceNs_ >= 0;
        if (receiving) {
            wake = std::min(wake, wire_.nextArrivalNs(receivingSinceNs_));
        }
        const std::int64_t waitNs = std::max<std::int64_t>(0, wake - now);
        const BoardLine::Wait woken = line_.wait(waitNs, !receiving, waitMask);
        if (woken == BoardLine::Wait::Ready) {
            readLine(nowNs());
        } else if (woken == BoardLine::Wait::Failed) {
            // Cannot happen while the board holds the device open; end rather than spin.
            log_ << "horalux-board: the line failed\n";
            line_.closeLine();
            exitAtNs_ = nowNs();
        }
    }
}

void BoardServer::readLine(std::int64_t now) {
    std::array<std::uint8_t, 4096> buffer{};
    std::size_t limit = buffer.size();
    if (wire_.timed()) {
        // A UART hands over a byte only once its ten bit times have passed: the rest waits
        // in the line, where the program's writes do not see it taken yet.
        if (receivingSinceNs_ < 0) {
            receivingSinceNs_ = now;
        }
        limit = std::min(limit, wire_.arrivedBy(receivingSinceNs_, now));
        if (limit == 0) {
            return;
        }
    }
    const std::size_t got = line_.read(std::span(buffer).first(limit));
    if (got == 0) {
        receivingSinceNs_ = -1;
        return;
    }
    lastByteNs_ = now;
    if (options_.verbose) {
        noteLineSpeed();
        log_ << "line in: " << hex(std::span(buffer).first(got)) << '\n';
    }
    const std::int64_t since = wire_.timed() ? receivingSinceNs_ : now;
    if (got < limit) {
        receivingSinceNs_ = -1;  // all taken
    }
    if (!understands()) {
        // Sampled at the wrong rate a frame's bits make other bytes: nothing of it is a request.
        for (std::size_t i = 0; i < got; ++i) {
            wire_.received(since);
        }
        parser_.reset();
        if (options_.verbose) {
            log_ << "  " << got << " bytes at " << line_.lineSpeed() << " bit/s not understood\n";
        }
        return;
    }
    for (std::size_t i = 0; i < got; ++i) {
        const std::int64_t arrived = wire_.received(since);
        if (auto request = parser_.push(buffer[i])) {
            onRequest(*request, arrived);
        }
    }
}

bool BoardServer::understands() const {
    if (!options_.strictSpeed) {
        return true;
    }
    const std::uint32_t speed = line_.lineSpeed();
    return speed == 0 || speed == options_.speed;
}

void BoardServer::noteLineSpeed() {
    const std::uint32_t speed = line_.lineSpeed();
    if (options_.verbose && speed != 0 && speed != loggedSpeed_) {
        loggedSpeed_ = speed;
        log_ << "line speed " << speed << " bit/s\n";
    }
}

void BoardServer::onRequest(const link::Request& request, std::int64_t arrivedNs) {
    if (options_.verbose) {
        log_ << describe(request) << '\n';
        if (request.command == link::cmd::WriteClock) {
            noteClockOffset(request, arrivedNs);
        }
    }
    if (faults_.hangsUpAfter()) {
        hangupPending_ = true;
    }
    if (faults_.dropsRequest(request)) {
        if (options_.verbose) {
            log_ << "  dropped\n";
        }
        return;
    }
    for (std::size_t i = 0; i < boards_.size(); ++i) {
        const bool stuck = options_.stuckRegister && request.command == link::cmd::WriteRegister &&
                           request.param1 == *options_.stuckRegister;
        const std::uint8_t before = boards_[i].reg(request.param1);
        Answer answer = boards_[i].handle(request, tickMs(arrivedNs));
        if (stuck) {
            boards_[i].restoreReg(request.param1, before);
        }
        if (!answer.refusal.empty() && options_.verbose) {
            log_ << "  board " << static_cast<unsigned>(boards_[i].address())
                 << " refuses: " << answer.refusal << '\n';
        }
        if (!answer.reply) {
            continue;
        }
        if (muted_[i] && repliesBeforeMute_[i] > 0) {
            --repliesBeforeMute_[i];
        } else if (muted_[i]) {
            if (options_.verbose) {
                log_ << "  board " << static_cast<unsigned>(request.address) << " is muted\n";
            }
            continue;
        }
        if (options_.deafClock && request.command == link::cmd::ReadClock) {
            if (options_.verbose) {
                log_ << "  clock read left unanswered\n";
            }
            continue;
        }
        const bool corrupt = faults_.corruptsReply();
        if (corrupt) {
            corruptHeaderChecksum(*answer.reply);
        }
        sendFrame(std::move(*answer.reply), arrivedNs, corrupt ? "reply, spoilt" : "reply");
    }
}

void BoardServer::noteClockOffset(const link::Request& request, std::int64_t arrivedNs) {
    const auto time = timesync::decodeBoardTimePayload(request.data);
    if (!time) {
        return;
    }
    // The PC clock when the frame's last byte arrived, against the time the board takes from it.
    platform::PosixSystemClock pc;
    const std::int64_t pcAtArrival =
        timesync::epochMsOf(pc.now()) - (nowNs() - arrivedNs) / kNsPerMs;
    log_ << "  clock set " << (timesync::epochMsOf(*time) - pcAtArrival)
         << " ms off the PC clock at the frame's last byte\n";
}

void BoardServer::sendFrame(std::vector<std::uint8_t> frame, std::int64_t notBeforeNs,
                            const char* what) {
    if (options_.verbose) {
        log_ << "  " << what << ": " << hex(frame) << '\n';
    }
    wire_.send(std::move(frame), notBeforeNs);
}

void BoardServer::sendUnasked(std::int64_t now) {
    const bool withLayout = statusTicks_ % kLayoutEveryStatus == 0;
    ++statusTicks_;
    nextStatusNs_ = now + kStatusPeriodNs;
    for (std::size_t i = 0; i < boards_.size(); ++i) {
        if (!boards_[i].isMaster() || muted_[i]) {
            continue;
        }
        if (withLayout) {
            sendFrame(boards_[i].layoutFrame(), now, "layout frame");
        }
        sendFrame(boards_[i].statusFrame(tickMs(now)), now, "status frame");
    }
}

void BoardServer::sendNoise(std::int64_t now) {
    nextNoiseNs_ = now + options_.noiseMs * kNsPerMs;
    std::uniform_int_distribution<int> length(1, 8);
    std::uniform_int_distribution<int> value(0, 255);
    std::vector<std::uint8_t> noise(static_cast<std::size_t>(length(random_)));
    for (std::uint8_t& b : noise) {
        b = static_cast<std::uint8_t>(value(random_));
    }
    sendFrame(std::move(noise), now, "noise");
}

void BoardServer::flushDue(std::int64_t now) {
    const std::vector<std::uint8_t> due = wire_.takeDue(now);
    if (due.empty()) {
        return;
    }
    lastWriteNs_ = now;
    const std::size_t put = line_.write(due);
    if (put < due.size() && options_.verbose) {
        log_ << "  " << due.size() - put << " bytes lost: nobody reads the line\n";
    }
}

}  // namespace horalux::board
