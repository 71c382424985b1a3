#pragma once

#include <QObject>
#include <QString>

#include "link/PortAccess.h"

class QCheckBox;
class QPlainTextEdit;

namespace horalux::ui {

// Lines the log keeps; at about twelve polls a second an uncapped log grows without end.
inline constexpr int kExchangeLogMaxLines = 10000;

// The exchange log of the main window: one line per record, "count text". Records arrive one
// by one from the exchange; they are collected and reach the text box once per event-loop
// turn, and nothing is formatted while "Обмен данными" is unchecked.
class ExchangeLog final : public QObject {
    Q_OBJECT
  public:
    ExchangeLog(QPlainTextEdit& view, QCheckBox& enabled, QObject* parent = nullptr);

    void append(const link::TStrMsg& record);
    // Whether the panel is shown. A hidden log takes nothing in: it is cleared when shown.
    void setShown(bool shown) { shown_ = shown; }
    // Empties the log, lines still waiting included.
    void clear();
    // Moves the waiting lines into the text box now.
    void flush();

  protected:
    void customEvent(QEvent* event) override;

  private:
    QPlainTextEdit& view_;
    QCheckBox& enabled_;
    QString pending_;
    bool flushPosted_ = false;
    bool shown_ = true;
};

}  // namespace horalux::ui
