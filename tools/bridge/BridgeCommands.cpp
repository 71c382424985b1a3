#include "BridgeCommands.h"

#include <algorithm>
#include <charconv>

#include "link/session/UserFieldPayload.h"
#include "platform/PortNameText.h"

namespace horalux::bridge {
namespace {

constexpr std::string_view kFieldPrefix = "field_";

// Payloads are shown in refusals, on the log and the error topic: control characters, NUL and
// bytes that are not UTF-8 escaped, and an overlong text cut where a character ends.
std::string shown(std::string_view payload) {
    constexpr std::size_t kMaxShown = 40;
    std::size_t kept = 0;
    while (kept < payload.size() && kept < kMaxShown) {
        kept += std::max<std::size_t>(platform::utf8SequenceLength(payload.substr(kept)), 1);
    }
    return platform::quotedText(payload.substr(0, kept)) + (kept < payload.size() ? "..." : "");
}

Command fieldCommand(std::string_view entity, std::string_view text,
                     std::span<const std::uint8_t> fieldDigits) {
    const std::string_view number = entity.substr(kFieldPrefix.size());
    std::size_t index = 0;
    const auto [end, error] = std::from_chars(number.data(), number.data() + number.size(), index);
    if (error != std::errc{} || end != number.data() + number.size() ||
        std::to_string(index) != number) {
        return Refusal{"unknown command topic for " + std::string(entity)};
    }
    if (index >= fieldDigits.size() || fieldDigits[index] == 0) {
        return Refusal{"the board has no user field " + std::to_string(index) + " (it has " +
                       std::to_string(fieldDigits.size()) + ")"};
    }
    const std::size_t digits = fieldDigits[index];
    switch (link::checkUserFieldText(text, digits)) {
        case link::FieldTextFault::Character:
            return Refusal{"field " + std::to_string(index) + ": " + shown(text) +
                           " holds a character the board cannot show (digits, '-', '_', '.' "
                           "and spaces only)"};
        case link::FieldTextFault::Length:
            return Refusal{"field " + std::to_string(index) + ": " + shown(text) +
                           " is longer than its " + std::to_string(digits) + " digit positions"};
        case link::FieldTextFault::None:
            break;
    }
    return WriteUserField{index, std::string(text)};
}

}  // namespace

Command commandOf(const BoardTopics& topics, std::string_view topic, std::string_view payload,
                  std::span<const std::uint8_t> fieldDigits) {
    const std::string head = topics.base + "/";
    constexpr std::string_view kSet = "/set";
    if (topic.size() <= head.size() + kSet.size() || topic.substr(0, head.size()) != head ||
        topic.substr(topic.size() - kSet.size()) != kSet) {
        return Refusal{"not a command topic of this board: " + shown(topic)};
    }
    const std::string_view entity =
        topic.substr(head.size(), topic.size() - head.size() - kSet.size());
    if (entity == "sync_time") {
        if (payload != kPressPayload) {
            return Refusal{"sync_time: " + shown(payload) + " is not a press (" +
                           std::string(kPressPayload) + ")"};
        }
        return SyncTime{};
    }
    if (entity == "mode") {
        if (payload == "master" || payload == "slave") {
            return SetMode{payload == "master"};
        }
        return Refusal{"mode: " + shown(payload) + " is neither master nor slave"};
    }
    if (entity.substr(0, kFieldPrefix.size()) == kFieldPrefix) {
        return fieldCommand(entity, payload, fieldDigits);
    }
    return Refusal{"unknown command " + shown(entity)};
}

}  // namespace horalux::bridge
