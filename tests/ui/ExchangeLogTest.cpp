// The exchange log panel: its lines, the line cap, the check box and the panel's show/hide,
// the view's scrolling and copying while lines stream in, and what screen readers read of it.
#include <gtest/gtest.h>

#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QScrollBar>
#include <QTest>

#include "link/exchange/ExchangeRecord.h"
#include "settings/ProgramSettings.h"
#include "ui/ExchangeLog.h"
#include "ui/LogView.h"

namespace horalux::ui {
namespace {

link::TStrMsg record(std::uint8_t byte) {
    const std::uint8_t bytes[] = {0x5A, 0x01, byte};
    return link::makeExchangeRecord(bytes);
}

struct LogPanel {
    LogView view;
    QCheckBox enabled;
    ExchangeLog log{view, enabled};
    LogPanel() {
        enabled.setChecked(true);
        view.resize(300, 120);
    }
    void feed(int count, int from = 0) {
        for (int i = from; i < from + count; ++i) {
            log.append(record(static_cast<std::uint8_t>(i)));
        }
    }
    // A shown view holding at most `maxLines`, fed `lines` lines and refreshed.
    bool shownWith(int maxLines, int lines) {
        view.setMaximumLineCount(maxLines);
        view.show();
        feed(lines);
        return settled();
    }
    // The view takes new lines into its scroll bars on its own refresh.
    bool settled() {
        return QTest::qWaitFor([&] {
            const QScrollBar* bar = view.verticalScrollBar();
            return bar->maximum() == std::max(0, view.lineCount() - bar->pageStep());
        });
    }
};

TEST(ExchangeLog, RecordsBecomeCountAndBytesLinesWhileCheckedAndShown) {
    LogPanel panel;
    panel.log.append(record(0xFF));
    panel.log.append(link::TStrMsg{});
    EXPECT_EQ(panel.view.toPlainText(), QStringLiteral("3 5A 01 FF \n0 "));

    panel.enabled.setChecked(false);  // stops new lines at once, keeps the old
    panel.log.append(record(2));
    EXPECT_EQ(panel.view.lineCount(), 2);

    panel.enabled.setChecked(true);
    panel.log.setShown(false);  // a hidden panel takes nothing in
    panel.log.append(record(3));
    EXPECT_EQ(panel.view.lineCount(), 2);

    panel.log.clear();
    panel.log.setShown(true);
    panel.log.append(record(4));
    EXPECT_EQ(panel.view.toPlainText(), QStringLiteral("3 5A 01 04 "));
}

TEST(LogView, FindMovesToTheNextMatchingLineInAnyCaseAndWraps) {
    LogPanel panel;
    ASSERT_TRUE(panel.shownWith(100, 40));  // "3 5A 01 00 " … "3 5A 01 27 "
    panel.view.selectLines(5, 5);
    const struct {
        const char* text;
        bool forward;
        int line;  // selected after the search, -1: none found and the selection kept
    } steps[] = {
        {"5a 01 1", true, 16},   // after the selection, not at it
        {"5a 01 1", true, 17},   // the next one
        {"01 27", true, 39},     //
        {"5a 01 0", true, 0},    // past the last line: from the top again
        {"5A 01 0", false, 15},  // backwards past the first: from the bottom again
        {"no such", true, -1},
    };
    int selected = 5;
    for (const auto& step : steps) {
        const bool found = panel.view.find(QString::fromLatin1(step.text), step.forward);
        EXPECT_EQ(found, step.line >= 0) << step.text;
        selected = step.line >= 0 ? step.line : selected;
        ASSERT_TRUE(panel.view.selectedLines().has_value());
        EXPECT_EQ(panel.view.selectedLines()->first, selected) << step.text;
    }
}

TEST(ExchangeLog, ChangingTheFormReshowsTheKeptLinesWithoutLosingTheirPlace) {
    LogPanel panel;
    link::TStrMsg reply = record(0x01);
    reply.Meaning = "регистр 76 = 1";
    reply.Head.timeMs = 1000;
    panel.log.append(reply);
    panel.log.append(link::TStrMsg{});
    panel.view.selectLines(0, 0);
    panel.log.setForm({.time = true, .direction = true, .meaning = true});
    EXPECT_EQ(panel.view.toPlainText(),
              QStringLiteral("00:00:01.000 < 3 5A 01 01 | регистр 76 = 1\n--:--:--.--- < 0 "));
    EXPECT_EQ(panel.view.selectedLines()->first, 0);
    EXPECT_EQ(panel.view.lineLength(0), panel.view.line(0).size()) << "characters, not bytes";
    panel.log.setForm({});
    EXPECT_EQ(panel.view.toPlainText(), QStringLiteral("3 5A 01 01 \n0 "));
    panel.log.action(QStringLiteral("Очистить"))->trigger();
    EXPECT_EQ(panel.view.lineCount(), 0);
}

TEST(ExchangeLog, EachMenuItemAddsItsOwnPartByItsKeysAndTheSettingsKeepTheForm) {
    settings::ProgramSettings kept;
    LogView view;
    QCheckBox enabled;
    enabled.setChecked(true);
    ExchangeLog log(view, enabled, &kept);
    link::TStrMsg reply = record(0x01);
    reply.Meaning = "регистр 76 = 1";
    reply.Head.timeMs = 1000;
    log.append(reply);

    const struct {
        const char* item;
        const char* keys;
        const char* line;
    } steps[] = {
        {"Время", "Ctrl+1", "00:00:01.000 3 5A 01 01 "},
        {"Направление", "Ctrl+2", "00:00:01.000 < 3 5A 01 01 "},
        {"Расшифровка", "Ctrl+3", "00:00:01.000 < 3 5A 01 01 | регистр 76 = 1"},
        {"Время", "Ctrl+1", "< 3 5A 01 01 | регистр 76 = 1"},
    };
    for (const auto& step : steps) {
        QAction* item = log.action(QString::fromUtf8(step.item));
        ASSERT_NE(item, nullptr) << step.item;
        EXPECT_EQ(item->shortcut(), QKeySequence(QString::fromLatin1(step.keys))) << step.item;
        item->trigger();
        EXPECT_EQ(view.line(0), QString::fromUtf8(step.line)) << step.item;
        EXPECT_EQ(kept.Log, log.form()) << step.item;
    }

    // Another log over the same settings opens in that form.
    LogView otherView;
    ExchangeLog other(otherView, enabled, &kept);
    EXPECT_EQ(other.form(), (link::LogForm{.direction = true, .meaning = true}));
    EXPECT_FALSE(other.action(QStringLiteral("Время"))->isChecked());
    EXPECT_TRUE(other.action(QStringLiteral("Расшифровка"))->isChecked());
}

TEST(ExchangeLog, KeepsTheLastTenThousandLines) {
    LogPanel panel;
    panel.feed(kExchangeLogMaxLines + 500);
    EXPECT_EQ(panel.view.lineCount(), kExchangeLogMaxLines);
    EXPECT_EQ(panel.view.line(0), QStringLiteral("3 5A 01 F4 "));  // line 500 of the run
    const int last = kExchangeLogMaxLines + 499;
    EXPECT_EQ(panel.view.line(kExchangeLogMaxLines - 1),
              QStringLiteral("3 5A 01 %1 ").arg(last % 256, 2, 16, QLatin1Char('0')).toUpper());
}

TEST(LogView, FollowsNewLinesAtTheEndAndKeepsAReaderScrolledBackOnHisLines) {
    LogPanel panel;
    ASSERT_TRUE(panel.shownWith(100, 60));
    QScrollBar* bar = panel.view.verticalScrollBar();
    EXPECT_EQ(bar->value(), bar->maximum());  // at the end: the newest line in sight

    bar->setValue(10);  // the reader looks at line 10
    panel.feed(20, 60);
    ASSERT_TRUE(panel.settled());
    EXPECT_EQ(bar->value(), 10);

    panel.feed(30, 80);  // 10 lines drop off the top: his line moves up with them
    ASSERT_TRUE(panel.settled());
    EXPECT_EQ(panel.view.line(bar->value()), QStringLiteral("3 5A 01 0A "));
}

TEST(LogView, CopiesTheSelectedLinesOrAllWhenTheSelectionHasDroppedOff) {
    LogPanel panel;
    ASSERT_TRUE(panel.shownWith(50, 10));
    panel.view.verticalScrollBar()->setValue(0);
    const int row = panel.view.fontMetrics().lineSpacing();
    QTest::mousePress(panel.view.viewport(), Qt::LeftButton, {}, QPoint(5, 3 + row / 2));
    QTest::mousePress(panel.view.viewport(), Qt::LeftButton, Qt::ShiftModifier,
                      QPoint(5, 3 + row + row / 2));
    QTest::keySequence(&panel.view, QKeySequence::Copy);
    EXPECT_EQ(QApplication::clipboard()->text(), QStringLiteral("3 5A 01 00 \n3 5A 01 01 "));

    panel.feed(50, 10);  // the selected lines are gone
    EXPECT_EQ(panel.view.selectedText(), panel.view.toPlainText());
}

TEST(LogView, ScreenReadersReadTheKeptLinesFromTheFirstInSightAndFollowTheSelection) {
    LogPanel panel;
    ASSERT_TRUE(panel.shownWith(100, 40));
    panel.log.append(record(0xFF));
    ASSERT_TRUE(panel.settled());
    QAccessibleInterface* log = QAccessible::queryAccessibleInterface(&panel.view);
    ASSERT_NE(log, nullptr);
    EXPECT_EQ(log->text(QAccessible::Name), QStringLiteral("Обмен данными"));
    QAccessibleTextInterface* text = log->textInterface();
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(text->text(0, text->characterCount()), panel.view.toPlainText());

    int start = -1;
    int end = -1;
    EXPECT_EQ(
        text->textAtOffset(text->characterCount() - 1, QAccessible::LineBoundary, &start, &end),
        QStringLiteral("3 5A 01 FF "));
    EXPECT_EQ(end, text->characterCount());

    // The caret stands on the first line in sight: reading on from it reads the screen.
    const int first = panel.view.verticalScrollBar()->value();
    ASSERT_GT(first, 0);
    const int caret = text->cursorPosition();
    EXPECT_EQ(text->textAtOffset(caret, QAccessible::LineBoundary, &start, &end),
              panel.view.line(first) + QLatin1Char('\n'));
    EXPECT_EQ(text->textAfterOffset(caret, QAccessible::LineBoundary, &start, &end),
              panel.view.line(first + 1) + QLatin1Char('\n'));
    const QRect where = text->characterRect(caret);
    EXPECT_TRUE(panel.view.viewport()->rect().contains(
        panel.view.viewport()->mapFromGlobal(where.center())));
    EXPECT_EQ(text->offsetAtPoint(where.center()), caret);

    // A selection made by the reader is the view's, and one made in the view is the reader's.
    text->setSelection(0, start, end);
    EXPECT_EQ(panel.view.selectedText(), panel.view.line(first + 1));
    panel.view.selectAll();
    ASSERT_EQ(text->selectionCount(), 1);
    text->selection(0, &start, &end);
    EXPECT_EQ(text->text(start, end), panel.view.toPlainText());
    text->removeSelection(0);
    EXPECT_EQ(text->selectionCount(), 0);
}

}  // namespace
}  // namespace horalux::ui
