#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <variant>

#include "BridgeNames.h"

namespace horalux::bridge {

// What a command asks of the board, once checked.
struct WriteUserField {
    std::size_t index = 0;
    std::string text;
    bool operator==(const WriteUserField&) const = default;
};
struct SyncTime {
    bool operator==(const SyncTime&) const = default;
};
struct SetMode {
    bool master = false;
    bool operator==(const SetMode&) const = default;
};
// Not sent: why, for the log and the error topic.
struct Refusal {
    std::string text;
    bool operator==(const Refusal&) const = default;
};

using Command = std::variant<WriteUserField, SyncTime, SetMode, Refusal>;

// The button's payload (Home Assistant's default press).
inline constexpr std::string_view kPressPayload = "PRESS";

// A message on one of the board's command topics, checked as the window checks the same input:
// a field's text by the edit box's rule against that field's digits (`fieldDigits`, the fields in
// use), the mode as the select offers it, the button by its press.
Command commandOf(const BoardTopics& topics, std::string_view topic, std::string_view payload,
                  std::span<const std::uint8_t> fieldDigits);

}  // namespace horalux::bridge
