#pragma once

#include <QTimer>

#include "link/BoardOperations.h"
#include "link/MainThreadCalls.h"

namespace horalux::ui {

// Keeps the windows alive while a board operation waits for the ring: runs the Qt events and
// the exchange thread's pending calls, sleeping until one arrives or the wait's slice ends.
class QtMessagePump final : public link::MessagePump {
  public:
    explicit QtMessagePump(link::MainThreadCalls& calls);
    void dispatch(std::uint32_t maxWaitMs) override;

  private:
    link::MainThreadCalls& calls_;
    QTimer wake_;
};

}  // namespace horalux::ui
