#pragma once

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QString>
#include <array>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>

#include "link/exchange/ExchangeRecord.h"
#include "settings/LogItems.h"

class QAction;
class QCheckBox;
class QWidget;

namespace horalux::settings {
struct ProgramSettings;
}

namespace horalux::ui {

class LogFindDialog;
class LogView;

// Lines the log keeps; at about twelve polls a second an uncapped log grows without end.
inline constexpr int kExchangeLogMaxLines = 10000;

// The exchange log of the main window: one line per record, "count text", and, as the user
// chooses in the log's context menu (an item for each of kLogItems), the time before it
// ("Время"), the direction ("Направление") and what the frame meant after it ("Расшифровка").
// Nothing is formatted while "Обмен данными"
// is unchecked or the panel is hidden. Each line is formatted once, when it comes or when the
// form changes, never when it is drawn.
class ExchangeLog final : public QObject {
    Q_OBJECT
  public:
    // With `settings` the form is read from and kept in the settings' View keys.
    ExchangeLog(LogView& view, QCheckBox& enabled, settings::ProgramSettings* settings = nullptr,
                QObject* parent = nullptr);
    ~ExchangeLog() override;

    void append(const link::TStrMsg& record);
    // Whether append would keep a record now; the exchange formats none while it would not.
    bool takesRecords() const;
    // Whether the panel is shown. A hidden log takes nothing in: it is cleared when shown.
    void setShown(bool shown) { shown_ = shown; }
    void clear();

    link::LogForm form() const { return form_; }
    // Shows every kept line in the new form and keeps it in the settings.
    void setForm(link::LogForm form);
    // Takes the form from the settings (after they were loaded).
    void loadForm();

    // Writes the kept lines as shown, one a line, to the file, replacing it as one step. On
    // failure the old file stays and the error names the file and the reason.
    void save(const std::filesystem::path& file) const;
    // "Сохранить журнал...": asks for the name, saves, and tells the user of a failure.
    void saveAs();
    // Asks the file name for "Сохранить журнал..."; nothing when the user cancelled. Tests
    // answer in the user's place.
    std::function<std::optional<std::filesystem::path>(QWidget*)> askSaveName;

    // The context menu's items, by their text.
    QAction* action(const QString& text) const;

  private:
    // A record as kept: the plain line and the parts the other forms add.
    struct Entry {
        QByteArray plain;  // "3 5A 01 FF "
        QByteArray meaning;
        link::RecordHead head;
    };

    QByteArray lineOf(const Entry& entry);
    void addActions();
    void find();
    void findAgain(bool forward);

    LogView& view_;
    QCheckBox& enabled_;
    settings::ProgramSettings* settings_;
    bool shown_ = true;
    link::LogForm form_;
    std::deque<Entry> entries_;
    std::string scratch_;  // the line being formatted, its room reused
    // The menu's item for each of kLogItems, in its order.
    std::array<QAction*, std::size(settings::kLogItems)> items_{};
    QString lastSearch_;
    QPointer<LogFindDialog> findDialog_;
};

}  // namespace horalux::ui
