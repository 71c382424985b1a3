#include "ui/LineBoardsWindow.h"

#include <QCheckBox>
#include <QHeaderView>
#include <QMessageBox>
#include <QPushButton>
#include <QTableWidget>
#include <algorithm>
#include <cerrno>
#include <cstring>

#include "config/RegisterFile.h"
#include "config/RegisterFileCheck.h"
#include "config/SettingDifferences.h"
#include "link/boardset/BoardDriver.h"
#include "link/boardset/BoardSteps.h"
#include "link/exchange/FrameMeaning.h"
#include "link/scan/BoardScan.h"
#include "settings/FileText.h"
#include "ui/LineBoardsResults.h"
#include "ui/RegisterFileDialogs.h"
#include "ui/ScanDialog.h"
#include "ui/SettingsBinder.h"
#include "ui/WindowPlacement.h"
#include "ui_LineBoardsWindow.h"

namespace horalux::ui {

namespace {

// One board's batch never waits longer than this; a board that does not answer fails sooner,
// through its first request that runs out of tries.
constexpr std::uint32_t kBoardLimitMs = 180000;

QString text(const std::string& s) {
    return QString::fromStdString(s);
}

QString modeText(settings::ScannedBoard::Mode mode) {
    switch (mode) {
        case settings::ScannedBoard::Master:
            return QStringLiteral("Мастер");
        case settings::ScannedBoard::Slave:
            return QStringLiteral("Slave");
        default:
            return QStringLiteral("неизвестен");
    }
}

QString clockText(const std::optional<std::int64_t>& s) {
    if (!s) {
        return QStringLiteral("неизвестны");
    }
    return (*s > 0 ? QStringLiteral("+") : QString()) + QString::number(*s) + QStringLiteral(" с");
}

settings::ScannedBoard scannedOf(const link::FoundBoard& found) {
    settings::ScannedBoard b;
    b.address = found.address;
    b.speed = found.speed;
    b.mode = !found.modeFlags ? settings::ScannedBoard::Unknown
             : found.master() ? settings::ScannedBoard::Master
                              : settings::ScannedBoard::Slave;
    b.clockDifferenceS = found.clockDifferenceS;
    return b;
}

}  // namespace

LineBoardsWindow::LineBoardsWindow(const Parts& parts, QWidget* parent)
    : QDialog(parent), ui_(std::make_unique<Ui::LineBoardsWindow>()), parts_(parts) {
    ui_->setupUi(this);
    // The line's work switches the session's board from one to the next: the main window's own
    // actions would land on whichever board is being worked, so it waits while this is open.
    setWindowModality(Qt::ApplicationModal);
    ui_->BoardTable->horizontalHeader()->setStretchLastSection(true);
    ui_->BoardTable->verticalHeader()->hide();
    // A long result (a failure naming its request) wraps in its row rather than being cut.
    ui_->BoardTable->setWordWrap(true);
    connect(ui_->FindButton, &QPushButton::clicked, this, &LineBoardsWindow::find);
    connect(ui_->CloseButton, &QPushButton::clicked, this, &QDialog::close);
    connect(ui_->StopButton, &QPushButton::clicked, this, &LineBoardsWindow::stop);
    connect(ui_->AllBox, &QCheckBox::clicked, this, [this](bool on) {
        for (int row = 0; row < rowCount(); ++row) {
            setChecked(row, on);
        }
    });
    connect(ui_->BoardTable, &QTableWidget::cellDoubleClicked, this,
            &LineBoardsWindow::onCellDoubleClicked);
    // The wrapped results take the height the result column's new width needs.
    connect(ui_->BoardTable->horizontalHeader(), &QHeaderView::sectionResized, ui_->BoardTable,
            &QTableWidget::resizeRowsToContents);
    connect(ui_->BackupButton, &QPushButton::clicked, this, [this] {
        const QString folder = askFolder(this, QStringLiteral("Папка для файлов настроек табло"));
        if (!folder.isEmpty()) {
            backupTo(folder.toStdString());
        }
    });
    connect(ui_->WriteButton, &QPushButton::clicked, this, [this] {
        if (const auto file =
                parts_.dialogs.openName(this, QStringLiteral("Записать файл на табло"))) {
            writeFile(*file);
        }
    });
    connect(ui_->CompareButton, &QPushButton::clicked, this, [this] {
        if (const auto file =
                parts_.dialogs.openName(this, QStringLiteral("Сравнить табло с файлом"))) {
            compareWith(*file);
        }
    });
    connect(ui_->SyncButton, &QPushButton::clicked, this, &LineBoardsWindow::syncTime);
}

LineBoardsWindow::~LineBoardsWindow() = default;

settings::LineScan* LineBoardsWindow::lastScan() {
    for (settings::LineScan& scan : parts_.session.settings().LineScans) {
        if (scan.port == parts_.session.settings().ComPort) {
            return &scan;
        }
    }
    return nullptr;
}

void LineBoardsWindow::showBoards() {
    const settings::LineScan* scan = lastScan();
    boards_ = scan != nullptr ? scan->boards : std::vector<settings::ScannedBoard>{};
    differences_.assign(boards_.size(), {});
    ui_->BoardTable->setRowCount(static_cast<int>(boards_.size()));
    for (std::size_t i = 0; i < boards_.size(); ++i) {
        setRow(static_cast<int>(i), boards_[i]);
    }
    fitColumns();
    ui_->AllBox->setChecked(false);
    ui_->StatusLabel->setText(
        scan == nullptr ? QStringLiteral("Порт %1 ещё не просматривался: нажмите «Найти».")
                              .arg(text(parts_.session.settings().ComPort))
                        : QStringLiteral("Порт %1: табло %2.")
                              .arg(text(parts_.session.settings().ComPort))
                              .arg(boards_.size()));
}

void LineBoardsWindow::setRow(int row, const settings::ScannedBoard& board) {
    auto* address = new QTableWidgetItem(text(link::boardAddressText(board.address)) +
                                         QStringLiteral("  %1 бит/с").arg(board.speed));
    address->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
    address->setCheckState(Qt::Unchecked);
    ui_->BoardTable->setItem(row, AddressColumn, address);
    ui_->BoardTable->setItem(row, ModeColumn, new QTableWidgetItem(modeText(board.mode)));
    ui_->BoardTable->setItem(row, ClockColumn,
                             new QTableWidgetItem(clockText(board.clockDifferenceS)));
    ui_->BoardTable->setItem(row, ResultColumn, new QTableWidgetItem());
}

void LineBoardsWindow::setChecked(int row, bool checked) {
    if (QTableWidgetItem* item = ui_->BoardTable->item(row, AddressColumn)) {
        item->setCheckState(checked ? Qt::Checked : Qt::Unchecked);
    }
}

int LineBoardsWindow::rowCount() const {
    return ui_->BoardTable->rowCount();
}

QString LineBoardsWindow::cellText(int row, int column) const {
    const QTableWidgetItem* item = ui_->BoardTable->item(row, column);
    return item != nullptr ? item->text() : QString();
}

QString LineBoardsWindow::differencesText(int row) const {
    if (row < 0 || static_cast<std::size_t>(row) >= differences_.size()) {
        return {};
    }
    QString lines;
    for (const config::SettingDifference& d : differences_[static_cast<std::size_t>(row)]) {
        lines += QStringLiteral("%1: на табло %2, в файле %3\n")
                     .arg(text(d.label), text(d.onBoard), text(d.inFile));
    }
    return lines;
}

void LineBoardsWindow::onCellDoubleClicked(int row, int column) {
    if (working_ || row < 0 || static_cast<std::size_t>(row) >= boards_.size()) {
        return;
    }
    if (column == AddressColumn) {
        const settings::ScannedBoard board = boards_[static_cast<std::size_t>(row)];
        parts_.connectTo(board.address, board.speed);
    } else if (column == ResultColumn && !differencesText(row).isEmpty()) {
        QMessageBox::information(
            this, QStringLiteral("Отличия от файла"),
            QStringLiteral("Табло %1, настройки, которые отличаются от файла:\n\n%2")
                .arg(text(link::boardAddressText(boards_[static_cast<std::size_t>(row)].address)),
                     differencesText(row)));
    }
}

void LineBoardsWindow::find() {
    if (working_) {
        return;
    }
    link::Session& session = parts_.session;
    const std::string port = session.settings().ComPort;
    std::vector<link::FoundBoard> found;
    std::optional<link::FoundBoard> chosen;
    bool restart = false;
    bool completed = false;
    {
        ScanDialog scan(session, port, static_cast<std::uint32_t>(session.settings().ComSpeed),
                        this);
        restart = session.connection().running();
        chosen = scan.run();
        found = scan.found();
        completed = scan.completed();
    }  // the line is given back here
    if (restart && session.connection().isOpen() && !session.connection().running()) {
        session.connection().start();
    }
    // A search cancelled, failed or empty says nothing of the boards remembered: only the board
    // chosen in it joins them.
    if (!completed || found.empty()) {
        if (chosen) {
            settings::LineScan* kept = lastScan();
            if (kept == nullptr) {
                kept = &session.settings().LineScans.emplace_back(settings::LineScan{port, {}});
            }
            const auto same = std::find_if(
                kept->boards.begin(), kept->boards.end(),
                [&](const settings::ScannedBoard& b) { return b.address == chosen->address; });
            if (same != kept->boards.end()) {
                *same = scannedOf(*chosen);
            } else {
                kept->boards.push_back(scannedOf(*chosen));
            }
            showBoards();
            pickBoard(*chosen);
        }
        return;
    }
    settings::LineScan fresh{port, {}};
    for (const link::FoundBoard& b : found) {
        fresh.boards.push_back(scannedOf(b));
    }
    // The newest scan goes last: when the saved scans are bounded, the oldest go first.
    std::erase_if(session.settings().LineScans,
                  [&](const settings::LineScan& scan) { return scan.port == port; });
    session.settings().LineScans.push_back(std::move(fresh));
    showBoards();
    if (chosen) {
        pickBoard(*chosen);
    }
}

void LineBoardsWindow::setResult(std::size_t row, const QString& result) {
    showResult(*ui_->BoardTable->item(static_cast<int>(row), ResultColumn), result);
    ui_->BoardTable->resizeRowToContents(static_cast<int>(row));
}

void LineBoardsWindow::setWorking(bool working) {
    working_ = working;
    for (QWidget* w :
         {static_cast<QWidget*>(ui_->FindButton), static_cast<QWidget*>(ui_->AllBox),
          static_cast<QWidget*>(ui_->BackupButton), static_cast<QWidget*>(ui_->WriteButton),
          static_cast<QWidget*>(ui_->CompareButton), static_cast<QWidget*>(ui_->SyncButton),
          static_cast<QWidget*>(ui_->CloseButton)}) {
        w->setEnabled(!working);
    }
    ui_->StopButton->setEnabled(working);
}

bool LineBoardsWindow::waitForRing() {
    link::BoardOperations& ops = parts_.session.operations();
    const bool drained = ops.WaitForRing(kBoardLimitMs);
    if (failure_.empty() && !drained) {
        failure_ =
            parts_.session.connection().running() ? "табло не ответило вовремя" : "обмен прекращён";
    }
    return failure_.empty();
}

bool LineBoardsWindow::runOnChecked(const QString& title, const BoardStep& step) {
    link::Session& session = parts_.session;
    std::vector<std::size_t> rows;
    std::vector<std::uint8_t> addresses;
    for (std::size_t i = 0; i < boards_.size(); ++i) {
        if (ui_->BoardTable->item(static_cast<int>(i), AddressColumn)->checkState() ==
            Qt::Checked) {
            rows.push_back(i);
            addresses.push_back(boards_[i].address);
        }
    }
    if (rows.empty()) {
        ui_->StatusLabel->setText(QStringLiteral("Отметьте табло, с которыми работать."));
        return false;
    }
    if (working_ || !session.operations().checkConnected()) {
        return false;
    }
    markResultsOlder();
    for (const std::size_t row : rows) {
        setResult(row, QString());
    }
    setWorking(true);
    stopRequested_ = false;
    session.attach(this, &parts_.ownerBusy);
    ui_->ProgressBar->setRange(0, static_cast<int>(rows.size()));
    ui_->ProgressBar->setValue(0);
    std::size_t next = 0;  // the steps run in the order of the rows
    link::boardset::BoardDriver driver(session.operations(), session.connection(), [&] {
        const link::Connection& line = session.connection();
        return stopRequested_ || !line.isOpen() || line.linkDown();
    });
    const auto outcomes =
        driver.run(addresses, [&](std::uint8_t address) -> link::boardset::BoardOutcome {
            const std::size_t row = rows[next++];
            const settings::ScannedBoard& board = boards_[row];
            ui_->StatusLabel->setText(
                QStringLiteral("%1: табло %2").arg(title, text(link::boardAddressText(address))));
            StepResult result;
            if (board.speed != session.connection().speed()) {
                result = failed(QStringLiteral("ошибка: табло на %1 бит/с, линия на %2 бит/с")
                                    .arg(board.speed)
                                    .arg(session.connection().speed()));
            } else {
                failure_.clear();
                result = step(row);
            }
            setResult(row, result.text);
            ui_->ProgressBar->setValue(ui_->ProgressBar->value() + 1);
            return {address,
                    result.done ? link::boardset::BoardOutcome::Done
                                : link::boardset::BoardOutcome::Failed,
                    {}};
        });
    std::size_t done = 0;
    std::size_t failures = 0;
    for (std::size_t i = 0; i < outcomes.size(); ++i) {
        switch (outcomes[i].state) {
            case link::boardset::BoardOutcome::NotDone:
                setResult(rows[i], QStringLiteral("не выполнено"));
                break;
            case link::boardset::BoardOutcome::Failed:
                ++failures;
                break;
            default:
                ++done;
                break;
        }
    }
    // The main window's own board is served again.
    session.attach(&parts_.ownerEvents, &parts_.ownerBusy);
    if (!session.connection().running() && session.connection().isOpen() &&
        !session.connection().linkDown()) {
        session.connection().start();
    }
    parts_.ownerEvents.refreshBoardView();
    const std::size_t notDone = rows.size() - done - failures;
    ui_->StatusLabel->setText(QStringLiteral("%1: готово %2, ошибок %3, не выполнено %4")
                                  .arg(title)
                                  .arg(done)
                                  .arg(failures)
                                  .arg(notDone));
    setWorking(false);
    return true;
}

void LineBoardsWindow::stop() {
    stopRequested_ = true;
}

std::optional<config::RegisterImage> LineBoardsWindow::readFile(const std::filesystem::path& file) {
    const std::filesystem::path path = config::registerFilePath(file);
    const config::RegisterFileCheck check = config::readRegisterFileWhole(path);
    if (check.image) {
        return check.image;
    }
    QMessageBox::warning(
        this, windowTitle(),
        QStringLiteral("Файл %1 не прочитан: %2").arg(text(path.string()), text(check.problem)));
    return std::nullopt;
}

LineBoardsWindow::StepResult LineBoardsWindow::failed(const QString& why) const {
    return {false, QStringLiteral("ошибка: ") + why};
}

bool LineBoardsWindow::backupTo(const std::filesystem::path& folder) {
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    if (ec) {
        QMessageBox::warning(this, windowTitle(),
                             QStringLiteral("Папка %1 не создана: %2")
                                 .arg(text(folder.string()), text(ec.message())));
        return false;
    }
    link::Session& session = parts_.session;
    return runOnChecked(QStringLiteral("Сохранение"), [&](std::size_t) -> StepResult {
        if (!link::boardset::readAll(session.operations(), [this] { return waitForRing(); })) {
            return failed(text(failure_));
        }
        // The file is replaced only now that the whole read completed.
        try {
            const std::filesystem::path saved = link::boardset::saveBoardFile(
                folder, session.operations().currentAddress(), session.board().lock()->BoardCopy);
            return {true, QStringLiteral("сохранено в ") + text(saved.filename().string())};
        } catch (const std::exception& e) {
            return failed(text(e.what()));
        }
    });
}

bool LineBoardsWindow::writeFile(const std::filesystem::path& file) {
    const std::optional<config::RegisterImage> image = readFile(file);
    if (!image) {
        return false;
    }
    link::Session& session = parts_.session;
    return runOnChecked(QStringLiteral("Запись"), [&](std::size_t) -> StepResult {
        auto wait = [this] { return waitForRing(); };
        if (!link::boardset::readAll(session.operations(), wait)) {
            return failed(text(failure_));
        }
        // Each board keeps its own address: one file serves the whole line.
        const link::boardset::FileWrite write =
            link::boardset::prepareFileWrite(session.board(), *image, false);
        session.operations().WriteRegisters();
        if (!wait()) {
            return failed(text(failure_));
        }
        const auto mismatches =
            link::boardset::readBack(session.operations(), session.board(), write.plan, wait);
        if (!mismatches) {
            return failed(text(failure_));
        }
        if (!mismatches->empty()) {
            QString list;
            for (const link::boardset::ReadBackMismatch& m : *mismatches) {
                list +=
                    (list.isEmpty() ? QString() : QStringLiteral(", ")) +
                    QStringLiteral("%1 = %2 вместо %3").arg(m.number).arg(m.read).arg(m.written);
            }
            return failed(QStringLiteral("не сохранены регистры ") + list);
        }
        return {true, QStringLiteral("записано регистров: %1").arg(write.plan.size())};
    });
}

bool LineBoardsWindow::compareWith(const std::filesystem::path& file) {
    const std::optional<config::RegisterImage> image = readFile(file);
    if (!image) {
        return false;
    }
    link::Session& session = parts_.session;
    return runOnChecked(QStringLiteral("Сравнение"), [&](std::size_t row) -> StepResult {
        differences_[row].clear();
        if (!link::boardset::readAll(session.operations(), [this] { return waitForRing(); })) {
            return failed(text(failure_));
        }
        differences_[row] = config::settingDifferences(session.board().lock()->BoardCopy, *image,
                                                       localeDecimalSeparator());
        if (differences_[row].empty()) {
            return {true, QStringLiteral("совпадает с файлом")};
        }
        return {true, QStringLiteral("отличий: %1").arg(differences_[row].size())};
    });
}

bool LineBoardsWindow::syncTime() {
    link::Session& session = parts_.session;
    return runOnChecked(QStringLiteral("Синхронизация"), [&](std::size_t row) -> StepResult {
        session.operations().Sinkhr_date();
        if (!waitForRing()) {
            return failed(text(failure_));
        }
        boards_[row].clockDifferenceS = 0;
        ui_->BoardTable->item(static_cast<int>(row), ClockColumn)
            ->setText(clockText(boards_[row].clockDifferenceS));
        return {true, QStringLiteral("время записано")};
    });
}

bool LineBoardsWindow::onRequestFailed(std::unique_ptr<link::BoardRequest> copy) {
    if (failure_.empty()) {
        failure_ = "нет ответа на " + link::describeRequestInRussian(copy->address, copy->command,
                                                                     copy->param1, copy->param2);
    }
    parts_.session.connection().dropFailedRequest(std::move(copy));
    // The rest of this board's batch would fail the same way, one slow retry after another: a
    // fresh exchange starts for the next board.
    parts_.session.connection().stop();
    return true;
}

void LineBoardsWindow::onLinkDown() {
    if (failure_.empty()) {
        failure_ = "линия потеряна";
    }
    stopRequested_ = true;
    parts_.ownerEvents.onLinkDown();
}

// The mode the worked board reports is not the main window's board's.
void LineBoardsWindow::onBoardMode(std::uint8_t) {}
// The rest goes on to the main window, which keeps showing the line.
void LineBoardsWindow::onExchangeInfo(const link::TStrMsg& record) {
    parts_.ownerEvents.onExchangeInfo(record);
}
bool LineBoardsWindow::takesExchangeInfo() const {
    return parts_.ownerEvents.takesExchangeInfo();
}
void LineBoardsWindow::onRingState(bool empty) {
    parts_.ownerEvents.onRingState(empty);
}
void LineBoardsWindow::refreshBoardView() {
    parts_.ownerEvents.refreshBoardView();
}
void LineBoardsWindow::refreshUserFields() {
    parts_.ownerEvents.refreshUserFields();
}

}  // namespace horalux::ui
