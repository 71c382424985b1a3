#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "BridgeNames.h"
#include "link/exchange/BoardState.h"

namespace horalux::bridge {

// What is published of a board, each value as its payload; a value the board does not have (its
// sensor field off, or nothing received yet) is absent, never 0. The measured values come from
// the numbers the board's status frames carry, not from the texts it shows them as.
struct BoardValues {
    std::array<std::optional<std::string>, 3> temperatures;  // °C, "-3" or "21.25"
    std::optional<std::string> pressure;                     // mmHg, "745"
    std::optional<std::string> humidity;                     // %, "56"
    std::optional<std::string> radiation;                    // "0.013"
    std::optional<std::string> mainText;                     // as the main field shows it
    std::optional<std::string> mode;                         // "master" or "slave"
    std::optional<std::string> clockDifference;              // board minus PC, seconds
    std::vector<std::string> userFields;                     // the texts of the fields in use
};

// What the owner knows besides the decoded state: the mode the board last reported and the
// clock difference last read; both absent until known.
struct BoardExtras {
    std::optional<bool> master;
    std::optional<std::int64_t> clockDifferenceS;
    // What a board shows now is known from its status frames, or of the line's only board from
    // its clock too; a slave among others is asked for its clock alone.
    bool onlyBoard = false;
};

BoardValues boardValuesOf(const link::BoardData& data, const BoardExtras& extras);

// The state messages (topic, payload) of the values present.
std::vector<std::pair<std::string, std::string>> stateMessages(const BoardValues& values,
                                                               const BoardTopics& topics);

// Home Assistant's payload for "unknown": a reading that went away is not left at its last value.
inline constexpr std::string_view kUnknownPayload = "None";

// The state messages of a board from one refresh to the next: those of the values present, and
// kUnknownPayload for each value published before that is absent now.
class BoardStates {
  public:
    std::vector<std::pair<std::string, std::string>> messages(const BoardValues& values,
                                                              const BoardTopics& topics);

  private:
    std::set<std::string> shown_;  // topics whose last message was a value
};

}  // namespace horalux::bridge
