#include "ui/ExchangeLog.h"

#include <QAction>
#include <QCheckBox>
#include <QMessageBox>
#include <QStringList>

#include "settings/FileText.h"
#include "settings/ProgramSettings.h"
#include "ui/LogFindDialog.h"
#include "ui/LogView.h"
#include "ui/RegisterFileDialogs.h"

namespace horalux::ui {

namespace {

std::optional<std::filesystem::path> askLogName(QWidget* parent) {
    const QString name = askSaveFile(parent, QStringLiteral("Сохранить журнал"),
                                     QStringLiteral("Текстовые файлы (*.txt);;Все файлы (*)"));
    if (name.isEmpty()) {
        return std::nullopt;
    }
    return std::filesystem::path(name.toStdString());
}

QByteArray bytesOf(const std::string& text) {
    return {text.data(), static_cast<qsizetype>(text.size())};
}

}  // namespace

ExchangeLog::ExchangeLog(LogView& view, QCheckBox& enabled, settings::ProgramSettings* settings,
                         QObject* parent)
    : QObject(parent), view_(view), enabled_(enabled), settings_(settings) {
    askSaveName = askLogName;
    view_.setMaximumLineCount(kExchangeLogMaxLines);
    // Screen readers name the log after its switch.
    view_.setAccessibleName(QStringLiteral("Обмен данными"));
    addActions();
    loadForm();
}

ExchangeLog::~ExchangeLog() = default;

void ExchangeLog::addActions() {
    const auto add = [this](const QString& text, const QKeySequence& keys, auto slot) {
        auto* action = new QAction(text, &view_);
        action->setShortcut(keys);
        // The keys work while the log has the focus, not anywhere in the main window.
        action->setShortcutContext(Qt::WidgetWithChildrenShortcut);
        connect(action, &QAction::triggered, this, slot);
        view_.addAction(action);
        return action;
    };
    const auto separator = [this] {
        auto* line = new QAction(&view_);
        line->setSeparator(true);
        view_.addAction(line);
    };
    add(QStringLiteral("Найти..."), QKeySequence::Find, [this] { find(); });
    add(QStringLiteral("Найти далее"), QKeySequence::FindNext, [this] { findAgain(true); });
    add(QStringLiteral("Найти ранее"), QKeySequence::FindPrevious, [this] { findAgain(false); });
    add(QStringLiteral("Сохранить журнал..."), QKeySequence::Save, [this] { saveAs(); });
    separator();
    for (std::size_t i = 0; i < items_.size(); ++i) {
        const settings::LogItem& item = settings::kLogItems[i];
        const auto key = static_cast<Qt::Key>(Qt::Key_0 + (item.shortcutDigit - '0'));
        items_[i] = add(
            QString::fromUtf8(item.menuText.data(), static_cast<qsizetype>(item.menuText.size())),
            QKeySequence(Qt::CTRL | key), [this] {
                link::LogForm form;
                for (std::size_t j = 0; j < items_.size(); ++j) {
                    form.*settings::kLogItems[j].flag = items_[j]->isChecked();
                }
                setForm(form);
            });
        items_[i]->setCheckable(true);
    }
    separator();
    add(QStringLiteral("Очистить"), QKeySequence(), [this] { clear(); });
}

QAction* ExchangeLog::action(const QString& text) const {
    for (QAction* action : view_.actions()) {
        if (action->text() == text) {
            return action;
        }
    }
    return nullptr;
}

bool ExchangeLog::takesRecords() const {
    return enabled_.isChecked() && shown_;
}

QByteArray ExchangeLog::lineOf(const Entry& entry) {
    // Shared, not copied, when the form adds nothing to this line.
    if (form_ == link::LogForm{} ||
        (form_ == link::LogForm{.meaning = true} && entry.meaning.isEmpty())) {
        return entry.plain;
    }
    scratch_.clear();
    link::appendLogLine({entry.plain.constData(), static_cast<std::size_t>(entry.plain.size())},
                        entry.head,
                        {entry.meaning.constData(), static_cast<std::size_t>(entry.meaning.size())},
                        form_, scratch_);
    return bytesOf(scratch_);
}

void ExchangeLog::append(const link::TStrMsg& record) {
    if (!takesRecords()) {
        return;
    }
    const QByteArray count = QByteArray::number(record.Count);
    const auto textSize = static_cast<qsizetype>(record.Text.size());
    Entry entry;
    // Sized exactly: ten thousand lines kept, no room to spare in each.
    entry.plain.reserve(count.size() + 1 + textSize);
    entry.plain.append(count).append(' ').append(record.Text.data(), textSize);
    if (!record.Meaning.empty()) {
        entry.meaning = bytesOf(record.Meaning);
    }
    entry.head = record.Head;
    view_.appendLine(lineOf(entry));
    entries_.push_back(std::move(entry));
    while (static_cast<int>(entries_.size()) > view_.lineCount()) {
        entries_.pop_front();  // the view let its oldest line go
    }
}

void ExchangeLog::clear() {
    entries_.clear();
    view_.clear();
}

void ExchangeLog::setForm(link::LogForm form) {
    form_ = form;
    for (std::size_t i = 0; i < items_.size(); ++i) {
        items_[i]->setChecked(form.*settings::kLogItems[i].flag);
    }
    if (settings_ != nullptr) {
        settings_->Log = form;
    }
    std::deque<QByteArray> lines;
    for (const Entry& entry : entries_) {
        lines.push_back(lineOf(entry));
    }
    view_.replaceLines(std::move(lines));
}

void ExchangeLog::loadForm() {
    if (settings_ != nullptr) {
        setForm(settings_->Log);
    }
}

void ExchangeLog::save(const std::filesystem::path& file) const {
    std::string text;
    for (int i = 0; i < view_.lineCount(); ++i) {
        const QByteArray& line = view_.lineBytes(i);
        text.append(line.constData(), static_cast<std::size_t>(line.size()));
        text += '\n';
    }
    settings::writeFileAtomically(file, text);
}

void ExchangeLog::saveAs() {
    const auto file = askSaveName(view_.window());
    if (!file) {
        return;
    }
    try {
        save(*file);
    } catch (const settings::FileError& e) {
        QMessageBox::warning(
            view_.window(), QStringLiteral("Horalux"),
            QStringLiteral("Журнал не сохранён. ") + QString::fromStdString(e.what()));
    }
}

void ExchangeLog::find() {
    if (findDialog_ == nullptr) {
        findDialog_ = new LogFindDialog(view_.window());
        connect(findDialog_, &LogFindDialog::findRequested, this,
                [this](const QString& text, bool forward) {
                    lastSearch_ = text;
                    findDialog_->setFound(view_.find(text, forward));
                });
    }
    findDialog_->open(lastSearch_);
}

void ExchangeLog::findAgain(bool forward) {
    if (lastSearch_.isEmpty()) {
        find();
        return;
    }
    view_.find(lastSearch_, forward);
}

}  // namespace horalux::ui
