#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <stop_token>
#include <string>
#include <string_view>

#include "link/wire/Prompts.h"
#include "platform/SerialPort.h"
#include "platform/Tick.h"

namespace horalux::link {

inline constexpr std::string_view kErrorOpeningPort = "Error opening port";
inline constexpr std::string_view kErrorSettingPortState = "Error setting port state";
inline constexpr std::string_view kErrorReadingPort = "Error reading port";
inline constexpr std::string_view kConnectionError = "Ошибка соединения";

// The text of a single line-error flag; empty for no flag, an unknown one or a combination.
std::string_view lineErrorText(std::uint32_t flags);

// Opens and configures a port. Shows "Error opening port" (with the opener's cause on a second
// line when it gives one) and returns nullptr when the device cannot be opened; throws
// PortError("Error setting port state") when it cannot be configured.
std::unique_ptr<platform::SerialPort> OpenPort(platform::SerialDeviceOpener& opener,
                                               const std::string& name, std::uint32_t speed,
                                               Prompts& prompts);
// Throws PortError("Error setting port state") on failure.
void SetPortSpeed(platform::SerialPort& port, std::uint32_t speed);
void PurgePort(platform::SerialPort& port);
// Reads and clears the line errors; shows "Ошибка соединения" when the query itself fails.
platform::LineErrorState CheckPortErrors(platform::SerialPort& port, Prompts& prompts);

// Time the bytes take on the wire at the speed: ten bit times each (start, eight data, stop).
double frameWireMs(std::size_t bytes, std::uint32_t speed);

// The pause after a written frame: DelayTime + 100000 / speed milliseconds, in real numbers.
double postWriteWaitMs(std::uint32_t delayTimeMs, std::uint32_t speed);

// Naps on the tick in steps of at most 5 ms, dispatching the calling thread's own messages,
// while leftAfter(ms elapsed since the call) gives the ms still to wait (negative: done).
// Returns early when stop is requested.
void WaitOnTick(platform::Tick& tick, const std::function<void()>& dispatch,
                const std::stop_token& stop, const std::function<double(double)>& leftAfter);

// Waits until the tick passes t0 + waitMs, dispatching the calling thread's own messages
// meanwhile. Returns early when stop is requested.
void PostWriteWait(platform::Tick& tick, double waitMs, const std::function<void()>& dispatch,
                   const std::stop_token& stop = {});

}  // namespace horalux::link
