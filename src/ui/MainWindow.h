#pragma once

#include <QLabel>
#include <QMainWindow>
#include <QTimer>
#include <array>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>

#include "link/BoardOperations.h"
#include "link/BoardState.h"
#include "link/Connection.h"
#include "link/ExchangeEvents.h"
#include "platform/PortOpener.h"
#include "platform/PosixSystemClock.h"
#include "platform/SerialPort.h"
#include "platform/Tick.h"
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

class TForm3;

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
// exchange thread reports. It owns the port and the exchange while the program runs.
class TForm1 final : public QMainWindow,
                     public link::ExchangeEvents,
                     public link::BusyIndicator,
                     public PortControl {
    Q_OBJECT
  public:
    // Runs the creation sequence: settings, time server, exchange panel, mode panel.
    explicit TForm1(MainWindowOptions options, QWidget* parent = nullptr);
    ~TForm1() override;

    // The windows created after this one, in the program's order.
    void setWindows(TForm3* parameters, TForm5* connection);

    // ---- Hooks of the windows that come later -----------------------------------------
    // The field display: called on the main thread after a status frame or clock reply
    // (board view) and after a user-field reply (user fields). Panel3 is the area it fills.
    void setFieldRefresh(std::function<void()> boardView, std::function<void()> userFields);
    QWidget* fieldArea() const;
    // "Удаленная настройка часов" (N8): opens the remote settings window.
    void setRemoteSettingsWindow(std::function<void()> open);
    link::BoardState& board() { return board_; }
    link::BoardOperations& operations() { return connection_.operations(); }
    link::Connection& connection() { return connection_; }
    link::Prompts& prompts() { return prompts_; }
    // ------------------------------------------------------------------------------------

    const settings::ProgramSettings& programSettings() const { return settings_; }
    bool portOpen() const override { return connection_.isOpen(); }
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
    void readAfterConnect();
    void reconnect();
    void askReconnect();

    std::unique_ptr<Ui::TForm1> ui_;
    MainWindowOptions options_;
    platform::PosixSystemClock pcClock_;
    platform::SystemClock& clock_;
    platform::MonotonicTick tick_;
    settings::ProgramSettings settings_;
    link::BoardState board_;
    QtMainThread mainThread_;
    QtPrompts prompts_;
    QtMessagePump pump_;
    platform::PortOpener serialDevices_;
    link::Connection connection_;
    QtPeriodTimer periodTimer_;
    timesync::SyncPeriod period_;
    QTimer displayTimer_;
    ExchangeLog* log_ = nullptr;
    QLabel* statusPanels_[3] = {};
    QAction* modeShown_ = nullptr;  // the mode item checked last, by the board or the user

    TForm3* parameters_ = nullptr;
    TForm5* connectionDialog_ = nullptr;
    std::function<void()> refreshBoardView_;
    std::function<void()> refreshUserFields_;
    std::function<void()> openRemoteSettings_;

    std::unique_ptr<platform::SerialPort> port_;
    std::string openPortName_;
    std::unique_ptr<link::TNewThread> thread_;

    int handlerDepth_ = 0;  // exchange calls on the stack: no join may happen meanwhile
    bool busy_ = false;
    bool shownOnce_ = false;
    bool activating_ = false;
    bool firstActivationRun_ = false;
    bool leftForAnotherProgram_ = false;
    bool closing_ = false;
    bool linkDownAsked_ = false;
};

}  // namespace horalux::ui
