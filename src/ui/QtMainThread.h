#pragma once

#include <QBasicTimer>
#include <QElapsedTimer>
#include <QObject>
#include <functional>

#include "link/exchange/MainThreadCalls.h"

namespace horalux::ui {

// Runs the exchange thread's main-thread calls from the Qt event loop: the wake hook posts an
// event to this object, whose handler drains the pending calls. A worker waiting in a call is
// served at once; what it only posted (log records, ring states) is taken at most every
// kPostedIntervalMs, so a busy line costs a few dozen wakes a second, not one per byte.
class QtMainThread final : public QObject {
    Q_OBJECT
  public:
    static constexpr int kPostedIntervalMs = 20;

    explicit QtMainThread(QObject* parent = nullptr);
    link::MainThreadCalls& calls() { return calls_; }
    // Runs the pending calls, then the after-drain hook (the connection joins the exchange
    // threads stopped from inside those calls).
    void drain();
    void setAfterDrain(std::function<void()> hook) { afterDrain_ = std::move(hook); }

  protected:
    void customEvent(QEvent* event) override;
    void timerEvent(QTimerEvent* event) override;

  private:
    link::MainThreadCalls calls_;
    std::function<void()> afterDrain_;
    QElapsedTimer sinceDrain_;
    QBasicTimer deferred_;
};

}  // namespace horalux::ui
