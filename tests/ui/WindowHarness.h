#pragma once

#include <QMessageBox>
#include <QTimer>
#include <deque>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "support/BoardProcess.h"
#include "support/FakeSystemClock.h"
#include "ui/ConnectionDialog.h"
#include "ui/ParametersWindow.h"
#include "ui/ProgramWindows.h"

namespace horalux::test {

// How the test answers the next modal window.
enum class Answer { Ok, Cancel, Connect };

// Answers every message box and connection dialog the windows open, as a user would click, and
// writes down what each one said; other windows opened modally (the remote settings window) are
// closed unrecorded. Runs from a timer, so it answers inside nested event loops.
class ModalAnswerer final : public QObject {
    Q_OBJECT
  public:
    ModalAnswerer();
    // Answers in order; once used up, boxes get Cancel and dialogs are closed.
    std::deque<Answer> answers;
    // "box: text" and "dialog" in the order they were shown.
    std::vector<std::string> seen;
    // Called on every poll, inside whatever event loop runs: scenario steps hook in here.
    std::function<void()> onPoll;
    // Called with each modal window before it is answered, as a user fills a form in.
    std::function<void(QWidget*)> beforeAnswer;

    int count(const std::string& entry) const;

  private:
    void poll();
    void later(QObject* context, std::function<void()> click);
    QTimer timer_;
    QWidget* answering_ = nullptr;  // a modal whose answer is on its way
};

// A stand-in board on a pseudo-terminal and the program's windows, created and wired as the
// program does it, with a settings file naming the board's port.
class WindowHarness {
  public:
    struct Setup {
        std::vector<std::string> boardArgs;
        std::string settingsText;  // "%PORT%" is replaced with the board's device
        bool writeSettings = true;
    };
    explicit WindowHarness(const Setup& setup);
    ~WindowHarness();

    // Builds (again) the windows on the same settings file and board.
    void createWindows();
    void destroyWindows();

    // Runs events until `done` holds or the watchdog passes; false when it passed.
    static bool waitUntil(const std::function<bool()>& done, int watchdogMs = 20000);

    // The requests the board has decoded, as "74 26 00" (command, param1, param2).
    std::vector<std::string> boardRequests() const;
    int boardRequestCount(const std::string& request) const;

    ui::TForm1& form() { return windows_->main(); }
    std::string statusText(int panel) const;
    QAction* action(const char* name) const;
    const std::filesystem::path& settingsFile() const { return settingsFile_; }
    const std::string& port() const { return port_; }

    ModalAnswerer answerer;
    FakeSystemClock clock;
    // Opens the ports of windows created after it is set; nullptr: the serial devices.
    platform::SerialDeviceOpener* opener = nullptr;

  private:
    std::filesystem::path dir_;
    std::filesystem::path settingsFile_;
    std::filesystem::path boardLog_;
    std::unique_ptr<BoardProcess> board_;
    std::string port_;
    std::unique_ptr<ui::ProgramWindows> windows_;
};

}  // namespace horalux::test
