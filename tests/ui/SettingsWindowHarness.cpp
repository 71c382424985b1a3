#include "ui/SettingsWindowHarness.h"

#include <QCoreApplication>
#include <stdexcept>

namespace horalux::test {

platform::IoResult RecordingPort::write(const std::uint8_t* data, std::size_t length) {
    const platform::IoResult result = ForwardingPort::write(data, length);
    std::lock_guard lock(mutex_);
    for (std::size_t i = 0; i < result.count; ++i) {
        if (auto request = parser_.push(data[i])) {
            requests_.push_back(std::move(*request));
        }
    }
    return result;
}

std::vector<link::Request> RecordingPort::requests() const {
    std::lock_guard lock(mutex_);
    return requests_;
}

std::unique_ptr<platform::SerialPort> RecordingOpener::open(const std::string& name,
                                                            std::uint32_t speed) {
    auto port = opener_.open(name, speed);
    if (!port) {
        return nullptr;
    }
    auto recorder = std::make_unique<RecordingPort>(std::move(port));
    last_ = recorder.get();
    return recorder;
}

std::string RecordingOpener::lastFailureCause() const {
    return opener_.lastFailureCause();
}

std::vector<link::Request> RecordingOpener::requests() const {
    return last_ != nullptr ? last_->requests() : std::vector<link::Request>{};
}

WindowHarness::WindowHarness()
    : connection_({opener_, tick, clock, prompts, *this, calls, board, *this, *this, settings}),
      ops(connection_.operations()) {
    clock.time = {2026, 12, 7, 10, 30, 15, 0};
    settings.DelayTime = 0;
}

void WindowHarness::connect(const std::string& device) {
    if (!connection_.connect(device, 9600)) {
        throw std::runtime_error("cannot open " + device);
    }
}

void WindowHarness::onRequestFailed(std::unique_ptr<link::BoardRequest> copy) {
    ++failedRequests;
    connection_.dropFailedRequest(std::move(copy));
}

void WindowHarness::dispatch(std::uint32_t maxWaitMs) {
    calls.waitPending(std::chrono::milliseconds(maxWaitMs));
    calls.drain();
    connection_.settle();
    QCoreApplication::processEvents();
    if (whileWaiting) {
        whileWaiting();
    }
}

}  // namespace horalux::test
