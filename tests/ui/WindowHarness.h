#pragma once

#include <QMessageBox>
#include <QTimer>
#include <deque>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "config/RegisterImage.h"
#include "link/exchange/ExchangeEvents.h"
#include "link/session/Session.h"
#include "link/wire/RequestParser.h"
#include "platform/PortOpener.h"
#include "platform/SerialPort.h"
#include "support/BoardProcess.h"
#include "support/FakeSystemClock.h"
#include "support/ForwardingPort.h"
#include "support/RecordingPrompts.h"
#include "ui/ProgramWindows.h"
#include "ui/QtMainThread.h"
#include "ui/RegisterFileDialogs.h"

class QAction;

namespace horalux::ui {
class FieldPanel;
}

namespace horalux::test {

// How the test answers the next modal window. Scan: "Найти табло..." in the connection dialog,
// which is answered again once the scan window has closed. In the scan window Ok waits for the
// scan to find a board (or end) and chooses the first one; Cancel clicks "Отмена" at once.
enum class Answer { Ok, Cancel, Connect, Scan };

// Answers every message box and connection dialog the windows open, as a user would click, and
// writes down what each one said; other windows opened modally (the remote settings window) are
// closed unrecorded. Runs from a timer, so it answers inside nested event loops.
class ModalAnswerer final : public QObject {
    Q_OBJECT
  public:
    void start() { timer_.start(5); }
    void stop() { timer_.stop(); }
    // Answers in order; once used up, boxes get Cancel and dialogs are closed.
    std::deque<Answer> answers;
    // "box: text", "dialog" and "scan" in the order they were shown.
    std::vector<std::string> seen;
    // Called on every poll, inside whatever event loop runs: scenario steps hook in here.
    std::function<void()> onPoll;
    // Called with each modal window before it is answered, as a user fills a form in.
    std::function<void(QWidget*)> beforeAnswer;

    ModalAnswerer();
    int count(const std::string& entry) const;

  private:
    void poll();
    void later(QObject* context, std::function<void()> click);
    QTimer timer_;
    QWidget* answering_ = nullptr;  // a modal whose answer is on its way
    QWidget* outer_ = nullptr;      // the modal whose click opened it, if any
};

// File dialogs answered in the user's place: a name, or nothing for a cancelled dialog.
class AnsweringDialogs final : public ui::RegisterFileDialogs {
  public:
    std::optional<std::filesystem::path> saveAnswer;
    std::optional<std::filesystem::path> openAnswer;
    int asked = 0;
    std::vector<QString> titles;  // of every dialog asked, in order

    std::optional<std::filesystem::path> saveName(QWidget*, const QString& title) override {
        ++asked;
        titles.push_back(title);
        return saveAnswer;
    }
    std::optional<std::filesystem::path> openName(QWidget*, const QString& title) override {
        ++asked;
        titles.push_back(title);
        return openAnswer;
    }
};

// The requests written to one port, as a board reads them.
class WrittenRequests {
  public:
    void add(const std::uint8_t* data, std::size_t length);
    std::vector<link::Request> requests() const;

  private:
    mutable std::mutex mutex_;
    link::RequestParser parser_;
    std::vector<link::Request> requests_;
};

// Passes everything to the real port and keeps the requests written.
class RecordingPort final : public test::ForwardingPort {
  public:
    RecordingPort(std::unique_ptr<platform::SerialPort> port,
                  std::shared_ptr<WrittenRequests> written)
        : ForwardingPort(std::move(port)), written_(std::move(written)) {}

    platform::IoResult write(const std::uint8_t* data, std::size_t length) override {
        const platform::IoResult result = ForwardingPort::write(data, length);
        written_->add(data, result.count);
        return result;
    }

  private:
    std::shared_ptr<WrittenRequests> written_;
};

// Opens through `through` (nullptr: the serial devices) and keeps what is written to the port
// opened last.
class RecordingOpener final : public platform::SerialDeviceOpener {
  public:
    std::unique_ptr<platform::SerialPort> open(const std::string& name,
                                               std::uint32_t speed) override;
    std::string lastFailureCause() const override;
    std::vector<link::Request> requests() const;

    platform::SerialDeviceOpener* through = nullptr;

