#include "ui/SettingsWindowHarness.h"

#include <QCoreApplication>
#include <stdexcept>

#include "link/PortAccess.h"
#include "platform/PosixSerialPort.h"

namespace horalux::test {

platform::IoResult RecordingPort::write(const std::uint8_t* data, std::size_t length) {
    const platform::IoResult result = port_->write(data, length);
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

WindowHarness::WindowHarness() : ops(tick, clock, prompts, board, *this, *this) {
    clock.time = {2026, 12, 7, 10, 30, 15, 0};
}

WindowHarness::~WindowHarness() {
    if (thread_) {
        thread_->StopWorker();
        thread_.reset();
    }
    if (port_) {
        port_->close();
    }
}

void WindowHarness::connect(const std::string& device) {
    platform::PosixSerialOpener opener;
    auto port = link::OpenPort(opener, device, 9600, prompts);
    if (!port) {
        throw std::runtime_error("cannot open " + device);
    }
    auto recorder = std::make_unique<RecordingPort>(std::move(port));
    recorder_ = recorder.get();
    port_ = std::move(recorder);
    thread_ = std::make_unique<link::TNewThread>(
        link::ExchangeContext{*port_, tick, prompts, *this, calls, board, 0});
    ops.attachRing(&thread_->ring());
    thread_->Start();
}

std::vector<link::Request> WindowHarness::requests() const {
    return recorder_ != nullptr ? recorder_->requests() : std::vector<link::Request>{};
}

void WindowHarness::onRequestFailed(std::unique_ptr<link::BoardRequest> copy) {
    ++failedRequests;
    link::dropFailedRequest(*thread_, std::move(copy));
}

void WindowHarness::dispatch(std::uint32_t maxWaitMs) {
    calls.waitPending(std::chrono::milliseconds(maxWaitMs));
    calls.drain();
    QCoreApplication::processEvents();
    if (whileWaiting) {
        whileWaiting();
    }
}

}  // namespace horalux::test
