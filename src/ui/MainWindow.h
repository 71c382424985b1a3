#pragma once

#include <QLabel>
#include <QMainWindow>
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
#include "platform/SerialPort.h"
#include "platform/SystemClock.h"
#include "settings/ProgramSettings.h"
#include "timesync/SntpClient.h"
#include "timesync/SyncPeriod.h"
#include "ui/ConnectionDialog.h"
#include "ui/ExchangeLog.h"
#include "ui/QtMainThread.h"
#include "ui/QtMessagePump.h"
#include "ui/QtPrompts.h"

class QAction;

namespace Ui {
class TForm1;
}

namespace horalux::ui {

class FieldPanel;
class TForm3;
class TForm6;

// What the program entry hands the main window; tests point it at their own files and clock.
struct MainWindowOptions {
    std::filesystem::path settingsFile;
    platform::SystemClock* clock = nullptr;          // nullptr: the PC clock
    platform::SerialDeviceOpener* opener = nullptr;  // nullptr: any port, by its name
    timesync::SntpOptions sntp;
    // Whether the system's own time service keeps the clock (nullptr: ask the kernel).
    std::function<bool()> clockDisciplined;
};

// The period timer of the main window (`Timer2`).
class QtPeriodTimer final : public timesync::PeriodTimer {
  public:
    QTimer timer;
    void start(std::uint32_t intervalMs) override { timer.start(static_cast<int>(intervalMs)); }
    void stop() override { timer.stop(); }
};

// The main window: the PC clock, the board's fields, the menus from which every other window and
// board operation starts, the busy indication and the exchange log; the receiver of what the
// exchange thread reports. A view of the session it owns, which holds the port and the exchange.
class TForm1 final : public QMainWindow,
                     public link::ExchangeEvents,
                     public link::BusyIndicator,
                     public PortControl {
    Q_OBJECT
  public:
    // Runs the creation sequence: settings, time server, exchange panel, mode panel.
    explicit TForm1(MainWindowOptions options, QWidget* parent = nullptr);
    ~TForm1() override;

    // The windows the menus open, created after this one (ProgramWindows wires them).
    void setWindows(TForm6* remoteSettings, TForm3* parameters, TForm5* connection);
    // The lower panel (Panel3): the board's fields, refreshed here after the board's replies.
    FieldPanel& fieldPanel() const;
    ExchangeLog& exchangeLog() const { return *log_; }
    // The session the window shows: settings, board state, connection and operations.
    link::Session& session() { return session_; }
    link::BoardState& board() { return session_.board(); }
    link::BoardOperations& operations() { return session_.operations(); }
    link::Connection& connection() { return session_.connection(); }
    link::Prompts& prompts() { return prompts_; }

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
    void onRequestFailed(std::unique_ptr<link::BoardRequest> copy) override;
    void onBoardMode(std::uint8_t code) override;
    void onExchangeInfo(const link::TStrMsg& record) override;
    bool takesExchangeInfo() const override;
    void onRingState(bool empty) override;
    void refreshBoardView() override;
    void refreshUserFields() override;
    void onLinkDown() override;

    // PortControl (the connection dialog)
    bool connectTo(const std::optional<std::string>& port, std::uint32_t speed) override;
    ScanParts scanParts() override;

  signals:
    // The busy indication changed; the remote settings window follows it.
    void busyStateChanged(bool busy);

  protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;

  private:
    void buildStatusBar();
    void connectMenus();
    void startUpClock();
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
    void saveSettingsAtExit(bool ask);

    bool runConnectionDialog();
    // The activation sequence's reads: the registers and the wait for them, then the clock, the
    // user fields and the remembered period on whatever connection runs once the wait is over.
    void readAfterConnect();
    // The second half, when owed and a connection runs; also after a reconnection.
    void finishReadAfterConnect();
    void reconnect();
    void askReconnect();

    std::unique_ptr<Ui::TForm1> ui_;
    MainWindowOptions options_;
    QtMainThread mainThread_;
    QtPrompts prompts_;
    QtMessagePump pump_;
    link::Session session_;
    settings::ProgramSettings& settings_;  // the session's
    QtPeriodTimer periodTimer_;
    timesync::SyncPeriod period_;
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
