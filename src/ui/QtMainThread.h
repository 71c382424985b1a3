#pragma once

#include <QObject>
#include <functional>

#include "link/MainThreadCalls.h"

namespace horalux::ui {

// Runs the exchange thread's main-thread calls from the Qt event loop: the wake hook posts an
// event to this object, whose handler drains the pending calls.
class QtMainThread final : public QObject {
    Q_OBJECT
  public:
    explicit QtMainThread(QObject* parent = nullptr);
    link::MainThreadCalls& calls() { return calls_; }
    // Runs the pending calls, then the after-drain hook (the connection joins the exchange
    // threads stopped from inside those calls).
    void drain();
    void setAfterDrain(std::function<void()> hook) { afterDrain_ = std::move(hook); }

  protected:
    void customEvent(QEvent* event) override;

  private:
    link::MainThreadCalls calls_;
    std::function<void()> afterDrain_;
};

}  // namespace horalux::ui
