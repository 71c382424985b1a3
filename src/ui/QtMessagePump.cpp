#include "ui/QtMessagePump.h"

#include <QCoreApplication>
#include <QEventLoop>

namespace horalux::ui {

QtMessagePump::QtMessagePump(QtMainThread& mainThread) : mainThread_(mainThread) {
    wake_.setSingleShot(true);
}

void QtMessagePump::dispatch(std::uint32_t maxWaitMs) {
    // The timer bounds the sleep: without it an idle loop would wait for an event for ever.
    wake_.start(static_cast<int>(maxWaitMs));
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    wake_.stop();
    mainThread_.drain();
}

}  // namespace horalux::ui
