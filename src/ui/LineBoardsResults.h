#pragma once

#include <QString>

class QTableWidgetItem;

namespace horalux::ui {

// A result cell of the line window shows what the last action did to its board; one the last
// action did not renew keeps its text behind a mark, greyed, so that it is not read as news.
inline const QString kOlderMark = QStringLiteral("(ранее) ");

void showResult(QTableWidgetItem& cell, const QString& text);
void markOlder(QTableWidgetItem& cell);
bool isOlder(const QTableWidgetItem& cell);

}  // namespace horalux::ui
