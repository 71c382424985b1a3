#include "link/PortAccess.h"

#include <algorithm>
#include <array>
#include <utility>

namespace horalux::link {

void fillExchangeRecord(std::span<const std::uint8_t> bytes, TStrMsg& record) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    record.Text.clear();
    for (const std::uint8_t b : bytes) {
        record.Text.push_back(kHex[b >> 4]);
        record.Text.push_back(kHex[b & 0x0F]);
        record.Text.push_back(' ');
    }
    record.Count = static_cast<std::int32_t>(bytes.size());
}

TStrMsg makeExchangeRecord(std::span<const std::uint8_t> bytes) {
    TStrMsg record;
    record.Text.reserve(bytes.size() * 3);
    fillExchangeRecord(bytes, record);
    return record;
}

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

double postWriteWaitMs(std::uint32_t delayTimeMs, std::uint32_t speed) {
    if (speed == 0) {
        return static_cast<double>(delayTimeMs);
    }
    return static_cast<double>(delayTimeMs) + 100000.0 / static_cast<double>(speed);
}

void PostWriteWait(platform::Tick& tick, double waitMs, const std::function<void()>& dispatch,
                   const std::stop_token& stop) {
    const std::uint32_t t0 = tick.nowMs();
    for (;;) {
        if (dispatch) {
            dispatch();
        }
        if (stop.stop_requested()) {
            return;
        }
        const double elapsed = static_cast<double>(platform::elapsedMs(t0, tick.nowMs()));
        if (elapsed > waitMs) {
            return;
        }
        // Short naps keep the thread responsive to its messages and to a stop request.
        tick.sleepMs(std::min<std::uint32_t>(5, static_cast<std::uint32_t>(waitMs - elapsed) + 1));
    }
}

}  // namespace horalux::link
