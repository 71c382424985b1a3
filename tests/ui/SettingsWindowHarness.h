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
#include "link/RequestParser.h"
#include "link/Session.h"
#include "platform/PosixSerialPort.h"
#include "platform/SerialPort.h"
#include "platform/Tick.h"
#include "settings/ProgramSettings.h"
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

// Opens the real devices and keeps what is written to them.
class RecordingOpener final : public platform::SerialDeviceOpener {
  public:
    std::unique_ptr<platform::SerialPort> open(const std::string& name,
                                               std::uint32_t speed) override;
    std::string lastFailureCause() const override;
    std::vector<link::Request> requests() const;

  private:
    platform::PosixSerialOpener opener_;
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

    FakeSystemClock clock;
    RecordingPrompts prompts;
    AnsweringDialogs dialogs;
    int busyShown = 0;
    int failedRequests = 0;
    int linkDowns = 0;
    // Called on every turn of a wait, to look at the window meanwhile.
    std::function<void()> whileWaiting;

  private:
    RecordingOpener opener_;
    link::Session session_;

  public:
    link::BoardState& board;
    settings::ProgramSettings& settings;
    link::BoardOperations& ops;
};

}  // namespace horalux::test
