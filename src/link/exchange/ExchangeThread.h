#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <stop_token>
#include <thread>

#include "link/exchange/BoardRequest.h"
#include "link/exchange/BoardState.h"
#include "link/exchange/ExchangeEvents.h"
#include "link/exchange/MainThreadCalls.h"
#include "link/exchange/ReplyDecoder.h"
#include "link/exchange/RequestRing.h"
#include "link/exchange/WorkerSide.h"
#include "link/wire/Frame.h"
#include "link/wire/Line.h"
#include "link/wire/Prompts.h"
#include "platform/SerialPort.h"
#include "platform/Tick.h"

namespace horalux::link {

// What an exchange thread works with; everything outlives the thread.
struct ExchangeContext {
    platform::SerialPort& port;
    platform::Tick& tick;
    Prompts& prompts;        // shown on the main thread
    ExchangeEvents& events;  // run on the main thread
    MainThread& mainThread;  // how the thread reaches the main thread
    BoardState& board;
    std::uint32_t delayTimeMs = 100;  // extra ms of the post-write wait
};

// Consecutive failed polls after which the line counts as gone.
inline constexpr int kFailedPollsMeaningGone = 10;
// Idle polls with StatusFrameSeen set after which the master counts as gone.
inline constexpr int kIdlePollsMeaningNoMaster = 100;

// The exchange thread: the only reader and writer of the port. It owns a fresh request ring, sends
// the requests in order, retries those that await a reply, and has every reply decoded.
// The loop is one turn at a time (runOnce), so tests drive it on their own thread.
class TNewThread {
  public:
    explicit TNewThread(const ExchangeContext& context);
    // Asks the thread to end and waits for it. Never destroy it from inside one of its own
    // main-thread calls (StopWorker there, destroy afterwards): that call is what it waits for.
    ~TNewThread();
    TNewThread(const TNewThread&) = delete;
    TNewThread& operator=(const TNewThread&) = delete;

    // Starts the loop on its own thread.
    void Start();
    // Asks the loop to end; it leaves at the next check, within one poll or wait, and then no
    // longer touches the port. Pending main-thread calls are withdrawn. Does not wait.
    void StopWorker();
    // Waits until the thread has ended (after StopWorker, or after the link went down).
    void join();
    // True once the loop has been left (stop, link down).
    bool finished() const { return finished_.load(); }
    bool linkDown() const { return linkDown_.load(); }

    // Main thread: posts a message to the thread's own queue (WM_DROP_REQUEST with the copy
    // received with onRequestFailed). Taken at the start of a loop turn or during a
    // post-write wait. Other messages are ignored.
    void PostToWorker(std::uint32_t message, std::unique_ptr<BoardRequest> request = nullptr);

    RequestRing& ring() { return ring_; }

    // One turn of the loop; false when the loop is to end.
    bool runOnce();

  private:
    bool turn();

    struct WorkerMessage {
        std::uint32_t message = 0;
        std::unique_ptr<BoardRequest> request;
    };

    void body();
    // Takes at most one message; true when one was handled.
    bool dispatchOne();
    void dispatchAll();
    void dropFailed(const BoardRequest& copy);
    void retryStep(BoardRequest& request);
    void send(BoardRequest& request);
    // Waits until a clock write, sent now, would end on a whole second, and puts that second
    // into its payload.
    void stampClock(BoardRequest& request);
    void pollFailed();
    // Whether a turn of the loop would do something now: a message to take, a request to send
    // or a failure to report.
    bool workDue();
    void markLinkDown();
    bool stopping() const { return stop_.stop_requested(); }

    ExchangeContext context_;
    std::stop_source stop_;
    WorkerSide main_;
    Line line_;
    RequestRing ring_;
    std::unique_ptr<RequestFrameBuilder> builder_;  // a 64 KiB buffer: kept off the stack
    ReplyDecoder decoder_;
    std::mutex messagesMutex_;
    std::deque<WorkerMessage> messages_;
    int idlePolls_ = 0;
    int failedPolls_ = 0;
    std::atomic<bool> finished_{false};
    std::atomic<bool> linkDown_{false};
    std::jthread thread_;
};

// The main side's answer "drop" to onRequestFailed: hands the copy back to the thread, which
// frees it and moves past the failed request.
void dropFailedRequest(TNewThread& thread, std::unique_ptr<BoardRequest> copy);

}  // namespace horalux::link
