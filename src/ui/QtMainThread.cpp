#include "ui/QtMainThread.h"

#include <QCoreApplication>
#include <QEvent>
#include <QTimerEvent>

namespace horalux::ui {

namespace {
const QEvent::Type kDrainEvent = static_cast<QEvent::Type>(QEvent::registerEventType());
}

void QtMainThread::attach(link::MainThreadCalls& calls, std::function<void()> serve) {
    calls_ = &calls;
    serve_ = std::move(serve);
    // Called on the exchange thread; postEvent is the thread-safe way into the event loop.
    calls.setWakeHook([this] { QCoreApplication::postEvent(this, new QEvent(kDrainEvent)); });
}

void QtMainThread::customEvent(QEvent* event) {
    if (event->type() != kDrainEvent || calls_ == nullptr) {
        return;
    }
    const qint64 since = sinceDrain_.isValid() ? sinceDrain_.elapsed() : kPostedIntervalMs;
    if (calls_->callPending() || since >= kPostedIntervalMs) {
        drain();
    } else if (!deferred_.isActive()) {
        // The worker posts on without waking us again until this drain has taken the lot.
        deferred_.start(static_cast<int>(kPostedIntervalMs - since), Qt::PreciseTimer, this);
    }
}

void QtMainThread::timerEvent(QTimerEvent* event) {
    if (event->timerId() == deferred_.timerId()) {
        drain();
        return;
    }
    QObject::timerEvent(event);
}

void QtMainThread::drain() {
    deferred_.stop();
    sinceDrain_.start();
    if (serve_) {
        serve_();
    }
}

}  // namespace horalux::ui
