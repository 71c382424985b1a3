#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "CliOptions.h"
#include "config/RegisterCompare.h"
#include "config/RegisterImage.h"
#include "config/RegisterMap.h"
#include "config/WritePlan.h"
#include "platform/SystemClock.h"
#include "timesync/ClockDifference.h"
#include "timesync/SntpClient.h"

// What the companion prints, as a person reads it.
namespace horalux::cli {

// The sensor texts by their place in the decoded state (0 is unused).
inline constexpr std::array<const char*, 8> kSensorNames = {
    "",         "temperature 1", "temperature 2", "temperature 3",
    "pressure", "humidity",      "radiation",     "date"};

using config::registerLabel;
using config::registerValueText;

// "wrote registers 44, 57, 216, then the clock", from the plan the write follows.
std::string writtenText(const std::vector<config::RegisterWrite>& plan,
                        std::optional<std::uint8_t> newAddress);

// "09:05:07" and "2009-03-01".
std::string timeText(const platform::LocalDateTime& t);
std::string dateText(const platform::LocalDateTime& t);
// A time-zone shift as the settings window lists it, with its sign: "+3.0", "-0.5", "0.0".
std::string zoneText(int shiftMinutes);
using timesync::boardAheadSeconds;
using timesync::differenceText;

// Why an SNTP exchange failed, naming the server.
std::string sntpFailureCause(const timesync::SntpResult& result, const CliOptions& options);

}  // namespace horalux::cli
