#pragma once

#include <memory>

#include "ui/MainWindow.h"

namespace horalux::ui {

class FieldPanel;
class RegisterFileDialogs;
class TForm3;
class TForm5;
class TForm6;
class Tfmodf;

// The program's windows, created in the program's order (the main window with its session, the
// remote settings window, the program parameters window, the connection dialog, the user-field
// edit box) and wired to one another. The program, the window tests and the window benchmark
// all build them here, so what is tested is what ships. Destroyed in the reverse order.
class ProgramWindows {
  public:
    // `dialogs` asks the remote settings window's register file names; nullptr: file dialogs.
    explicit ProgramWindows(MainWindowOptions options, RegisterFileDialogs* dialogs = nullptr);
    ~ProgramWindows();
    ProgramWindows(const ProgramWindows&) = delete;
    ProgramWindows& operator=(const ProgramWindows&) = delete;

    TForm1& main() { return *form1_; }
    TForm6& remoteSettings() { return *form6_; }
    TForm3& parameters() { return *form3_; }
    TForm5& connection() { return *form5_; }
    Tfmodf& editBox() { return *editBox_; }
    FieldPanel& fieldPanel() { return form1_->fieldPanel(); }

  private:
    std::unique_ptr<RegisterFileDialogs> fileDialogs_;
    std::unique_ptr<TForm1> form1_;
    std::unique_ptr<TForm6> form6_;
    std::unique_ptr<TForm3> form3_;
    std::unique_ptr<TForm5> form5_;
    std::unique_ptr<Tfmodf> editBox_;
};

}  // namespace horalux::ui
