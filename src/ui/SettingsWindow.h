#pragma once

#include <QDialog>
#include <QTimer>
#include <cstdint>
#include <memory>

#include "config/RegisterImage.h"
#include "config/SettingsModel.h"
#include "ui/SettingsBinder.h"

namespace Ui {
class TForm6;
}

namespace horalux::link {
class BoardOperations;
class BoardState;
class Prompts;
}  // namespace horalux::link

namespace horalux::ui {

class RegisterFileDialogs;

// The remote settings window: reads the board's setting registers into ten tabs, writes back
// what the user changed, and saves or loads the settings as a register file. Created once and
// reopened; the filled lists persist between openings.
class TForm6 final : public QDialog {
    Q_OBJECT
  public:
    // The board operations bring the main window's busy indication with them; the prompts show
    // the notices and errors; the dialogs ask for register file names.
    TForm6(link::BoardOperations& ops, link::BoardState& board, link::Prompts& prompts,
           RegisterFileDialogs& dialogs, QWidget* parent = nullptr);
    ~TForm6() override;

    // Shows the window modally, centred on the desktop, reads the board and shows its settings.
    // Returns QDialog::Accepted after "Сохранить", QDialog::Rejected after "Отмена".
    int openAndRun();
    // How long opening waits for the board's registers (60 s; a test's slow line waits less).
    void setReadWaitMs(std::uint32_t ms) { readWaitMs_ = ms; }

  public slots:
    // Closing is refused while a read or write is being waited for.
    void reject() override;
    // Follows the main window's busy indication: disabled with the wait cursor while a batch of
    // requests runs, enabled again when the ring has drained.
    void followBusyState(bool busy);

  signals:
    // The board's settings are shown after opening.
    void boardShown();

  private:
    void readBoard();
    void saveToBoard();
    void saveToFile();
    void loadFromFile();

    // Encodes the window into EditCopy; false (with the error shown and the list brought into
    // view) when a list has no value.
    bool encode();
    // A board address no command could reach afterwards; false (with the message shown) for it.
    bool addressAllowed();
    void showList(const QString& name);
    // The ring drained: enabled again, showing the board copy anew when the wait ran out first.
    void finishReading();
    void showImage(const config::RegisterImage& image, bool fromBoard);
    void setReading(bool reading);
    void setButtonsEnabled(bool enabled);
    void enableWhenRingIdle();

    std::unique_ptr<Ui::TForm6> ui_;
    link::BoardOperations& ops_;
    link::BoardState& board_;
    link::Prompts& prompts_;
    RegisterFileDialogs& dialogs_;
    config::SettingsModel model_;
    SettingsBinder binder_;
    QTimer idleCheck_;
    std::uint32_t readWaitMs_ = 60000;
    bool busy_ = false;
    // The wait for the read ran out: what is shown may lack replies that came later.
    bool shownBeforeDrained_ = false;
};

}  // namespace horalux::ui
