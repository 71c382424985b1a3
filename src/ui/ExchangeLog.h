#pragma once

#include <QObject>

#include "link/exchange/ExchangeRecord.h"

class QCheckBox;

namespace horalux::ui {

class LogView;

// Lines the log keeps; at about twelve polls a second an uncapped log grows without end.
inline constexpr int kExchangeLogMaxLines = 10000;

// The exchange log of the main window: one line per record, "count text". Nothing is formatted
// while "Обмен данными" is unchecked or the panel is hidden.
class ExchangeLog final : public QObject {
    Q_OBJECT
  public:
    ExchangeLog(LogView& view, QCheckBox& enabled, QObject* parent = nullptr);

    void append(const link::TStrMsg& record);
    // Whether append would keep a record now; the exchange formats none while it would not.
    bool takesRecords() const;
    // Whether the panel is shown. A hidden log takes nothing in: it is cleared when shown.
    void setShown(bool shown) { shown_ = shown; }
    void clear();

  private:
    LogView& view_;
    QCheckBox& enabled_;
    bool shown_ = true;
};

}  // namespace horalux::ui
