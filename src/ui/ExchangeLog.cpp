#include "ui/ExchangeLog.h"

#include <QByteArray>
#include <QCheckBox>

#include "ui/LogView.h"

namespace horalux::ui {

ExchangeLog::ExchangeLog(LogView& view, QCheckBox& enabled, QObject* parent)
    : QObject(parent), view_(view), enabled_(enabled) {
    view_.setMaximumLineCount(kExchangeLogMaxLines);
    // Screen readers name the log after its switch.
    view_.setAccessibleName(QStringLiteral("Обмен данными"));
}

bool ExchangeLog::takesRecords() const {
    return enabled_.isChecked() && shown_;
}

void ExchangeLog::append(const link::TStrMsg& record) {
    if (!takesRecords()) {
        return;
    }
    const QByteArray count = QByteArray::number(record.Count);
    const auto textSize = static_cast<qsizetype>(record.Text.size());
    // Sized exactly: ten thousand lines kept, no room to spare in each.
    QByteArray line;
    line.reserve(count.size() + 1 + textSize);
    line.append(count).append(' ').append(record.Text.data(), textSize);
    view_.appendLine(std::move(line));
}

void ExchangeLog::clear() {
    view_.clear();
}

}  // namespace horalux::ui
