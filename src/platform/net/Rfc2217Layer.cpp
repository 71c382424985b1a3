#include "platform/net/Rfc2217Layer.h"

#include <string>

namespace horalux::platform {
namespace {

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

}  // namespace

bool Rfc2217Layer::setUp(LayerLink& link, std::uint32_t speed) {
    // 8N1 first, then the speed, so the speed's answer is the last to wait for.
    const std::vector<Request> requests = {
        {telnet::kSetDataSize, comPortByte(telnet::kSetDataSize, 8)},
        {telnet::kSetParity, comPortByte(telnet::kSetParity, telnet::kParityNone)},
        {telnet::kSetStopSize, comPortByte(telnet::kSetStopSize, telnet::kOneStopBit)},
        {telnet::kSetBaudRate, TelnetCodec::setBaudRate(speed)}};
    std::vector<std::vector<std::uint8_t>> answers;
    if (!sendRequests(link, telnet_.greeting(), requests) ||
        !awaitAnswers(
            link,
            {telnet::kSetDataSize, telnet::kSetParity, telnet::kSetStopSize, telnet::kSetBaudRate},
            answers)) {
        return false;
    }
    if (const std::string otherwise = lineSettingsUnlike8N1(answers); !otherwise.empty()) {
        throw PortError("Error setting port state\n8N1: the device server set " + otherwise);
    }
    const std::uint32_t taken = bigEndian32(answers[3]);
    if (taken != speed) {
        throw speedNotTaken(speed, "the device server set " + std::to_string(taken) + " bit/s");
    }
    return true;
}

void Rfc2217Layer::decode(std::span<const std::uint8_t> in, std::vector<std::uint8_t>& data,
                          std::vector<std::uint8_t>& reply) {
    telnet_.decode(in, data, reply);
}

void Rfc2217Layer::encode(std::span<const std::uint8_t> data, std::vector<std::uint8_t>& out) {
    TelnetCodec::escape(data, out);
}

std::optional<std::uint32_t> Rfc2217Layer::setSpeed(LayerLink& link, std::uint32_t bitsPerSecond) {
    std::vector<std::vector<std::uint8_t>> answers;
    if (!dropOlderAnswers(link) ||
        !sendRequests(link, {},
                      {{telnet::kSetBaudRate, TelnetCodec::setBaudRate(bitsPerSecond)}}) ||
        !awaitAnswers(link, {telnet::kSetBaudRate}, answers)) {
        return std::nullopt;
    }
    return bigEndian32(answers[0]);
}

void Rfc2217Layer::purge(LayerLink& link) {
    const std::uint8_t both[] = {telnet::kPurgeBoth};
    link.send(TelnetCodec::comPortCommand(telnet::kPurgeData, both));
}

bool Rfc2217Layer::sendRequests(LayerLink& link, std::vector<std::uint8_t> lead,
                                const std::vector<Request>& requests) {
    for (const Request& request : requests) {
        lead.insert(lead.end(), request.bytes.begin(), request.bytes.end());
        ++inFlight_[request.command];
    }
    return link.send(lead);
}

bool Rfc2217Layer::dropOlderAnswers(LayerLink& link) {
    // Answers here before a new request are owed to older ones (a server that answers twice, or
    // late): counted off now, they cannot pass for its answer.
    if (!link.takeWaiting()) {
        return false;
    }
    std::vector<bool> none;
    std::vector<std::vector<std::uint8_t>> nothing;
    matchAnswers({}, nothing, none);
    return true;
}

std::size_t Rfc2217Layer::matchAnswers(const std::vector<std::uint8_t>& commands,
                                       std::vector<std::vector<std::uint8_t>>& values,
                                       std::vector<bool>& answered) {
    std::size_t found = 0;
    ComPortReply answer;
    while (telnet_.takeComPortReply(answer)) {
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

bool Rfc2217Layer::awaitAnswers(LayerLink& link, const std::vector<std::uint8_t>& commands,
                                std::vector<std::vector<std::uint8_t>>& values) {
    values.assign(commands.size(), {});
    std::vector<bool> answered(commands.size(), false);
    std::size_t missing = commands.size();
    for (;;) {
        missing -= matchAnswers(commands, values, answered);
        if (missing == 0) {
            return true;
        }
        if (link.await() != LayerLink::Wait::Came) {
            return false;
        }
    }
}

}  // namespace horalux::platform
