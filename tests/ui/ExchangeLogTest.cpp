// The exchange log panel: its lines, the line cap, the check box and the panel's show/hide,
// and the view's scrolling and copying while lines stream in.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QScrollBar>
#include <QTest>

#include "link/PortAccess.h"
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

}  // namespace
}  // namespace horalux::ui
