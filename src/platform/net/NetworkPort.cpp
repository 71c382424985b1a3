#include "platform/net/NetworkPort.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstring>

#include "platform/Tick.h"

namespace horalux::platform {
namespace {

constexpr std::size_t kChunk = 4096;
constexpr std::size_t kShownTextMax = 80;
// What the set-up keeps of the line's bytes: a board's line at its fastest brings a few KB in
// the settle time; more is a flood, kept no further.
constexpr std::size_t kSetupKeptMax = 8192;

// While the line is set up: waits and sends end at the deadline, and what comes is bounded.
class SetupWindow {
  public:
    SetupWindow(std::optional<std::int64_t>& deadline, std::uint32_t ms) : deadline_(deadline) {
        deadline_ = monotonicMs() + ms;
    }
    ~SetupWindow() { deadline_.reset(); }
    SetupWindow(const SetupWindow&) = delete;
    SetupWindow& operator=(const SetupWindow&) = delete;

  private:
    std::optional<std::int64_t>& deadline_;
};

bool containsNoCase(std::string text, std::string_view part) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text.find(part) != std::string::npos;
}

}  // namespace

NetworkPort::NetworkPort(std::unique_ptr<BytePipe> pipe, std::unique_ptr<LineLayer> layer,
                         const NetworkTimeouts& timeouts)
    : pipe_(std::move(pipe)), layer_(std::move(layer)), timeouts_(timeouts) {}

NetworkPort::~NetworkPort() {
    close();
}

std::unique_ptr<NetworkPort> NetworkPort::open(std::unique_ptr<BytePipe> pipe,
                                               std::unique_ptr<LineLayer> layer,
                                               std::uint32_t speed, const NetworkTimeouts& timeouts,
                                               std::string& cause) {
    std::unique_ptr<NetworkPort> port(new NetworkPort(std::move(pipe), std::move(layer), timeouts));
    // A raw line runs at whatever speed the server gives it: this is at least the nominal
    // speed the pauses go by.
    port->speed_ = speed;
    const SetupWindow window(port->setupDeadline_, port->layer_->setUpMs(timeouts));
    if (!port->layer_->setUp(*port, speed)) {
        cause = port->setupFailure();
        return nullptr;
    }
    return port;
}

std::string NetworkPort::setupFailure() const {
    if (interrupted_) {
        return "interrupted";
    }
    if (overflowed_) {
        return "the device server sent data before the line was set up";
    }
    // A server that lets the time run out, or stops taking what we send, never set it up.
    if (sendStalled_ || status_ == IoStatus::Ok) {
        return "the device server did not set up the line (is it an RFC 2217 port?)";
    }
    return closingCause();
}

std::string NetworkPort::speedFailure() const {
    if (overflowed_) {
        return "the device server flooded the connection while the speed was set";
    }
    if (sendStalled_ || status_ == IoStatus::Ok) {
        return "the device server did not answer";
    }
    return "the connection to the device server is lost";
}

std::string NetworkPort::closingCause() const {
    // The server's own words: a device server that already serves someone says so and closes;
    // a close without a word may be anything (a crash, our address refused, no such service).
    std::string text(received_.begin() + static_cast<std::ptrdiff_t>(receivedAt_), received_.end());
    if (text.empty()) {
        return "the device server closed the connection during set-up";
    }
    if (containsNoCase(text, "in use")) {
        return "in use by another program";
    }
    text = text.substr(0, text.find_first_of("\r\n"));
    std::replace_if(
        text.begin(), text.end(),
        [](char c) { return !std::isprint(static_cast<unsigned char>(c)); }, '?');
    return "closed by the device server: " + text.substr(0, kShownTextMax);
}

bool NetworkPort::takeIn(std::uint32_t timeoutMs) {
    if (status_ != IoStatus::Ok) {
        return false;
    }
    std::array<std::uint8_t, kChunk> chunk{};
    const NetResult got = pipe_->receive(chunk, timeoutMs);
    interrupted_ = got.interrupted;
    if (got.status != NetStatus::Ok) {
        status_ = got.status == NetStatus::Closed ? IoStatus::Gone : IoStatus::Failed;
        return false;
    }
    if (receivedAt_ == received_.size()) {
        received_.clear();
        receivedAt_ = 0;
    }
    const std::span<const std::uint8_t> in(chunk.data(), got.count);
    std::vector<std::uint8_t> reply;
    layer_->decode(in, received_, reply);
    if (setupDeadline_ && received_.size() - receivedAt_ > kSetupKeptMax) {
        overflowed_ = true;
        return false;
    }
    return reply.empty() || sendRaw(reply);
}

