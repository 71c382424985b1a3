#pragma once

#include <QLabel>
#include <QMainWindow>
#include <QPointer>
#include <QTimer>
#include <array>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>

#include "link/exchange/BoardState.h"
#include "link/exchange/ExchangeEvents.h"
#include "link/session/BoardOperations.h"
#include "link/session/Connection.h"
#include "link/session/Session.h"
#include "settings/ProgramSettings.h"
#include "timesync/SyncPeriod.h"
#include "ui/ConnectionDialog.h"
#include "ui/ExchangeLog.h"
#include "ui/QtPrompts.h"
#include "ui/StartupClock.h"

class QAction;

namespace Ui {
class TForm1;
}

namespace horalux::ui {

class FieldPanel;
class TForm3;
class TForm6;

// The period timer of the main window (`Timer2`, its child, found by that name); does nothing
// while no main window holds it.
class QtPeriodTimer final : public timesync::PeriodTimer {
  public:
    QPointer<QTimer> timer;
    void start(std::uint32_t intervalMs) override {
        if (timer) {
            timer->start(static_cast<int>(intervalMs));
        }
    }
    void stop() override {
        if (timer) {
            timer->stop();
        }
    }
};

// What the root of the windows hands the main window: the session it shows, the prompts over
// it, the period and its timer, and how the settings are saved at the end. All outlive it.
struct MainWindowParts {
    link::Session& session;
    QtPrompts& prompts;
    timesync::SyncPeriod& period;
    QtPeriodTimer& periodTimer;
    std::filesystem::path settingsFile;  // named in "О программе"
    // Saves the settings at shutdown; `ask`: whether the user may be asked to try again.
    std::function<void(bool ask)> saveSettings;
};

// The main window: the PC clock, the board's fields, the menus from which every other window and
// board operation starts, the busy indication and the exchange log; the receiver of what the
// exchange thread reports. A view of the session the root built, which holds the port and the
// exchange; the window attaches itself to it for its lifetime.
class TForm1 final : public QMainWindow,
                     public link::ExchangeEvents,
                     public link::BusyIndicator,
                     public PortControl {
    Q_OBJECT
  public:
    // The window's part of the creation sequence (the root has loaded the settings): the period
    // marks, the exchange panel, the mode panel.
    explicit TForm1(const MainWindowParts& parts, QWidget* parent = nullptr);
    ~TForm1() override;

    // The windows the menus open, created after this one (ProgramWindows wires them).
    void setWindows(TForm6* remoteSettings, TForm3* parameters, TForm5* connection);
    // The lower panel (Panel3): the board's fields, refreshed here after the board's replies.
    FieldPanel& fieldPanel() const;
    ExchangeLog& exchangeLog() const { return *log_; }
    // The session the window shows: settings, board state, connection and operations.
    link::Session& session() override { return session_; }
    // Status panel 2: what the start-up clock step came to.
    void showStartupClock(const StartupClockReport& report);

    const settings::ProgramSettings& programSettings() const { return session_.settings(); }
    bool portOpen() const override { return session_.connection().isOpen(); }
    bool busy() const { return busy_; }

    // The activation sequence: the connection dialog while no port is open, then the first
    // reads. Runs on first showing and when the application becomes active again.
    void activationSequence();
    // The shutdown: stop the display timer, stop the exchange, close the port, save the
    // settings. Safe to call more than once and from inside the exchange's own calls. When the
    // settings cannot be saved the user is told why and may try again, unless `ask` is false
    // (ended by a signal: no one may be there to answer).
    void shutdown(bool ask = true);

    // link::BusyIndicator
    void ShowBusyState() override;

    // link::ExchangeEvents (main thread)
    bool onRequestFailed(std::unique_ptr<link::BoardRequest> copy) override;
    void onBoardMode(std::uint8_t code) override;
    void onExchangeInfo(const link::TStrMsg& record) override;
    bool takesExchangeInfo() const override;
    void onRingState(bool empty) override;
    void refreshBoardView() override;
    void refreshUserFields() override;
    void onLinkDown() override;

    // PortControl (the connection dialog)
    bool connectTo(const std::optional<std::string>& port, std::uint32_t speed) override;

  signals:
    // The busy indication changed; the remote settings window follows it.
    void busyStateChanged(bool busy);
    // "Устройство" → "Табло на линии...": the root opens the window of the line's boards.
    void lineBoardsRequested();

  protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;

  private:
    void buildStatusBar();
    void connectMenus();
    link::BoardOperations& operations() { return session_.operations(); }
    link::Connection& connection() { return session_.connection(); }
    void showClock();
    void applyExchangePanel();
    void setIdle();
    // Header, field area and the log's strip: where the busy cursor shows.
    std::array<QWidget*, 3> busyAreas() const;
    void onPeriodItem(int item);
    void showPeriodMarks();
    QAction* periodItem(int item) const;
    void onModeItem(bool master);
    void onParameters();
    void onConnectionItem();
    void showHelp();
    void showAbout();
    void applicationActivated();

    bool runConnectionDialog();
    // The activation sequence's reads: the registers and the wait for them, then the clock, the
    // user fields and the remembered period on whatever connection runs once the wait is over.
    void readAfterConnect();
    // The second half, when owed and a connection runs; also after a reconnection.
    void finishReadAfterConnect();
    void reconnect();
    void askReconnect();

    std::unique_ptr<Ui::TForm1> ui_;
    link::Session& session_;
    QtPrompts& prompts_;
    timesync::SyncPeriod& period_;
    QtPeriodTimer& periodTimer_;
    std::filesystem::path settingsFile_;
    std::function<void(bool ask)> saveSettings_;
    settings::ProgramSettings& settings_;  // the session's
    QTimer displayTimer_;
    ExchangeLog* log_ = nullptr;
    QLabel* statusPanels_[3] = {};
    QAction* modeShown_ = nullptr;  // the mode item checked last, by the board or the user

    TForm6* remoteSettings_ = nullptr;
    TForm3* parameters_ = nullptr;
    TForm5* connectionDialog_ = nullptr;

    bool busy_ = false;
    bool shownOnce_ = false;
    bool activating_ = false;
    bool firstActivationRun_ = false;
    bool leftForAnotherProgram_ = false;
    bool closing_ = false;
    bool linkDownAsked_ = false;
    bool afterConnectOwed_ = false;  // the activation's reads after the wait are still to come
};

}  // namespace horalux::ui
