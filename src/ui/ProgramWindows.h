#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "link/session/Session.h"
#include "platform/SerialPort.h"
#include "platform/SystemClock.h"
#include "timesync/SntpClient.h"
#include "timesync/SyncPeriod.h"
#include "ui/MainWindow.h"
#include "ui/QtMainThread.h"
#include "ui/QtMessagePump.h"
#include "ui/QtPrompts.h"

namespace horalux::ui {

class FieldPanel;
class LineBoardsWindow;
class RegisterFileDialogs;
class TForm3;
class TForm5;
class TForm6;
class Tfmodf;

// What the program entry hands the windows; tests point it at their own files and clock.
struct ProgramOptions {
    std::filesystem::path settingsFile;
    platform::SystemClock* clock = nullptr;          // nullptr: the PC clock
    platform::SerialDeviceOpener* opener = nullptr;  // nullptr: any port, by its name
    timesync::SntpOptions sntp;
    // Whether the system's own time service keeps the clock (nullptr: ask the kernel).
    std::function<bool()> clockDisciplined;
};

// The root of the windowed program: loads the settings, builds the session on them with the Qt
// main side (the event loop, the prompts, the pump), the synchronisation period, runs the
// start-up clock step, then creates the windows in the program's order (the main window, the
// remote settings window, the program parameters window, the connection dialog, the user-field
// edit box) on that session and wires them; the settings are saved from here at shutdown. The
// program, the window tests and the window benchmark all build it, so what is tested is what
// ships. Destroyed in the reverse order.
class ProgramWindows {
  public:
    // `dialogs` asks the remote settings window's register file names; nullptr: file dialogs.
    explicit ProgramWindows(ProgramOptions options, RegisterFileDialogs* dialogs = nullptr);
    ~ProgramWindows();
    ProgramWindows(const ProgramWindows&) = delete;
    ProgramWindows& operator=(const ProgramWindows&) = delete;

    link::Session& session() { return session_; }
    TForm1& main() { return *form1_; }
    TForm6& remoteSettings() { return *form6_; }
    TForm3& parameters() { return *form3_; }
    TForm5& connection() { return *form5_; }
    Tfmodf& editBox() { return *editBox_; }
    FieldPanel& fieldPanel() { return form1_->fieldPanel(); }
    LineBoardsWindow& lineBoards() { return *lineBoards_; }

  private:
    // The settings file at shutdown; when it cannot be written and `ask`, the user may mend the
    // cause and try again.
    void saveSettings(bool ask);
    // The line's board at `address` becomes the connected one, at `speed`.
    void useBoard(std::uint8_t address, std::uint32_t speed);

    ProgramOptions options_;
    QtMainThread mainThread_;
    QtPrompts prompts_;
    QtMessagePump pump_;
    // Why the settings file was not read at start (it exists, yet is unreadable or too large);
    // such a file is left as it is, and the settings are not saved over it.
    std::string settingsUnread_;
    link::Session session_;
    QtPeriodTimer periodTimer_;
    timesync::SyncPeriod period_;
    std::unique_ptr<RegisterFileDialogs> fileDialogs_;
    std::unique_ptr<TForm1> form1_;
    std::unique_ptr<TForm6> form6_;
    std::unique_ptr<TForm3> form3_;
    std::unique_ptr<TForm5> form5_;
    std::unique_ptr<LineBoardsWindow> lineBoards_;
    std::unique_ptr<Tfmodf> editBox_;
};

}  // namespace horalux::ui
