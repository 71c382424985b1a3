#include "platform/net/NetworkPort.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstring>

#include "platform/PortNameText.h"
#include "platform/Tick.h"
#include "platform/net/NetAddress.h"

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

std::vector<std::uint8_t> comPortByte(std::uint8_t command, std::uint8_t value) {
    const std::uint8_t bytes[] = {value};
    return TelnetCodec::comPortCommand(command, bytes);
}

// What the server set instead of 8N1, from its answers to the data size, parity and stop size
// (in that order), in words; empty when it set 8N1.
std::string lineSettingsUnlike8N1(const std::vector<std::vector<std::uint8_t>>& answers) {
    auto single = [](const std::vector<std::uint8_t>& value) {
        return value.size() == 1 ? int{value[0]} : -1;
    };
    std::vector<std::string> unlike;
    if (const int bits = single(answers[0]); bits != 8) {
        unlike.push_back(bits < 0 ? "an unknown data size" : std::to_string(bits) + " data bits");
    }
    if (const int parity = single(answers[1]); parity != telnet::kParityNone) {
        static constexpr const char* kParities[] = {"odd", "even", "mark", "space"};
        unlike.push_back(parity >= 2 && parity <= 5 ? std::string(kParities[parity - 2]) + " parity"
                                                    : std::string("an unknown parity"));
    }
    if (const int stop = single(answers[2]); stop != telnet::kOneStopBit) {
        unlike.push_back(stop == 2   ? "2 stop bits"
                         : stop == 3 ? "1.5 stop bits"
                                     : "an unknown stop size");
    }
    std::string text;
    for (const std::string& part : unlike) {
        text += (text.empty() ? "" : ", ") + part;
    }
    return text;
}

std::uint32_t bigEndian32(const std::vector<std::uint8_t>& value) {
    if (value.size() != 4) {
        return 0;
    }
    return (std::uint32_t{value[0]} << 24) | (std::uint32_t{value[1]} << 16) |
           (std::uint32_t{value[2]} << 8) | value[3];
}

PortError speedNotTaken(std::uint32_t asked, const std::string& why) {
    return PortError("Error setting port state\n" + std::to_string(asked) + " bit/s: " + why);
}

bool containsNoCase(std::string text, std::string_view part) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text.find(part) != std::string::npos;
}

}  // namespace

NetworkPort::NetworkPort(std::unique_ptr<TcpConnection> connection, bool telnet,
                         const NetworkTimeouts& timeouts)
    : connection_(std::move(connection)), timeouts_(timeouts) {
    if (telnet) {
        telnet_.emplace();
    }
}

NetworkPort::~NetworkPort() {
    close();
}

std::unique_ptr<NetworkPort> NetworkPort::open(const std::string& name, std::uint32_t speed,
                                               std::string* failure,
                                               const NetworkTimeouts& timeouts) {
    auto fail = [&](const std::string& cause) -> std::unique_ptr<NetworkPort> {
        if (failure != nullptr) {
            *failure = shownPortName(name) + ": " + cause;
        }
        return nullptr;
    };
    const std::optional<NetAddress> address = parseNetAddress(name);
    if (!address) {
        return fail(
            "not a network address; write tcp://HOST:PORT or rfc2217://HOST:PORT "
            "(an IPv6 address in brackets)");
    }
    std::string cause;
    auto connection = TcpConnection::connect(*address, timeouts.connectMs, cause);
    if (!connection) {
        return fail(cause);
    }
    const bool telnet = portKindOf(name) == PortKind::Rfc2217;
    std::unique_ptr<NetworkPort> port(new NetworkPort(std::move(connection), telnet, timeouts));
    if (!telnet) {
        // The line behind a raw port runs at whatever speed the server gives it; this is only
        // the nominal speed the pauses go by.
        port->speed_ = speed;
        const SetupWindow window(port->setupDeadline_, timeouts.settleMs);
        for (std::int64_t left = timeouts.settleMs; left > 0;
             left = *port->setupDeadline_ - monotonicMs()) {
            if (!port->takeIn(static_cast<std::uint32_t>(left)) || port->interrupted_) {
                return fail(port->setupFailure());
            }
        }
        return port;
    }
    // 8N1 first, then the speed, so the speed's answer is the last to wait for.
    const std::vector<Request> requests = {
        {telnet::kSetDataSize, comPortByte(telnet::kSetDataSize, 8)},
        {telnet::kSetParity, comPortByte(telnet::kSetParity, telnet::kParityNone)},
        {telnet::kSetStopSize, comPortByte(telnet::kSetStopSize, telnet::kOneStopBit)},
        {telnet::kSetBaudRate, TelnetCodec::setBaudRate(speed)}};
    std::vector<std::vector<std::uint8_t>> answers;
    {
        const SetupWindow window(port->setupDeadline_, timeouts.setupMs);
        if (!port->sendRequests(port->telnet_->greeting(), requests) ||
            !port->awaitAnswers({telnet::kSetDataSize, telnet::kSetParity, telnet::kSetStopSize,
                                 telnet::kSetBaudRate},
                                answers)) {
            return fail(port->setupFailure());
        }
    }
    if (const std::string otherwise = lineSettingsUnlike8N1(answers); !otherwise.empty()) {
        throw PortError("Error setting port state\n8N1: the device server set " + otherwise);
    }
    const std::uint32_t taken = bigEndian32(answers[3]);
    if (taken != speed) {
        throw speedNotTaken(speed, "the device server set " + std::to_string(taken) + " bit/s");
    }
    port->speed_ = speed;
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
    const NetResult got = connection_->receive(chunk, timeoutMs);
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
    if (telnet_) {
        telnet_->decode(in, received_, reply);
    } else {
        received_.insert(received_.end(), in.begin(), in.end());
    }
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
            : TcpConnection::kSendStallMs;
    const NetResult sent = connection_->sendAll(bytes, stallMs);
    if (sent.status != NetStatus::Ok) {
        sendStalled_ = sent.status == NetStatus::Stalled;
        status_ = sent.status == NetStatus::Closed ? IoStatus::Gone : IoStatus::Failed;
        return false;
    }
    return true;
}

