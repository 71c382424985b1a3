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

// Whether the system's own time service keeps the clock synchronised (adjtimex).
bool systemClockDisciplined();

// Sets the PC clock from the time server when `sinhrTime` is set. When the system's time
// service already keeps the clock, the server is asked but the clock is not stepped under it.
// Failures are shown through `showMessage` once.
StartupClockReport synchronizeSystemClock(bool sinhrTime, const std::string& server,
                                          platform::SystemClock& clock, platform::Tick& tick,
                                          const timesync::ShowMessage& showMessage,
                                          const timesync::SntpOptions& options,
                                          const std::function<bool()>& disciplined);

}  // namespace horalux::ui
