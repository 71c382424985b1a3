#include "ui/StartupClock.h"

namespace horalux::ui {

namespace {

QString fromUtf8(const std::string& text) {
    return QString::fromStdString(text);
}

QString signedMs(std::int64_t ms) {
    return (ms >= 0 ? QStringLiteral("+") : QString()) + QString::number(ms) +
           QStringLiteral(" мс");
}

}  // namespace

StartupClockReport startupClockReport(const timesync::ClockSync& sync, const std::string& server) {
    using timesync::ClockStep;
    if (sync.step == ClockStep::Off || sync.step == ClockStep::Stopped) {
        return {};
    }
    if (sync.step == ClockStep::Failed) {
        return {QStringLiteral("ошибка"), fromUtf8(timesync::sntpFailureText(server))};
    }
    const QString offset = QStringLiteral("Расхождение с %1: %2")
                               .arg(fromUtf8(server), signedMs(sync.exchange.offsetMs));
    switch (sync.step) {
        case ClockStep::Kept:
            return {QStringLiteral("сверено"),
                    offset + QStringLiteral("\nЧасы ведёт системная служба времени; не изменены.")};
        case ClockStep::Refused:
            return {QStringLiteral("отказ"),
                    offset + '\n' + fromUtf8(std::string(timesync::kSetClockFailedText))};
        default:
            return {QStringLiteral("задано"),
                    offset + QStringLiteral("\nЧасы установлены по серверу.")};
    }
}

StartupClockReport synchronizeSystemClock(bool sinhrTime, const std::string& server,
                                          platform::SystemClock& clock, platform::Tick& tick,
                                          const timesync::ShowMessage& showMessage,
                                          const timesync::SntpOptions& options,
                                          const std::function<bool()>& disciplined) {
    return startupClockReport(
        timesync::SinhrSisDate(sinhrTime, server, clock, tick, showMessage, options, disciplined),
        server);
}

}  // namespace horalux::ui
