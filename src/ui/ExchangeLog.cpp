#include "ui/ExchangeLog.h"

#include <QCheckBox>
#include <QString>

#include "ui/LogView.h"

namespace horalux::ui {

ExchangeLog::ExchangeLog(LogView& view, QCheckBox& enabled, QObject* parent)
    : QObject(parent), view_(view), enabled_(enabled) {
    view_.setMaximumLineCount(kExchangeLogMaxLines);
}

void ExchangeLog::append(const link::TStrMsg& record) {
    if (!enabled_.isChecked() || !shown_) {
        return;
    }
    QString line = QString::number(record.Count);
    line += QLatin1Char(' ');
    line += QLatin1String(record.Text.data(), static_cast<qsizetype>(record.Text.size()));
    view_.appendLine(std::move(line));
}

void ExchangeLog::clear() {
    view_.clear();
}

}  // namespace horalux::ui