  private:
    platform::SerialDeviceOpener& inner() const;
    mutable platform::PortOpener devices_;
    std::shared_ptr<WrittenRequests> last_;
};

// The program's main side for the window tests, on a stand-in board on a pseudo-terminal with a
// settings file naming its port. Either the program's windows, created and wired by the same
// composition as the program's, or, for a window tested on its own (the remote settings window,
// the field panel), the harness's own session whose main side is the Qt event loop as in the
// program, with prompts that record. Both record the requests written to the board.
class WindowHarness : public link::ExchangeEvents,
                      public link::BusyIndicator,
                      public link::MessagePump {
  public:
    struct Setup {
        std::vector<std::string> boardArgs;
        std::string settingsText;  // each "%PORT%" is replaced with the board's device
        bool writeSettings = true;
        bool windows = true;  // false: only the harness's own session
    };
    // No board and no windows: the harness's own session, for a window tested on its own.
    WindowHarness();
    explicit WindowHarness(const Setup& setup);
    ~WindowHarness() override;

    // ---- The program's windows --------------------------------------------------------
    // Builds (again) the windows on the same settings file and board.
    void createWindows();
    void destroyWindows();
    ui::ProgramWindows& windows() { return *windows_; }
    ui::TForm1& form() { return windows_->main(); }
    std::string statusText(int panel) const;
    QAction* action(const char* name) const;
    const std::filesystem::path& settingsFile() const { return settingsFile_; }
    // The requests the board has decoded, as "74 26 00" (command, param1, param2).
    std::vector<std::string> boardRequests() const;
    int boardRequestCount(const std::string& request) const;

    // ---- The harness's own session ----------------------------------------------------
    // Opens the device at 9600 bit/s and starts the exchange; throws std::runtime_error when
    // it cannot. Without a device: the board's.
    void connect(const std::string& device);
    void connect() { connect(port_); }
    // The board's refreshes go to this panel.
    void showOn(ui::FieldPanel* panel) { panel_ = panel; }
    bool ringEmpty();
    // Ends the exchange, as a lost line or "Подключение" does; the port stays open.
    void stopExchange() { session_.connection().stop(); }

    // ---- Both --------------------------------------------------------------------------
    // Runs events until `done` holds or the watchdog passes; false when it passed.
    static bool waitUntil(const std::function<bool()>& done, int watchdogMs = 20000);
    // The requests written to the port opened last, by the windows or the own session.
    std::vector<link::Request> requests() const { return opener_.requests(); }
    const std::string& port() const { return port_; }

    // ExchangeEvents of the own session
    bool onRequestFailed(std::unique_ptr<link::BoardRequest> copy) override;
    bool takesExchangeInfo() const override { return false; }
    void refreshBoardView() override;
    void refreshUserFields() override;
    void onLinkDown() override { ++linkDowns; }
    // BusyIndicator: the main window's status bar would read "Считывание регистров...".
    void ShowBusyState() override { ++busyShown; }
    // MessagePump: the Qt events and the exchange thread's calls, then whileWaiting.
    void dispatch(std::uint32_t maxWaitMs) override;

    ModalAnswerer answerer;
    FakeSystemClock clock;
    RecordingPrompts prompts;
    AnsweringDialogs dialogs;
    // Opens the ports of windows created after it is set; nullptr: the serial devices.
    platform::SerialDeviceOpener* opener = nullptr;
    int busyShown = 0;
    int failedRequests = 0;
    int linkDowns = 0;
    // Called on every turn of a wait of the own session, to look at a window meanwhile.
    std::function<void()> whileWaiting;

  private:
    std::filesystem::path dir_;
    std::filesystem::path settingsFile_;
    std::filesystem::path boardLog_;
    std::unique_ptr<BoardProcess> board_;
    std::string port_;
    RecordingOpener opener_;
    ui::QtMainThread mainThread_;
    link::Session session_;
    ui::FieldPanel* panel_ = nullptr;
    std::unique_ptr<ui::ProgramWindows> windows_;

  public:
    // The own session's parts.
    link::BoardState& board;
    settings::ProgramSettings& settings;
    link::BoardOperations& ops;
};

// Saves `image` as a register file in the temporary folder, for the board's --registers.
std::string saveTemporaryRegisterFile(const std::string& name, const config::RegisterImage& image);

}  // namespace horalux::test
