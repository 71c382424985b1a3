#pragma once

#include <QObject>

#include "link/MainThreadCalls.h"

namespace horalux::ui {

// Runs the exchange thread's main-thread calls from the Qt event loop: the wake hook posts an
// event to this object, whose handler drains the pending calls.
class QtMainThread final : public QObject {
    Q_OBJECT
  public:
    explicit QtMainThread(QObject* parent = nullptr);
    link::MainThreadCalls& calls() { return calls_; }

  protected:
    void customEvent(QEvent* event) override;

  private:
    link::MainThreadCalls calls_;
};

}  // namespace horalux::ui
