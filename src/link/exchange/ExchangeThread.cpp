#include "link/exchange/ExchangeThread.h"

#include <utility>

#include "link/exchange/Messages.h"
#include "link/wire/FrameIo.h"
#include "link/wire/PortAccess.h"
#include "platform/ThreadPriority.h"
#include "timesync/BoardTime.h"
#include "timesync/CivilTime.h"

namespace horalux::link {

TNewThread::TNewThread(const ExchangeContext& context)
    : context_(context),
      main_(context.mainThread, context.events, context.prompts, stop_.get_token(), &context.tick),
      line_(context.port, context.tick, context.delayTimeMs),
      builder_(std::make_unique<RequestFrameBuilder>()),
      decoder_(line_, ring_, context.board, main_) {
    line_.setStopToken(stop_.get_token());
    line_.setLog([this](LogDirection direction, std::span<const std::uint8_t> bytes) {
        main_.exchangeInfo(direction, bytes);
    });
    line_.setPollFailureHandler([this] { pollFailed(); });
    // The post-write wait keeps the thread's own queue moving.
    line_.setDispatch([this] { dispatchAll(); });
    // A line that never goes quiet (noise, a chatty neighbour) must not keep the hunt from
    // ever getting back to the requests.
    decoder_.setGiveWay([this] { return workDue(); });
}

TNewThread::~TNewThread() {
    StopWorker();
    join();
}

void TNewThread::Start() {
    if (thread_.joinable() || finished_) {
        return;
    }
    thread_ = std::jthread([this] { body(); });
}

void TNewThread::StopWorker() {
    stop_.request_stop();
}

void TNewThread::join() {
    if (thread_.joinable()) {
        thread_.join();
    }
}

void TNewThread::body() {
    platform::lowerCurrentThreadPriority();
    while (runOnce()) {
        main_.endBatch();
    }
    main_.endBatch();
    finished_ = true;
}

void TNewThread::PostToWorker(std::uint32_t message, std::unique_ptr<BoardRequest> request) {
    std::lock_guard lock(messagesMutex_);
    messages_.push_back({message, std::move(request)});
}

bool TNewThread::dispatchOne() {
    WorkerMessage taken;
    {
        std::lock_guard lock(messagesMutex_);
        if (messages_.empty()) {
            return false;
        }
        taken = std::move(messages_.front());
        messages_.pop_front();
    }
    if (taken.message == WM_DROP_REQUEST && taken.request) {
        dropFailed(*taken.request);
    }
    return true;
}

void TNewThread::dispatchAll() {
    while (dispatchOne()) {
    }
}

void TNewThread::dropFailed(const BoardRequest& copy) {
    // Only the failed request the copy stands for is dropped: a late reply may have completed
    // it meanwhile, and the next request must not go in its place.
    const BoardRequest* current = ring_.current();
    if (current != nullptr && current->failed && current->address == copy.address &&
        current->command == copy.command && current->param1 == copy.param1 &&
        current->param2 == copy.param2) {
        ring_.advance();
    }
}

bool TNewThread::workDue() {
    {
        std::lock_guard lock(messagesMutex_);
        if (!messages_.empty()) {
            return true;
        }
    }
    const BoardRequest* request = ring_.current();
    if (request == nullptr) {
        return false;
    }
    if (!request->expectsReply) {
        return true;
    }
    if (request->failed) {
        return false;  // the main side decides; its answer comes as a message
    }
    return request->triesLeft <= 0 ||
           platform::tickReached(context_.tick.nowMs(), request->nextSendTick);
}

void TNewThread::pollFailed() {
    // One report per run of failures, not one per poll.
    if (++failedPolls_ == 1) {
        main_.error(kErrorReadingPort);
    }
}

void TNewThread::markLinkDown() {
    if (linkDown_.exchange(true)) {
        return;
    }
    main_.error(kErrorReadingPort);
    main_.linkDown();
}

bool TNewThread::runOnce() {
    const bool goOn = turn();
    // A read record waits only within its turn for the decoder to say what it meant.
    main_.postHeld();
    return goOn;
}

bool TNewThread::turn() {
    if (stopping() || linkDown_) {
        return false;
    }
    dispatchOne();

    const Line::Poll poll = line_.pollByte();
    if (poll.status == Line::PollStatus::Gone) {
        markLinkDown();
        return false;
    }
    if (poll.status == Line::PollStatus::Failed) {
        if (failedPolls_ >= kFailedPollsMeaningGone) {
            markLinkDown();
            return false;
        }
    } else {
        failedPolls_ = 0;
    }
    if (stopping()) {
        return false;
    }

    if (poll.status == Line::PollStatus::Byte) {
        const DecodeOutcome outcome = decoder_.decodeIncoming(poll.byte);
        if (outcome == DecodeOutcome::LinkLost) {
            markLinkDown();
            return false;
        }
        if (decoder_.takeStatusFrame()) {
            // "Slave" means a hundred idle polls since the last status frame, not in all.
            idlePolls_ = 0;
        }
    } else if (context_.board.StatusFrameSeen.load()) {
        if (++idlePolls_ > kIdlePollsMeaningNoMaster) {
            context_.board.StatusFrameSeen.store(false);
            main_.boardMode(kBoardModeSlave);
            idlePolls_ = 0;
        }
    }
    if (stopping()) {
        return false;
    }

    if (ring_.empty()) {
        main_.ringState(true);
        return !stopping();
    }
    main_.ringState(false);
    if (stopping()) {
        return false;
    }
    BoardRequest* request = ring_.current();
    if (request == nullptr) {
        return true;
    }
    if (request->expectsReply) {
        retryStep(*request);
    } else {
        // Sent once and dropped, whatever comes of it.
        send(*request);
        ring_.advance();
    }
    return !stopping();
}

void TNewThread::retryStep(BoardRequest& request) {
    if (request.failed) {
        return;  // the main side decides
    }
    if (request.triesLeft <= 0) {
        request.failed = true;
        const BoardRequest failed = request;
        if (main_.requestFailed(std::make_unique<BoardRequest>(request))) {
            // The main side decided nothing; waiting for a decision would stall the ring.
            dropFailed(failed);
        }
        return;
    }
    const std::uint32_t now = context_.tick.nowMs();
    if (!platform::tickReached(now, request.nextSendTick)) {
        return;
    }
    --request.triesLeft;
    request.nextSendTick = now + request.retryInterval;
    send(request);
}

void TNewThread::send(BoardRequest& request) {
    if (request.clock && request.data) {
        stampClock(request);
        if (stopping()) {
            return;
        }
    }
    std::optional<std::span<const std::uint8_t>> data;
    if (request.data) {
        data = std::span<const std::uint8_t>(*request.data);
    }
    SendFrame(line_, *builder_, request.address, request.command, request.param1, request.param2,
              data);
}

void TNewThread::stampClock(BoardRequest& request) {
    // The PC clock carried on by the tick from when the write was queued: the thread reads no
    // clock of its own, and a step of the PC clock meanwhile is not worth a second reading.
    const ClockReading reading = *request.clock;
    const auto nowLocal = [&] {
        return reading.localMs + static_cast<std::int64_t>(
                                     platform::elapsedMs(reading.tickMs, context_.tick.nowMs()));
    };
    const double wireMs =
        frameWireMs(kBlockFrameOverhead + request.data->size(), context_.port.speed());
    const std::int64_t from = nowLocal();
    const timesync::ClockWriteTiming timing = timesync::alignClockWrite(from, wireMs);
    WaitOnTick(
        context_.tick, [this] { dispatchAll(); }, stop_.get_token(),
        [&](double) { return timing.waitMs - static_cast<double>(nowLocal() - from); });
    const timesync::BoardTimePayload payload =
        timesync::makeBoardTimePayload(timesync::dateTimeOfEpochMs(timing.secondMs));
    request.data->assign(payload.begin(), payload.end());
}

void dropFailedRequest(TNewThread& thread, std::unique_ptr<BoardRequest> copy) {
    thread.PostToWorker(WM_DROP_REQUEST, std::move(copy));
}

}  // namespace horalux::link
