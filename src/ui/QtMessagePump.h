#pragma once

#include <QTimer>

#include "link/session/BoardOperations.h"
#include "ui/QtMainThread.h"

namespace horalux::ui {

// Keeps the windows alive while a board operation waits for the ring: runs the Qt events and
// the exchange thread's pending calls, sleeping until one arrives or the wait's slice ends.
class QtMessagePump final : public link::MessagePump {
  public:
    explicit QtMessagePump(QtMainThread& mainThread);
    void dispatch(std::uint32_t maxWaitMs) override;

  private:
    QtMainThread& mainThread_;
    QTimer wake_;
};

}  // namespace horalux::ui
