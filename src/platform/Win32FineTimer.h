#pragma once

namespace horalux::platform {

// Holds the system timer at 1 ms for as long as it lives. Unraised, Windows rounds every Sleep
// and every wait up to its timer tick (about 15.6 ms), which stretches each pause of the
// exchange; the raise is for the whole system, so it is held only while a port is open and
// given back exactly once.
class FineTimer {
  public:
    FineTimer();
    ~FineTimer();
    FineTimer(const FineTimer&) = delete;
    FineTimer& operator=(const FineTimer&) = delete;

    // Whether the system granted 1 ms (it may refuse; the port works anyway, only coarser).
    bool raised() const { return raised_; }

  private:
    bool raised_ = false;
};

}  // namespace horalux::platform
