#include "link/wire/PortAccess.h"

#include <algorithm>
#include <array>
#include <utility>

namespace horalux::link {

std::string_view lineErrorText(std::uint32_t flags) {
    using namespace platform::line_error;
    static constexpr std::array<std::pair<std::uint32_t, std::string_view>, 8> kTexts{{
        {ReceiveQueueFull, " Входной буфер полон, приём невозможен"},
        {Overrun, " Входной буфер переполнен, Потеря байтов "},
        {Parity, " Ошибка чётности принятых данных"},
        {Framing, " Ошибка синхронизации кадра"},
        {Break, "Нарушен обмен данными "},
        {TransmitQueueFull, " Выходной буфер полный"},
        {DeviceIo, " Ошибка ввода вывода"},
        {UnsupportedMode, " Неподдерживаемый режим "},
    }};
    const auto* it = std::find_if(kTexts.begin(), kTexts.end(),
                                  [flags](const auto& entry) { return entry.first == flags; });
    return it == kTexts.end() ? std::string_view{} : it->second;
}

std::unique_ptr<platform::SerialPort> OpenPort(platform::SerialDeviceOpener& opener,
                                               const std::string& name, std::uint32_t speed,
                                               Prompts& prompts) {
    std::unique_ptr<platform::SerialPort> port = opener.open(name, speed);
    if (!port) {
        // The message stays as it is; the opener's cause follows on a line of its own.
        std::string text(kErrorOpeningPort);
        if (const std::string cause = opener.lastFailureCause(); !cause.empty()) {
            text += "\n" + cause;
        }
        prompts.error(text);
        return nullptr;
    }
    PurgePort(*port);
    CheckPortErrors(*port, prompts);
    return port;
}

void SetPortSpeed(platform::SerialPort& port, std::uint32_t speed) {
    port.setSpeed(speed);
}

void PurgePort(platform::SerialPort& port) {
    port.purge();
}

platform::LineErrorState CheckPortErrors(platform::SerialPort& port, Prompts& prompts) {
    const platform::LineErrorState state = port.takeErrors();
    if (!state.queryOk) {
        prompts.error(kConnectionError);
    }
    return state;
}

double frameWireMs(std::size_t bytes, std::uint32_t speed) {
    if (speed == 0) {
        return 0;
    }
    return static_cast<double>(bytes) * 10.0 * 1000.0 / static_cast<double>(speed);
}

double postWriteWaitMs(std::uint32_t delayTimeMs, std::uint32_t speed) {
    if (speed == 0) {
        return static_cast<double>(delayTimeMs);
    }
    return static_cast<double>(delayTimeMs) + 100000.0 / static_cast<double>(speed);
}

void WaitOnTick(platform::Tick& tick, const std::function<void()>& dispatch,
                const std::stop_token& stop, const std::function<double(double)>& leftAfter) {
    const std::uint32_t t0 = tick.nowMs();
    for (;;) {
        if (dispatch) {
            dispatch();
        }
        if (stop.stop_requested()) {
            return;
        }
        const double left = leftAfter(static_cast<double>(platform::elapsedMs(t0, tick.nowMs())));
        if (left < 0) {
            return;
        }
        // Short naps keep the thread responsive to its messages and to a stop request.
        tick.sleepMs(std::min<std::uint32_t>(5, static_cast<std::uint32_t>(left) + 1));
    }
}

void PostWriteWait(platform::Tick& tick, double waitMs, const std::function<void()>& dispatch,
                   const std::stop_token& stop) {
    WaitOnTick(tick, dispatch, stop,
               [waitMs](double elapsed) { return elapsed > waitMs ? -1.0 : waitMs - elapsed; });
}

}  // namespace horalux::link
