#include "platform/net/NetworkPort.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstring>

#include "platform/Tick.h"
#include "platform/net/NetAddress.h"

namespace horalux::platform {
namespace {

constexpr std::size_t kChunk = 4096;
constexpr std::size_t kShownTextMax = 80;

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
            *failure = name + ": " + cause;
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
        const std::int64_t deadline = monotonicMs() + timeouts.settleMs;
        for (std::int64_t left = timeouts.settleMs; left > 0; left = deadline - monotonicMs()) {
            if (!port->takeIn(static_cast<std::uint32_t>(left))) {
                return fail(port->closingCause());
            }
            if (port->interrupted_) {
                return fail("interrupted");
            }
        }
        return port;
    }
    // 8N1 first, then the speed, so the speed's answer is the last to wait for.
    std::vector<std::uint8_t> setup = port->telnet_->greeting();
    const std::pair<std::uint8_t, std::uint8_t> lineSettings[] = {
        {telnet::kSetDataSize, 8},
        {telnet::kSetParity, telnet::kParityNone},
        {telnet::kSetStopSize, telnet::kOneStopBit}};
    for (const auto& [command, value] : lineSettings) {
        const std::uint8_t bytes[] = {value};
        const auto request = TelnetCodec::comPortCommand(command, bytes);
        setup.insert(setup.end(), request.begin(), request.end());
    }
    const auto baud = TelnetCodec::setBaudRate(speed);
    setup.insert(setup.end(), baud.begin(), baud.end());
    std::vector<std::vector<std::uint8_t>> answers;
    if (!port->sendRaw(setup) || !port->awaitAnswers({telnet::kSetDataSize, telnet::kSetParity,
                                                      telnet::kSetStopSize, telnet::kSetBaudRate},
                                                     answers)) {
        if (port->interrupted_) {
            return fail("interrupted");
        }
        if (port->status_ == IoStatus::Ok) {
            return fail("the device server did not set up the line (is it an RFC 2217 port?)");
        }
        return fail(port->closingCause());
    }
    const std::uint32_t taken = bigEndian32(answers[3]);
    if (taken != speed) {
        throw speedNotTaken(speed, "the device server set " + std::to_string(taken) + " bit/s");
    }
    port->speed_ = speed;
    return port;
}

std::string NetworkPort::closingCause() const {
    // The server's own words: a device server that already serves someone says so and closes.
    std::string text(received_.begin() + static_cast<std::ptrdiff_t>(receivedAt_), received_.end());
    if (text.empty() || containsNoCase(text, "in use")) {
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
    if (!telnet_) {
        received_.insert(received_.end(), in.begin(), in.end());
        return true;
    }
    std::vector<std::uint8_t> reply;
    telnet_->decode(in, received_, reply);
    return reply.empty() || sendRaw(reply);
}

bool NetworkPort::sendRaw(const std::vector<std::uint8_t>& bytes) {
    if (status_ != IoStatus::Ok) {
        return false;
    }
    const NetResult sent = connection_->sendAll(bytes);
    if (sent.status != NetStatus::Ok) {
        status_ = sent.status == NetStatus::Closed ? IoStatus::Gone : IoStatus::Failed;
        return false;
    }
    return true;
}

bool NetworkPort::awaitAnswers(const std::vector<std::uint8_t>& commands,
                               std::vector<std::vector<std::uint8_t>>& values) {
    values.assign(commands.size(), {});
    std::vector<bool> answered(commands.size(), false);
    std::size_t missing = commands.size();
    const std::int64_t deadline = monotonicMs() + timeouts_.setupMs;
    while (missing > 0) {
        ComPortReply answer;
        while (missing > 0 && telnet_->takeComPortReply(answer)) {
            for (std::size_t i = 0; i < commands.size(); ++i) {
                if (!answered[i] && answer.command == commands[i] + telnet::kServerOffset) {
                    answered[i] = true;
                    values[i] = std::move(answer.value);
                    --missing;
                    break;
                }
            }
        }
        const std::int64_t left = deadline - monotonicMs();
        if (missing == 0) {
            break;
        }
        if (left <= 0 || !takeIn(static_cast<std::uint32_t>(left)) || interrupted_) {
            return false;
        }
    }
    return true;
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
    std::vector<std::vector<std::uint8_t>> answers;
    if (!sendRaw(TelnetCodec::setBaudRate(bitsPerSecond)) ||
        !awaitAnswers({telnet::kSetBaudRate}, answers)) {
        throw speedNotTaken(bitsPerSecond, status_ == IoStatus::Ok
                                               ? "the device server did not answer"
                                               : "the connection to the device server is lost");
    }
    const std::uint32_t taken = bigEndian32(answers[0]);
    if (taken != bitsPerSecond) {
        // Back to the speed the exchange ran at, as a local port that refuses a speed keeps it.
        if (sendRaw(TelnetCodec::setBaudRate(speed_)) &&
            awaitAnswers({telnet::kSetBaudRate}, answers)) {
            speed_ = bigEndian32(answers[0]);
        }
        throw speedNotTaken(bitsPerSecond,
                            "the device server set " + std::to_string(taken) + " bit/s");
    }
    speed_ = bitsPerSecond;
}

}  // namespace horalux::platform
