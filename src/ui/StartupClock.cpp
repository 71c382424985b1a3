#include "ui/StartupClock.h"

#include <sys/timex.h>

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

bool systemClockDisciplined() {
    timex state{};
    const int rc = adjtimex(&state);
    return rc != -1 && rc != TIME_ERROR && (state.status & STA_UNSYNC) == 0;
}

StartupClockReport synchronizeSystemClock(bool sinhrTime, const std::string& server,
                                          platform::SystemClock& clock, platform::Tick& tick,
                                          const timesync::ShowMessage& showMessage,
                                          const timesync::SntpOptions& options,
                                          const std::function<bool()>& disciplined) {
    if (!sinhrTime) {
        return {};
    }
    const timesync::SntpResult result = timesync::querySntpServer(server, clock, tick, options);
    if (result.failure == timesync::SntpFailure::Stopped) {
        return {};  // the program is ending: nothing to tell
    }
    if (!result.ok()) {
        const std::string text = timesync::sntpFailureText(server);
        showMessage(text);
        return {QStringLiteral("ошибка"), fromUtf8(text)};
    }
    const QString offset =
        QStringLiteral("Расхождение с %1: %2").arg(fromUtf8(server), signedMs(result.offsetMs));
    if (disciplined()) {
        // Stepping the clock under the system's time service would fight it.
        return {QStringLiteral("сверено"),
                offset + QStringLiteral("\nЧасы ведёт системная служба времени; не изменены.")};
    }
    if (!clock.setUtc(result.serverUtcMs)) {
        showMessage(timesync::kSetClockFailedText);
        return {QStringLiteral("отказ"),
                offset + '\n' + fromUtf8(std::string(timesync::kSetClockFailedText))};
    }
    return {QStringLiteral("задано"), offset + QStringLiteral("\nЧасы установлены по серверу.")};
}

}  // namespace horalux::ui
