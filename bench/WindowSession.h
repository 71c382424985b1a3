#pragma once

#include <QTimer>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "support/BoardProcess.h"
#include "ui/ProgramWindows.h"

namespace horalux::bench {

// Runs events for `ms`, then returns.
void runEventsFor(int ms);
// Runs events until `done` holds; false when `watchdogMs` passed first.
bool runEventsUntil(const std::function<bool()>& done, int watchdogMs);

// A stand-in board on a pseudo-terminal and the program's windows on a settings file naming it,
// created and wired as the program does it. Once shown, the connection dialog is answered
// "Подключить" and any message box is cancelled (and written to standard error, as it spoils the
// figures).
class WindowSession {
  public:
    // Starts the board only; needs no application yet.
    explicit WindowSession(const std::vector<std::string>& boardArgs);
    ~WindowSession();
    WindowSession(const WindowSession&) = delete;
    WindowSession& operator=(const WindowSession&) = delete;

    // Creates the windows and starts answering what they ask.
    void createWindows();
    void destroyWindows();
    ui::TForm1& form() { return windows_->main(); }
    // Shows the main window without waiting for anything.
    void show();
    // Waits until the port is open and the first reads are done; false after the watchdog.
    bool waitConnectedAndIdle();
    // Shows or hides the exchange panel the way its menu item (N12) does, and sets its
    // check box.
    void setLog(bool shown, bool checked);
    int logLines() const;

  private:
    void answerModal();

    std::filesystem::path dir_;
    std::unique_ptr<test::BoardProcess> board_;
    std::unique_ptr<ui::ProgramWindows> windows_;
    std::unique_ptr<QTimer> answerer_;
    QWidget* answering_ = nullptr;
};

}  // namespace horalux::bench
