#include "ui/ProgramWindows.h"

#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include "settings/ProgramSettings.h"
#include "ui/ConnectionDialog.h"
#include "ui/FieldEditBox.h"
#include "ui/FieldPanel.h"
#include "ui/LineBoardsWindow.h"
#include "ui/ParametersWindow.h"
#include "ui/RegisterFileDialogs.h"
#include "ui/SettingsWindow.h"
#include "ui/StartupClock.h"

namespace horalux::ui {

ProgramWindows::ProgramWindows(ProgramOptions options, RegisterFileDialogs* dialogs)
    : options_(std::move(options)),
      pump_(mainThread_),
      session_({.prompts = &prompts_,
                .clock = options_.clock,
                .opener = options_.opener,
                .pump = &pump_,
                .settings = settings::loadSettings(options_.settingsFile, &settingsUnread_)}),
      period_(periodTimer_, session_.settings(), [this] { session_.operations().Sinkhr_date(); }) {
    // The event loop serves the session's main side; no wait, it runs when woken.
    mainThread_.attach(session_.queue(), [this] { session_.serve(0); });
    period_.load();
    // Before the window is first shown; it may wait up to the time server's time-out.
    const settings::ProgramSettings& s = session_.settings();
    const StartupClockReport clockReport = synchronizeSystemClock(
        s.SinhrTime, s.SinhrTimeServer, session_.clock(), session_.tick(),
        [this](std::string_view text) { prompts_.notify(text); }, options_.sntp,
        options_.clockDisciplined ? options_.clockDisciplined : platform::systemClockSynchronised);

    if (dialogs == nullptr) {
        fileDialogs_ = std::make_unique<QtRegisterFileDialogs>();
        dialogs = fileDialogs_.get();
    }
    form1_ = std::make_unique<TForm1>(MainWindowParts{session_, prompts_, period_, periodTimer_,
                                                      options_.settingsFile,
                                                      [this](bool ask) { saveSettings(ask); }});
    TForm1& main = *form1_;
    prompts_.setParent(&main);
    main.showStartupClock(clockReport);
    if (!settingsUnread_.empty()) {
        qWarning("horalux: %s", settingsUnread_.c_str());
        // Said once the windows are up, over the main window.
        QTimer::singleShot(0, &main, [this] {
            prompts_.notify(
                "Файл настроек не прочитан: программа работает с настройками по умолчанию и не "
                "изменит этот файл.\n" +
                settingsUnread_);
        });
    }
    form6_ = std::make_unique<TForm6>(session_.operations(), session_.board(), prompts_, *dialogs,
                                      &main);
    form3_ = std::make_unique<TForm3>(&main);
    form5_ = std::make_unique<TForm5>(main, &main);
    editBox_ = std::make_unique<Tfmodf>();

    main.setWindows(form6_.get(), form3_.get(), form5_.get());
    QObject::connect(&main, &TForm1::busyStateChanged, form6_.get(), &TForm6::followBusyState);
    lineBoards_ = std::make_unique<LineBoardsWindow>(
        LineBoardsWindow::Parts{
            session_, main, main, *dialogs,
            [this](std::uint8_t address, std::uint32_t speed) { useBoard(address, speed); }},
        &main);
    QObject::connect(&main, &TForm1::lineBoardsRequested, lineBoards_.get(), [this] {
        if (!lineBoards_->isVisible()) {
            lineBoards_->showBoards();
        }
        lineBoards_->show();
        lineBoards_->raise();
        lineBoards_->activateWindow();
    });
    // A click on a field opens the edit box in place; OK sends the field through the session.
    main.fieldPanel().attach(session_.board(), session_.operations(), *editBox_);
}

ProgramWindows::~ProgramWindows() {
    // The windows go first, in the reverse order (the later ones are the main window's
    // children); the main window's shutdown closes the port and saves the settings through this
    // object, whose session it is.
    editBox_.reset();
    lineBoards_.reset();
    form5_.reset();
    form3_.reset();
    form6_.reset();
    form1_.reset();
}

void ProgramWindows::useBoard(std::uint8_t address, std::uint32_t speed) {
    settings::ProgramSettings& s = session_.settings();
    if (!form1_->connectTo(s.ComPort, speed)) {
        return;
    }
    s.ComSpeed = static_cast<std::int32_t>(speed);
    session_.operations().setCurrentAddress(address);
    *session_.board().lock() = link::BoardData{};
    session_.board().StatusFrameSeen = false;
    if (session_.connection().running()) {
        session_.operations().ReadAllRegisters();
    }
}

void ProgramWindows::saveSettings(bool ask) {
    if (!settingsUnread_.empty()) {
        return;  // said at start: the file stays as it is
    }
    for (;;) {
        try {
            settings::saveSettings(options_.settingsFile, session_.settings());
            return;
        } catch (const std::exception& e) {
            qWarning("horalux: %s", e.what());
            if (!ask) {
                return;
            }
            // Asked while the window is still there: a full disk or a folder made writable
            // again can be mended before the settings are lost.
            QMessageBox box(QMessageBox::Warning, QStringLiteral("Horalux"),
                            QStringLiteral("Настройки не сохранены. Повторить сохранение?"),
                            QMessageBox::Ok | QMessageBox::Cancel, form1_.get());
            box.setInformativeText(QString::fromStdString(e.what()));
            box.button(QMessageBox::Ok)->setText(QStringLiteral("Повторить"));
            box.button(QMessageBox::Cancel)->setText(QStringLiteral("Выйти без сохранения"));
            if (box.exec() != QMessageBox::Ok) {
                return;
            }
        }
    }
}

}  // namespace horalux::ui
