#include "ui/QtMainThread.h"

#include <QCoreApplication>
#include <QEvent>

namespace horalux::ui {

namespace {
const QEvent::Type kDrainEvent = static_cast<QEvent::Type>(QEvent::registerEventType());
}

QtMainThread::QtMainThread(QObject* parent) : QObject(parent) {
    // Called on the exchange thread; postEvent is the thread-safe way into the event loop.
    calls_.setWakeHook([this] { QCoreApplication::postEvent(this, new QEvent(kDrainEvent)); });
}

void QtMainThread::customEvent(QEvent* event) {
    if (event->type() == kDrainEvent) {
        drain();
    }
}

void QtMainThread::drain() {
    calls_.drain();
    if (afterDrain_) {
        afterDrain_();
    }
}

}  // namespace horalux::ui
