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
#include "link/Connection.h"
#include "link/ExchangeEvents.h"
#include "link/MainThreadCalls.h"
#include "link/RequestParser.h"
#include "platform/PortOpener.h"
#include "platform/SerialPort.h"
#include "platform/Tick.h"
#include "settings/ProgramSettings.h"
#include "support/FakeSystemClock.h"
#include "support/ForwardingPort.h"
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
class RecordingPort final : public ForwardingPort {
  public:
    using ForwardingPort::ForwardingPort;

    platform::IoResult write(const std::uint8_t* data, std::size_t length) override;

    std::vector<link::Request> requests() const;

  private:
    mutable std::mutex mutex_;
    link::RequestParser parser_;
    std::vector<link::Request> requests_;
};

// Opens the real devices and keeps what is written to them.
class RecordingOpener final : public platform::SerialDeviceOpener {
  public:
    std::unique_ptr<platform::SerialPort> open(const std::string& name,
                                               std::uint32_t speed) override;
    std::string lastFailureCause() const override;
    std::vector<link::Request> requests() const;

  private:
    platform::PortOpener opener_;
    RecordingPort* last_ = nullptr;
};

// The main side of the program as the settings window needs it: a connection to a stand-in
// board's line, prompts that record, the settings the board address lives in, a message pump.
class WindowHarness final : public link::ExchangeEvents,
                            public link::BusyIndicator,
                            public link::MessagePump {
  public:
    WindowHarness();
    ~WindowHarness() override = default;

    // Opens the device and starts the exchange; throws std::runtime_error when it cannot.
    void connect(const std::string& device);
    std::vector<link::Request> requests() const { return opener_.requests(); }

    // ExchangeEvents
    void onRequestFailed(std::unique_ptr<link::BoardRequest> copy) override;
    void onBoardMode(std::uint8_t) override {}
    void onExchangeInfo(const link::TStrMsg&) override {}
    void onRingState(bool) override {}
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
    settings::ProgramSettings settings;
    int busyShown = 0;
    int failedRequests = 0;
    int linkDowns = 0;
    // Called on every turn of a wait, to look at the window meanwhile.
    std::function<void()> whileWaiting;

  private:
    RecordingOpener opener_;
    link::Connection connection_;

  public:
    link::BoardOperations& ops;
};

}  // namespace horalux::test
