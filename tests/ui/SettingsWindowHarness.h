#pragma once

#include <QString>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "link/BoardOperations.h"
#include "link/BoardState.h"
#include "link/ExchangeEvents.h"
#include "link/ExchangeThread.h"
#include "link/MainThreadCalls.h"
#include "link/RequestParser.h"
#include "platform/SerialPort.h"
#include "platform/Tick.h"
#include "support/FakeSystemClock.h"
#include "support/RecordingPrompts.h"
#include "ui/RegisterFileDialogs.h"

namespace horalux::test {

// File dialogs answered in the user's place: a name, or nothing for a cancelled dialog.
class AnsweringDialogs final : public ui::RegisterFileDialogs {
  public:
    std::optional<std::filesystem::path> saveAnswer;
    std::optional<std::filesystem::path> openAnswer;
    int asked = 0;

    std::optional<std::filesystem::path> saveName(QWidget*) override {
        ++asked;
        return saveAnswer;
    }
    std::optional<std::filesystem::path> openName(QWidget*) override {
        ++asked;
        return openAnswer;
    }
};

// Passes everything to the real port and keeps the requests written, as a board reads them.
class RecordingPort final : public platform::SerialPort {
  public:
    explicit RecordingPort(std::unique_ptr<platform::SerialPort> port) : port_(std::move(port)) {}

    platform::IoResult read(std::uint8_t* buffer, std::size_t length) override {
        return port_->read(buffer, length);
    }
    platform::IoResult write(const std::uint8_t* data, std::size_t length) override;
    void purge() override { port_->purge(); }
    platform::LineErrorState takeErrors() override { return port_->takeErrors(); }
    void setSpeed(std::uint32_t bitsPerSecond) override { port_->setSpeed(bitsPerSecond); }
    std::uint32_t speed() const override { return port_->speed(); }
    void close() override { port_->close(); }

    std::vector<link::Request> requests() const;

  private:
    std::unique_ptr<platform::SerialPort> port_;
    mutable std::mutex mutex_;
    link::RequestParser parser_;
    std::vector<link::Request> requests_;
};

// The main side of the program as the settings window needs it: board operations, the exchange
// thread on a stand-in board's line, prompts that record, and a message pump.
class WindowHarness final : public link::ExchangeEvents,
                            public link::BusyIndicator,
                            public link::MessagePump {
  public:
    WindowHarness();
    ~WindowHarness() override;

    // Opens the device and starts the exchange; throws std::runtime_error when it cannot.
    void connect(const std::string& device);
    std::vector<link::Request> requests() const;

    // ExchangeEvents
    void onRequestFailed(std::unique_ptr<link::BoardRequest> copy) override;
    void onBoardMode(std::uint8_t) override {}
    void onExchangeInfo(const link::TStrMsg&) override {}
    void onRingState(bool empty) override { ops.setRingIdle(empty); }
    void refreshBoardView() override {}
    void refreshUserFields() override {}
    void onLinkDown() override { ++linkDowns; }

    // BusyIndicator: the main window's status bar would read "Считывание регистров...".
    void ShowBusyState() override { ++busyShown; }
    // MessagePump
    void dispatch(std::uint32_t maxWaitMs) override;

    platform::MonotonicTick tick;
    FakeSystemClock clock;
    RecordingPrompts prompts;
    AnsweringDialogs dialogs;
    link::BoardState board;
    link::MainThreadCalls calls;
    link::BoardOperations ops;
    int busyShown = 0;
    int failedRequests = 0;
    int linkDowns = 0;
    // Called on every turn of a wait, to look at the window meanwhile.
    std::function<void()> whileWaiting;

  private:
    RecordingPort* recorder_ = nullptr;
    std::unique_ptr<platform::SerialPort> port_;
    std::unique_ptr<link::TNewThread> thread_;
};

}  // namespace horalux::test
