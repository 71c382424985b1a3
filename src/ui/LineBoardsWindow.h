#pragma once

#include <QDialog>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "config/RegisterImage.h"
#include "config/SettingDifferences.h"
#include "link/exchange/ExchangeEvents.h"
#include "link/session/Session.h"
#include "settings/ProgramSettings.h"

namespace Ui {
class LineBoardsWindow;
}

namespace horalux::link {
struct FoundBoard;
}

namespace horalux::ui {

class RegisterFileDialogs;

// "Табло на линии": the boards the last scan of the connected port found (kept per port in the
// settings), a check box per row, and actions run board after board on the checked ones over
// the session's own exchange: the current address is switched per board and the main window's
// board is put back afterwards. While it works the window takes the exchange's reports, so a
// board that does not answer fails its row rather than asking the user.
class LineBoardsWindow final : public QDialog, private link::ExchangeEvents {
    Q_OBJECT
  public:
    struct Parts {
        link::Session& session;
        link::ExchangeEvents& ownerEvents;  // the main window, given the reports back afterwards
        link::BusyIndicator& ownerBusy;
        RegisterFileDialogs& dialogs;
        // Makes a board the connected one, as choosing it in "Подключение" would.
        std::function<void(std::uint8_t address, std::uint32_t speed)> connectTo;
    };
    explicit LineBoardsWindow(const Parts& parts, QWidget* parent = nullptr);
    ~LineBoardsWindow() override;

    // Shows the last scan of the port now in use.
    void showBoards();
    void setChecked(int row, bool checked);

    // The actions on the checked boards; false when nothing was started (no board checked, no
    // exchange, a file that cannot be used).
    bool backupTo(const std::filesystem::path& folder);
    bool writeFile(const std::filesystem::path& file);
    bool compareWith(const std::filesystem::path& file);
    bool syncTime();
    // Ends the work after the current board.
    void stop();
    bool working() const { return working_; }

    int rowCount() const;
    QString cellText(int row, int column) const;
    // What a double click on a row's result shows: the differing registers of the last compare.
    QString differencesText(int row) const;

  private:
    enum Column { AddressColumn, ModeColumn, ClockColumn, ResultColumn };
    // What one board's step came to: the row's text, and whether the board is done.
    struct StepResult {
        bool done = false;
        QString text;
    };
    using BoardStep = std::function<StepResult(std::size_t row)>;

    bool runOnChecked(const QString& title, const BoardStep& step);
    bool waitForRing();
    // The row's text of what failed the current board.
    StepResult failed(const QString& why) const;
    void find();
    void setRow(int row, const settings::ScannedBoard& board);
    void setResult(std::size_t row, const QString& text);
    // The results an action does not renew stay, marked as older (LineBoardsResults.cpp).
    void markResultsOlder();
    // The first columns fit their contents; the result column takes the rest and wraps.
    void fitColumns();
    // The board chosen in the search window: checked, selected and scrolled to.
    void pickBoard(const link::FoundBoard& board);
    void onCellDoubleClicked(int row, int column);
    void setWorking(bool working);
    std::optional<config::RegisterImage> readFile(const std::filesystem::path& file);
    settings::LineScan* lastScan();

    // ExchangeEvents, while the window works: a failure fails the board's row.
    bool onRequestFailed(std::unique_ptr<link::BoardRequest> copy) override;
    void onBoardMode(std::uint8_t code) override;
    void onExchangeInfo(const link::TStrMsg& record) override;
    bool takesExchangeInfo() const override;
    void onRingState(bool empty) override;
    void refreshBoardView() override;
    void refreshUserFields() override;
    void onLinkDown() override;

    std::unique_ptr<Ui::LineBoardsWindow> ui_;
    Parts parts_;
    std::vector<settings::ScannedBoard> boards_;
    std::vector<std::vector<config::SettingDifference>> differences_;
    bool working_ = false;
    bool stopRequested_ = false;
    std::string failure_;  // why the current board's requests failed
};

}  // namespace horalux::ui
