// keep-time: its arguments and its run, the time keeper on the line keeper.
#include <ostream>

#include "CliCommandTable.h"
#include "CliCommands.h"
#include "CliSession.h"
#include "link/keeper/SessionKeptLine.h"
#include "link/keeper/TimeKeeper.h"
#include "platform/MachineClock.h"
#include "timesync/KeepPeriod.h"

namespace horalux::cli {

std::optional<std::string> keepTimeArguments(ArgumentReader& args, CliOptions& options) {
    while (args.more()) {
        const std::string flag = *args.take();
        if (flag == "--trust-pc-clock") {
            options.trustPcClock = true;
        } else if (flag == "--period") {
            const auto v = args.take();
            const auto period = v ? timesync::parseKeepPeriod(*v) : std::nullopt;
            if (!period) {
                return "--period needs a time such as 60s, 1h, 3h or 1d";
            }
            options.keepPeriodS = *period;
        } else if (flag == "--offset-limit") {
            const auto v = args.take();
            if (!v || !parseNumber(*v, options.offsetLimitS, 1U, 3600U)) {
                return "--offset-limit needs a number of seconds from 1 to 3600";
            }
        } else {
            return "unknown keep-time option " + flag;
        }
    }
    return std::nullopt;
}

int keepTime(CommandContext& c) {
    platform::MonotonicTick tick;
    platform::MachineClock clock;
    link::SessionKeptLine line(linkSettingsOf(c.options), c.err, c.interrupted,
                               {.tick = &tick, .clock = &clock});
    link::KeepTimeSettings settings;
    settings.periodS = c.options.keepPeriodS;
    settings.offsetLimitS = c.options.offsetLimitS;
    settings.trustPcClock = c.options.trustPcClock;
    settings.address = c.options.address;
    if (c.options.addresses.size() > 1) {
        settings.addresses = c.options.addresses;
    }
    settings.port = c.options.port;
    link::TimeKeeper keeper(
        settings, {line, tick, clock, platform::systemClockSynchronised, c.err, c.interrupted});
    keeper.run();
    return 0;
}

}  // namespace horalux::cli
