#pragma once

#include <QString>
#include <functional>
#include <string>

#include "platform/SystemClock.h"
#include "platform/Tick.h"
#include "timesync/SntpClient.h"

namespace horalux::ui {

// What the start-up time check did, for status panel 2: a short word and a longer tooltip.
struct StartupClockReport {
    QString word;
    QString detail;
};

// Status panel 2's words for what setting the clock came to; empty when there is nothing to say.
StartupClockReport startupClockReport(const timesync::ClockSync& sync, const std::string& server);

// The start-up clock step (timesync::SinhrSisDate) with its report for status panel 2.
StartupClockReport synchronizeSystemClock(bool sinhrTime, const std::string& server,
                                          platform::SystemClock& clock, platform::Tick& tick,
                                          const timesync::ShowMessage& showMessage,
                                          const timesync::SntpOptions& options,
                                          const std::function<bool()>& disciplined);

}  // namespace horalux::ui