bool NetworkPort::sendRequests(std::vector<std::uint8_t> lead,
                               const std::vector<Request>& requests) {
    for (const Request& request : requests) {
        lead.insert(lead.end(), request.bytes.begin(), request.bytes.end());
        ++inFlight_[request.command];
    }
    return sendRaw(lead);
}

bool NetworkPort::dropOlderAnswers() {
    // Answers here before a new request are owed to older ones (a server that answers twice, or
    // late): counted off now, they cannot pass for its answer.
    if (!takeIn(0)) {
        return false;
    }
    std::vector<bool> none;
    std::vector<std::vector<std::uint8_t>> nothing;
    matchAnswers({}, nothing, none);
    return true;
}

std::size_t NetworkPort::matchAnswers(const std::vector<std::uint8_t>& commands,
                                      std::vector<std::vector<std::uint8_t>>& values,
                                      std::vector<bool>& answered) {
    std::size_t found = 0;
    ComPortReply answer;
    while (telnet_->takeComPortReply(answer)) {
        if (answer.command < telnet::kServerOffset) {
            continue;
        }
        const std::uint8_t command = answer.command - telnet::kServerOffset;
        // Unasked (a notice, a second answer), or owed to a request older than the latest.
        if (inFlight_[command] == 0 || --inFlight_[command] > 0) {
            continue;
        }
        for (std::size_t i = 0; i < commands.size(); ++i) {
            if (commands[i] == command && !answered[i]) {
                answered[i] = true;
                values[i] = std::move(answer.value);
                ++found;
                break;
            }
        }
    }
    return found;
}

bool NetworkPort::awaitAnswers(const std::vector<std::uint8_t>& commands,
                               std::vector<std::vector<std::uint8_t>>& values) {
    values.assign(commands.size(), {});
    std::vector<bool> answered(commands.size(), false);
    std::size_t missing = commands.size();
    for (;;) {
        missing -= matchAnswers(commands, values, answered);
        if (missing == 0) {
            return true;
        }
        const std::int64_t left = *setupDeadline_ - monotonicMs();
        if (left <= 0 || !takeIn(static_cast<std::uint32_t>(left)) || interrupted_) {
            return false;
        }
    }
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
    const std::span<const std::uint8_t> bytes(data, length);
    bool sent = false;
    if (telnet_) {
        std::vector<std::uint8_t> escaped;
        escaped.reserve(length + 8);
        TelnetCodec::escape(bytes, escaped);
        sent = sendRaw(escaped);
    } else {
        sent = sendRaw(std::vector<std::uint8_t>(bytes.begin(), bytes.end()));
    }
    return sent ? IoResult{length, IoStatus::Ok} : IoResult{0, status_};
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
    if (telnet_) {
        const std::uint8_t both[] = {telnet::kPurgeBoth};
        sendRaw(TelnetCodec::comPortCommand(telnet::kPurgeData, both));
    }
}

void NetworkPort::close() {
    if (connection_) {
        connection_->close();
    }
    status_ = IoStatus::Failed;
}

void NetworkPort::setSpeed(std::uint32_t bitsPerSecond) {
    if (!telnet_) {
        speed_ = bitsPerSecond;
        return;
    }
    overflowed_ = false;
    sendStalled_ = false;
    std::vector<std::vector<std::uint8_t>> answers;
    std::uint32_t taken = 0;
    {
        const SetupWindow window(setupDeadline_, timeouts_.setupMs);
        if (!dropOlderAnswers() ||
            !sendRequests({}, {{telnet::kSetBaudRate, TelnetCodec::setBaudRate(bitsPerSecond)}}) ||
            !awaitAnswers({telnet::kSetBaudRate}, answers)) {
            throw speedNotTaken(bitsPerSecond, speedFailure());
        }
        taken = bigEndian32(answers[0]);
    }
    if (taken != bitsPerSecond) {
        // Back to the speed the exchange ran at, as a local port that refuses a speed keeps it.
        const SetupWindow window(setupDeadline_, timeouts_.setupMs);
        if (dropOlderAnswers() &&
            sendRequests({}, {{telnet::kSetBaudRate, TelnetCodec::setBaudRate(speed_)}}) &&
            awaitAnswers({telnet::kSetBaudRate}, answers)) {
            speed_ = bigEndian32(answers[0]);
        }
        throw speedNotTaken(bitsPerSecond,
                            "the device server set " + std::to_string(taken) + " bit/s");
    }
    speed_ = bitsPerSecond;
}

}  // namespace horalux::platform
