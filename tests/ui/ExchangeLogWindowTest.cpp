// The exchange log of the main window as a diagnostic tool, against the stand-in board: the
// line form chosen in its context menu and remembered, saving the log and a failed save.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>

#include "WindowHarness.h"
#include "platform/Tick.h"
#include "settings/TempDir.h"
#include "ui/ExchangeLog.h"
#include "ui/LogView.h"

namespace horalux::test {
namespace {

constexpr char kAllItemsOn[] =
    "[Interface]\nComPort=%PORT%\nComSpeed=115200\nsysnum=1\nDelayTime=50\n"
    "[View]\nTest=1\nLogTime=1\nLogDirection=1\nLogMeaning=1\n";

// "14:03:27.512 > ..." to milliseconds of the day.
int timeOf(const QString& line) {
    return ((line.mid(0, 2).toInt() * 60 + line.mid(3, 2).toInt()) * 60 + line.mid(6, 2).toInt()) *
               1000 +
           line.mid(9, 3).toInt();
}

TEST(ExchangeLogWindow, ARegisterReadShowsItsRequestThenItsReplyTimedAndNamedAndSavesAsShown) {
    WindowHarness h({{"--speed", "115200"}, kAllItemsOn});
    platform::MonotonicTick tick;  // the session's tick runs on the same monotonic clock
    h.clock.runWith(tick);
    ui::LogView* view = h.form().findChild<ui::LogView*>(QStringLiteral("RichEdit1"));
    ui::ExchangeLog& log = h.form().exchangeLog();
    EXPECT_TRUE(log.action(QStringLiteral("Расшифровка"))->isChecked()) << "read from settings";

    h.answerer.answers = {Answer::Connect};
    h.form().show();
    ASSERT_TRUE(WindowHarness::waitUntil(
        [&] { return h.boardRequests().size() >= 73 && h.statusText(1) == "Готово"; }, 30000));

    // The register read of the connection: its request and its reply, in that order.
    QStringList named;
    for (int i = 0; i < view->lineCount(); ++i) {
        const QString line = view->line(i);
        if (line.contains(QStringLiteral("регистра 76")) ||
            line.contains(QStringLiteral("регистр 76 "))) {
            named.append(line);
        }
    }
    ASSERT_EQ(named.size(), 2) << named.join(QLatin1Char('\n')).toStdString();
    EXPECT_EQ(named[0].mid(12, 3), QStringLiteral(" > "));
    EXPECT_TRUE(named[0].endsWith(QStringLiteral("| чтение регистра 76")));
    EXPECT_EQ(named[1].mid(12, 3), QStringLiteral(" < "));
    EXPECT_TRUE(named[1].endsWith(QStringLiteral("| регистр 76 = 1")));
    EXPECT_LE(timeOf(named[0]), timeOf(named[1]));

    // Saved as shown: exactly the kept lines. Time off first, through the menu item.
    log.action(QStringLiteral("Время"))->trigger();
    h.form().session().connection().stop();  // no more lines while the file is compared
    QApplication::processEvents();
    TempDir dir;
    const auto file = dir / "log.txt";
    log.askSaveName = [&](QWidget*) { return std::optional(file); };
    log.action(QStringLiteral("Сохранить журнал..."))->trigger();
    const QString saved = QString::fromStdString(readAll(file));
    EXPECT_EQ(saved, view->toPlainText() + QLatin1Char('\n'));
    EXPECT_TRUE(saved.startsWith(QStringLiteral("< ")) || saved.startsWith(QStringLiteral("> ")))
        << "no time any more";

    // A file that cannot be written: the user is told its name and why; the old file stays.
    writeAll(dir / "plain", "old\n");
    const auto unwritable = dir / "plain" / "log.txt";
    log.askSaveName = [&](QWidget*) { return std::optional(unwritable); };
    h.answerer.start();
    log.action(QStringLiteral("Сохранить журнал..."))->trigger();
    ASSERT_EQ(h.answerer.seen.size(), 2U);
    const std::string& told = h.answerer.seen.back();
    EXPECT_TRUE(told.starts_with("box: Журнал не сохранён.")) << told;
    EXPECT_NE(told.find(unwritable.string()), std::string::npos) << told;
    EXPECT_NE(told.find("Not a directory"), std::string::npos) << told;
    EXPECT_EQ(readAll(dir / "plain"), "old\n");

    h.form().close();
    const std::string settingsText = readAll(h.settingsFile());
    EXPECT_NE(settingsText.find("LogTime=0"), std::string::npos) << settingsText;
    EXPECT_NE(settingsText.find("LogMeaning=1"), std::string::npos) << settingsText;
}

TEST(ExchangeLogWindow, AFullDiskLeavesTheOldLogFileWhole) {
    SmallTmpfs disk("size=16k");
    if (!disk.available()) {
        GTEST_SKIP() << "cannot mount a tmpfs here: " << disk.reason();
    }
    ui::LogView view;
    QCheckBox enabled;
    enabled.setChecked(true);
    ui::ExchangeLog log(view, enabled);
    const std::uint8_t bytes[64] = {};
    for (int i = 0; i < 400; ++i) {  // about 80 KiB of lines
        log.append(link::makeExchangeRecord(bytes));
    }
    const auto file = disk.path() / "log.txt";
    writeAll(file, "old log\n");
    try {
        log.save(file);
        FAIL() << "saved on a full disk";
    } catch (const settings::FileError& e) {
        EXPECT_NE(std::string(e.what()).find(file.string()), std::string::npos);
        EXPECT_NE(std::string(e.what()).find("No space left"), std::string::npos) << e.what();
    }
    EXPECT_EQ(readAll(file), "old log\n");
}

}  // namespace
}  // namespace horalux::test
