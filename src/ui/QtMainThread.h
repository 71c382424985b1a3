#pragma once

#include <QBasicTimer>
#include <QElapsedTimer>
#include <QObject>
#include <functional>

#include "link/exchange/MainThreadCalls.h"

namespace horalux::ui {

// Serves a session's main side from the Qt event loop: the wake hook of its queue posts an
// event to this object, whose handler runs Session::serve, as every other owner's loop does. A
// worker waiting in a call is
// served at once; what it only posted (log records, ring states) is taken at most every
// kPostedIntervalMs, so a busy line costs a few dozen wakes a second, not one per byte.
class QtMainThread final : public QObject {
    Q_OBJECT
  public:
    static constexpr int kPostedIntervalMs = 20;

    explicit QtMainThread(QObject* parent = nullptr) : QObject(parent) {}
    // The queue it is woken by and what runs it (the session's serve); both outlive this object.
    void attach(link::MainThreadCalls& calls, std::function<void()> serve);
    // Runs the pending calls through the session.
    void drain();

  protected:
    void customEvent(QEvent* event) override;
    void timerEvent(QTimerEvent* event) override;

  private:
    link::MainThreadCalls* calls_ = nullptr;
    std::function<void()> serve_;
    QElapsedTimer sinceDrain_;
    QBasicTimer deferred_;
};

}  // namespace horalux::ui