bool NetworkPort::sendRaw(const std::vector<std::uint8_t>& bytes) {
    if (status_ != IoStatus::Ok) {
        return false;
    }
    // While the line is set up, a server that does not read must not hold us past its limit.
    const std::uint32_t stallMs =
        setupDeadline_
            ? static_cast<std::uint32_t>(std::max<std::int64_t>(0, *setupDeadline_ - monotonicMs()))
            : kSendStallMs;
    const NetResult sent = pipe_->sendAll(bytes, stallMs);
    if (sent.status != NetStatus::Ok) {
        sendStalled_ = sent.status == NetStatus::Stalled;
        status_ = sent.status == NetStatus::Closed ? IoStatus::Gone : IoStatus::Failed;
        return false;
    }
    return true;
}

bool NetworkPort::send(const std::vector<std::uint8_t>& bytes) {
    return sendRaw(bytes);
}

LayerLink::Wait NetworkPort::await() {
    const std::int64_t left = *setupDeadline_ - monotonicMs();
    if (left <= 0) {
        return Wait::TimeUp;
    }
    if (!takeIn(static_cast<std::uint32_t>(left)) || interrupted_) {
        return Wait::Failed;
    }
    return Wait::Came;
}

bool NetworkPort::takeWaiting() {
    return takeIn(0);
}

IoResult NetworkPort::take(std::uint8_t* buffer, std::size_t length, std::size_t already) {
    const std::size_t n = std::min(length - already, received_.size() - receivedAt_);
    if (n > 0) {
        std::memcpy(buffer + already, received_.data() + receivedAt_, n);
    }
    receivedAt_ += n;
    return {already + n, IoStatus::Ok};
}

IoResult NetworkPort::read(std::uint8_t* buffer, std::size_t length) {
    IoResult result;
    const std::int64_t deadline =
        monotonicMs() + static_cast<std::int64_t>(length) * kReadTimeoutPerByteMs;
    for (;;) {
        result = take(buffer, length, result.count);
        if (result.count == length) {
            return result;
        }
        const std::int64_t left = deadline - monotonicMs();
        if (left <= 0) {
            return result;
        }
        if (!takeIn(static_cast<std::uint32_t>(left)) && receivedAt_ == received_.size()) {
            // What came before the end is read first; the end shows at the next call.
            result.status = result.count == 0 ? status_ : IoStatus::Ok;
            return result;
        }
    }
}

IoResult NetworkPort::readSome(std::uint8_t* buffer, std::size_t capacity) {
    return readSomeWithin(buffer, capacity, kReadTimeoutPerByteMs);
}

IoResult NetworkPort::readSomeWithin(std::uint8_t* buffer, std::size_t capacity,
                                     std::uint32_t waitMs) {
    if (capacity == 0) {
        return {};
    }
    const std::int64_t deadline = monotonicMs() + waitMs;
    while (receivedAt_ == received_.size()) {
        const std::int64_t left = deadline - monotonicMs();
        if (left <= 0) {
            // Nothing waited for: still take what the connection already holds.
            if (!takeIn(0) && receivedAt_ == received_.size()) {
                return {0, status_};
            }
            return take(buffer, capacity, 0);
        }
        if (!takeIn(static_cast<std::uint32_t>(left)) && receivedAt_ == received_.size()) {
            return {0, status_};
        }
    }
    return take(buffer, capacity, 0);
}

IoResult NetworkPort::write(const std::uint8_t* data, std::size_t length) {
    std::vector<std::uint8_t> out;
    out.reserve(length + 8);
    layer_->encode(std::span<const std::uint8_t>(data, length), out);
    return sendRaw(out) ? IoResult{length, IoStatus::Ok} : IoResult{0, status_};
}

void NetworkPort::purge() {
    received_.clear();
    receivedAt_ = 0;
    // What has reached this side already goes too; the server empties its own queues.
    while (status_ == IoStatus::Ok && takeIn(0) && receivedAt_ != received_.size()) {
        received_.clear();
        receivedAt_ = 0;
    }
    received_.clear();
    receivedAt_ = 0;
    layer_->purge(*this);
}

void NetworkPort::close() {
    if (pipe_) {
        pipe_->close();
    }
    status_ = IoStatus::Failed;
}

void NetworkPort::setSpeed(std::uint32_t bitsPerSecond) {
    overflowed_ = false;
    sendStalled_ = false;
    std::optional<std::uint32_t> taken;
    {
        const SetupWindow window(setupDeadline_, timeouts_.setupMs);
        taken = layer_->setSpeed(*this, bitsPerSecond);
        if (!taken) {
            throw speedNotTaken(bitsPerSecond, speedFailure());
        }
    }
    if (*taken != bitsPerSecond) {
        // Back to the speed the exchange ran at, as a local port that refuses a speed keeps it.
        const SetupWindow window(setupDeadline_, timeouts_.setupMs);
        if (const std::optional<std::uint32_t> back = layer_->setSpeed(*this, speed_)) {
            speed_ = *back;
        }
        throw speedNotTaken(bitsPerSecond,
                            "the device server set " + std::to_string(*taken) + " bit/s");
    }
    speed_ = bitsPerSecond;
}

}  // namespace horalux::platform
