#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "link/exchange/BoardRequest.h"
#include "link/exchange/ExchangeRecord.h"

namespace horalux::link {

// What the main side does for the exchange thread; each routine does nothing unless the owner
// overrides it, so an owner writes only what it uses. Every routine runs on the main thread. All
// but onExchangeInfo, onRingState and onExchangeBatchEnd run while the exchange thread waits for
// them to return (see MainThread), so they may read the board state and edit the current request
// of the ring without racing the thread; those three are handed over without waiting, in
// batches. None may wait for the exchange thread.
class ExchangeEvents {
  public:
    virtual ~ExchangeEvents() = default;

    // The current request used up its tries. The receiver owns the copy and either drops the
    // request (dropFailedRequest, which hands the copy back to the thread), keeps it going
    // (reviveFailedRequest) and lets the copy go, or stops the exchange; it returns true then.
    // False (what an owner that does not override it says) lets the thread drop the request, so
    // the ring goes on.
    virtual bool onRequestFailed(std::unique_ptr<BoardRequest> /*copy*/) { return false; }
    // kBoardModeMaster, kBoardModeSlave or the mode register's value.
    virtual void onBoardMode(std::uint8_t /*code*/) {}
    // The bytes of one poll, block read or written frame, every one in order. The record is lent
    // for the call; keep a copy if needed. An owner that keeps none also says so in
    // takesExchangeInfo.
    virtual void onExchangeInfo(const TStrMsg& /*record*/) {}
    // Records the main side fell too far behind to be handed (see kMaxPostedRecords): `count`
    // of the oldest were dropped, just before the records delivered next. Board state, modes
    // and failures are never dropped.
    virtual void onExchangeInfoDropped(std::size_t /*count*/) {}
    // Whether onExchangeInfo would keep anything now. While it would not, no record is formatted
    // or handed over: the line is polled about twelve times a second.
    virtual bool takesExchangeInfo() const { return true; }
    // True when the ring is empty. Reported on every loop turn, but a batch
    // delivers only the latest report, after its records; it may be older than a request the
    // main side queued since.
    virtual void onRingState(bool /*empty*/) {}
    // After the records and the ring state of one batch: a place to show them all at once.
    virtual void onExchangeBatchEnd() {}
    // After a status frame or a clock reply.
    virtual void refreshBoardView() {}
    // After a user-field values reply.
    virtual void refreshUserFields() {}
    // The line is gone (hang-up, I/O errors, a failed block read): the thread has left its loop
    // and will not touch the port again; the main side may offer to reconnect. Told once.
    virtual void onLinkDown() {}
};

}  // namespace horalux::link
