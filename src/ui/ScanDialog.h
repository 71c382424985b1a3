#pragma once

#include <QDialog>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "link/scan/BoardScan.h"
#include "link/session/Session.h"

namespace Ui {
class ScanDialog;
}

namespace horalux::ui {

// "Поиск табло": scans a port for the boards on it, at the speed the connection dialog shows
// first, and lists them as they are found; "Выбрать" takes the selected one, "Отмена" stops the
// scan. The scan runs beside the main thread on the borrowed port, which is handed back when
// the window closes. The session lends the port and gives the tick, the clock, the pause after
// each frame and the way from the worker to the main thread.
class ScanDialog final : public QDialog {
    Q_OBJECT
  public:
    ScanDialog(link::Session& session, std::string port, std::uint32_t firstSpeed,
               QWidget* parent = nullptr);
    ~ScanDialog() override;

    // Shows the window modally; the board chosen with "Выбрать", or nothing.
    std::optional<link::FoundBoard> run();
    // Every board found, also when the scan was stopped before its end.
    const std::vector<link::FoundBoard>& found() const { return boards_; }
    bool scanning() const { return worker_.joinable() && !finished_; }
    // Whether the scan went through every address at every speed (not stopped, no failure).
    bool completed() const { return completed_; }

    // A list entry: "$4D/77   115200 бит/с   Мастер   часы +2 с".
    static QString boardText(const link::FoundBoard& board);

  public slots:
    void reject() override;

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    void start();
    // Stops the scan, waits for its worker and hands the port back.
    void end();
    void showProgress(const link::ScanProgress& progress);
    void addBoard(const link::FoundBoard& board);
    void showResult(const link::ScanResult& result);
    void choose();

    std::unique_ptr<Ui::ScanDialog> ui_;
    link::Session& session_;
    std::string port_;
    std::vector<std::uint32_t> speeds_;
    std::vector<link::FoundBoard> boards_;
    std::optional<link::FoundBoard> chosen_;
    std::unique_ptr<link::PortLoan> loan_;
    std::jthread worker_;
    bool started_ = false;
    bool finished_ = false;
    bool completed_ = false;
};

}  // namespace horalux::ui
