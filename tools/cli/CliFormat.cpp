#include "CliFormat.h"

#include <cstdio>
#include <cstring>

#include "timesync/CivilTime.h"

namespace horalux::cli {
std::string writtenText(const std::vector<config::RegisterWrite>& plan,
                        std::optional<std::uint8_t> newAddress) {
    std::string text = plan.empty()       ? "wrote no registers"
                       : plan.size() == 1 ? "wrote register "
                                          : "wrote registers ";
    for (std::size_t i = 0; i < plan.size(); ++i) {
        text += (i == 0 ? "" : ", ") + std::to_string(plan[i].number);
    }
    if (newAddress) {
        text += ", then the address (" + std::to_string(config::kAddressRegister) + ", now " +
                std::to_string(*newAddress) + ")";
    }
    return text + ", then the clock";
}

std::string timeText(const platform::LocalDateTime& t) {
    char text[16];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d", t.hour, t.minute, t.second);
    return text;
}

std::string dateText(const platform::LocalDateTime& t) {
    char text[16];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d", t.year, t.month, t.day);
    return text;
}

std::string zoneText(int shiftMinutes) {
    const int size = shiftMinutes < 0 ? -shiftMinutes : shiftMinutes;
    const std::string sign = shiftMinutes < 0 ? "-" : (shiftMinutes > 0 ? "+" : "");
    // Codes hold whole and half hours only.
    return sign + std::to_string(size / 60) + (size % 60 != 0 ? ".5" : ".0");
}

std::string sntpFailureCause(const timesync::SntpResult& result, const CliOptions& options) {
    const std::string server = options.host + ":" + std::to_string(options.sntpPort);
    switch (result.failure) {
        case timesync::SntpFailure::NoTimeZone:
            return "the time zone of this machine cannot be read";
        case timesync::SntpFailure::Resolve:
            return options.host + " does not resolve to an IPv4 address";
        case timesync::SntpFailure::Socket:
        case timesync::SntpFailure::Send:
        case timesync::SntpFailure::Receive:
            return server + ": " + std::strerror(result.error);
        case timesync::SntpFailure::Unusable:
            return server + " answered, but with a time it marks as unusable (not synchronised)";
        case timesync::SntpFailure::Inconsistent:
            return server +
                   " answered with times that contradict each other (received after it "
                   "was sent, or a negative round trip); the reply was not used";
        case timesync::SntpFailure::TimedOut:
            if (result.ignoredDatagrams > 0) {
                return server + " sent only datagrams that are no reply to our request (" +
                       std::to_string(result.ignoredDatagrams) + ") within " +
                       std::to_string(timesync::kSntpTimeoutMs / 1000) + " s";
            }
            return server + " did not answer within " +
                   std::to_string(timesync::kSntpTimeoutMs / 1000) + " s";
        case timesync::SntpFailure::Stopped:
        case timesync::SntpFailure::None:
            break;
    }
    return {};
}

}  // namespace horalux::cli
