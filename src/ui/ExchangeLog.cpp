#include "ui/ExchangeLog.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QEvent>
#include <QPlainTextEdit>
#include <QScrollBar>

namespace horalux::ui {

namespace {
const QEvent::Type kFlushEvent = static_cast<QEvent::Type>(QEvent::registerEventType());
}

ExchangeLog::ExchangeLog(QPlainTextEdit& view, QCheckBox& enabled, QObject* parent)
    : QObject(parent), view_(view), enabled_(enabled) {
    view_.setMaximumBlockCount(kExchangeLogMaxLines);
    view_.setLineWrapMode(QPlainTextEdit::NoWrap);
    view_.setUndoRedoEnabled(false);
}

void ExchangeLog::append(const link::TStrMsg& record) {
    if (!enabled_.isChecked() || !shown_) {
        return;
    }
    if (!pending_.isEmpty()) {
        pending_ += QLatin1Char('\n');
    }
    pending_ += QString::number(record.Count);
    pending_ += QLatin1Char(' ');
    pending_ += QLatin1String(record.Text.data(), static_cast<qsizetype>(record.Text.size()));
    if (!flushPosted_) {
        flushPosted_ = true;
        // Low priority: the batch grows while other events of this turn are handled.
        QCoreApplication::postEvent(this, new QEvent(kFlushEvent), Qt::LowEventPriority);
    }
}

void ExchangeLog::customEvent(QEvent* event) {
    if (event->type() == kFlushEvent) {
        flushPosted_ = false;
        flush();
    }
}

void ExchangeLog::flush() {
    if (pending_.isEmpty()) {
        return;
    }
    QScrollBar* bar = view_.verticalScrollBar();
    const bool atEnd = bar->value() == bar->maximum();
    // One block per line keeps the block cap a line cap.
    view_.appendPlainText(pending_);
    pending_.clear();
    if (atEnd) {
        bar->setValue(bar->maximum());
    }
}

void ExchangeLog::clear() {
    pending_.clear();
    view_.clear();
}

}  // namespace horalux::ui
