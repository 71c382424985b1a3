#include "platform/net/TelnetCodec.h"

namespace horalux::platform {
namespace {

using namespace telnet;

// Longer subnegotiations are no COM-PORT-OPTION answer (a signature text at most); the rest is
// dropped rather than kept without bound.
constexpr std::size_t kMaxSubnegotiation = 64;
constexpr std::size_t kMaxKeptReplies = 32;

bool weOffer(std::uint8_t option) {
    return option == kBinary || option == kSuppressGoAhead || option == kComPort;
}

// No echo: the server sending our own frames back would read as the boards' replies.
bool weAccept(std::uint8_t option) {
    return option == kBinary || option == kSuppressGoAhead;
}

}  // namespace

void TelnetCodec::escape(std::span<const std::uint8_t> data, std::vector<std::uint8_t>& out) {
    for (const std::uint8_t byte : data) {
        out.push_back(byte);
        if (byte == kIac) {
            out.push_back(kIac);
        }
    }
}

std::vector<std::uint8_t> TelnetCodec::greeting() {
    std::vector<std::uint8_t> out;
    for (const std::uint8_t option : {kComPort, kBinary, kSuppressGoAhead}) {
        out.insert(out.end(), {kIac, kWill, option});
        ours_[option] = true;
    }
    for (const std::uint8_t option : {kBinary, kSuppressGoAhead}) {
        out.insert(out.end(), {kIac, kDo, option});
        theirs_[option] = true;
    }
    return out;
}

std::vector<std::uint8_t> TelnetCodec::comPortCommand(std::uint8_t command,
                                                      std::span<const std::uint8_t> value) {
    std::vector<std::uint8_t> out{kIac, kSb, kComPort};
    const std::uint8_t head[] = {command};
    escape(head, out);
    escape(value, out);
    out.insert(out.end(), {kIac, kSe});
    return out;
}

std::vector<std::uint8_t> TelnetCodec::setBaudRate(std::uint32_t bitsPerSecond) {
    const std::uint8_t value[] = {static_cast<std::uint8_t>(bitsPerSecond >> 24),
                                  static_cast<std::uint8_t>(bitsPerSecond >> 16),
                                  static_cast<std::uint8_t>(bitsPerSecond >> 8),
                                  static_cast<std::uint8_t>(bitsPerSecond)};
    return comPortCommand(kSetBaudRate, value);
}

void TelnetCodec::decode(std::span<const std::uint8_t> in, std::vector<std::uint8_t>& data,
                         std::vector<std::uint8_t>& reply) {
    for (const std::uint8_t byte : in) {
        switch (state_) {
            case State::Data:
                if (byte == kIac) {
                    state_ = State::Iac;
                } else {
                    data.push_back(byte);
                }
                break;
            case State::Iac:
                if (byte == kIac) {
                    data.push_back(kIac);
                    state_ = State::Data;
                } else if (byte >= kWill && byte <= kDont) {
                    verb_ = byte;
                    state_ = State::Option;
                } else if (byte == kSb) {
                    sub_.clear();
                    state_ = State::Sub;
                } else {
                    state_ = State::Data;  // NOP, data mark, go-ahead and the like: nothing to do
                }
                break;
            case State::Option:
                negotiate(verb_, byte, reply);
                state_ = State::Data;
                break;
            case State::Sub:
                if (byte == kIac) {
                    state_ = State::SubIac;
                } else if (sub_.size() < kMaxSubnegotiation) {
                    sub_.push_back(byte);
                }
                break;
            case State::SubIac:
                if (byte == kIac) {
                    if (sub_.size() < kMaxSubnegotiation) {
                        sub_.push_back(kIac);
                    }
                    state_ = State::Sub;
                } else {
                    // IAC SE ends it; any other command there ends it too, as a broken one.
                    endSubnegotiation();
                    state_ = State::Data;
                }
                break;
        }
    }
}

void TelnetCodec::negotiate(std::uint8_t verb, std::uint8_t option,
                            std::vector<std::uint8_t>& reply) {
    switch (verb) {
        case kDo:
            if (weOffer(option) && !ours_[option]) {
                ours_[option] = true;
                reply.insert(reply.end(), {kIac, kWill, option});
            } else if (!weOffer(option)) {
                reply.insert(reply.end(), {kIac, kWont, option});
            }
            break;
        case kDont:
            if (ours_[option]) {
                ours_[option] = false;
                reply.insert(reply.end(), {kIac, kWont, option});
            }
            break;
        case kWill:
            if (weAccept(option) && !theirs_[option]) {
                theirs_[option] = true;
                reply.insert(reply.end(), {kIac, kDo, option});
            } else if (!weAccept(option)) {
                reply.insert(reply.end(), {kIac, kDont, option});
            }
            break;
        case kWont:
            if (theirs_[option]) {
                theirs_[option] = false;
                reply.insert(reply.end(), {kIac, kDont, option});
            }
            break;
        default:
            break;
    }
}

void TelnetCodec::endSubnegotiation() {
    if (sub_.size() >= 2 && sub_[0] == kComPort) {
        // Unasked notices (line and modem state) are kept only while someone may look for them.
        if (replies_.size() == kMaxKeptReplies) {
            replies_.pop_front();
        }
        replies_.push_back({sub_[1], std::vector<std::uint8_t>(sub_.begin() + 2, sub_.end())});
    }
    sub_.clear();
}

bool TelnetCodec::takeComPortReply(ComPortReply& out) {
    if (replies_.empty()) {
        return false;
    }
    out = std::move(replies_.front());
    replies_.pop_front();
    return true;
}

}  // namespace horalux::platform
