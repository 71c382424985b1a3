// The line window's table as the user reads it: result cells, column widths, the board picked
// in the search window.
#include "ui/LineBoardsResults.h"

#include <QHeaderView>
#include <QTableWidget>

#include "link/scan/BoardScan.h"
#include "ui/LineBoardsWindow.h"
#include "ui_LineBoardsWindow.h"

namespace horalux::ui {

namespace {
constexpr int kOlderRole = Qt::UserRole + 1;
}  // namespace

void showResult(QTableWidgetItem& cell, const QString& text) {
    cell.setData(kOlderRole, false);
    cell.setText(text);
    cell.setToolTip(text);
    cell.setData(Qt::ForegroundRole, QVariant());
    QFont font = cell.font();
    font.setItalic(false);
    cell.setFont(font);
}

void markOlder(QTableWidgetItem& cell) {
    if (cell.text().isEmpty() || isOlder(cell)) {
        return;
    }
    const QString text = kOlderMark + cell.text();
    cell.setData(kOlderRole, true);
    cell.setText(text);
    cell.setToolTip(QStringLiteral("Результат прежнего действия: ") + text.mid(kOlderMark.size()));
    cell.setForeground(cell.tableWidget() != nullptr
                           ? cell.tableWidget()->palette().color(QPalette::Disabled, QPalette::Text)
                           : QColor(Qt::gray));
    QFont font = cell.font();
    font.setItalic(true);
    cell.setFont(font);
}

bool isOlder(const QTableWidgetItem& cell) {
    return cell.data(kOlderRole).toBool();
}

void LineBoardsWindow::markResultsOlder() {
    for (int row = 0; row < rowCount(); ++row) {
        if (QTableWidgetItem* cell = ui_->BoardTable->item(row, ResultColumn)) {
            markOlder(*cell);
        }
    }
}

void LineBoardsWindow::fitColumns() {
    QTableWidget& table = *ui_->BoardTable;
    for (const int column : {AddressColumn, ModeColumn, ClockColumn}) {
        table.resizeColumnToContents(column);
    }
    table.resizeRowsToContents();
}

void LineBoardsWindow::pickBoard(const link::FoundBoard& board) {
    for (std::size_t i = 0; i < boards_.size(); ++i) {
        if (boards_[i].address == board.address && boards_[i].speed == board.speed) {
            const int row = static_cast<int>(i);
            setChecked(row, true);
            ui_->BoardTable->selectRow(row);
            ui_->BoardTable->scrollToItem(ui_->BoardTable->item(row, AddressColumn));
            return;
        }
    }
}

}  // namespace horalux::ui
