// The exchange log panel: batching, the line cap, the check box, and the panel's show/hide.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QCoreApplication>
#include <QPlainTextEdit>
#include <QTest>

#include "link/PortAccess.h"
#include "ui/ExchangeLog.h"

namespace horalux::ui {
namespace {

link::TStrMsg record(std::uint8_t byte) {
    const std::uint8_t bytes[] = {0x5A, 0x01, byte};
    return link::makeExchangeRecord(bytes);
}

struct LogPanel {
    QPlainTextEdit view;
    QCheckBox enabled;
    ExchangeLog log{view, enabled};
    LogPanel() { enabled.setChecked(true); }
};

TEST(ExchangeLog, RecordsOfOneTurnReachTheViewTogetherAsCountAndBytes) {
    LogPanel panel;
    panel.log.append(record(0xFF));
    panel.log.append(link::TStrMsg{});
    EXPECT_TRUE(panel.view.toPlainText().isEmpty());  // nothing until the turn ends
    QCoreApplication::processEvents();
    EXPECT_EQ(panel.view.toPlainText(), QStringLiteral("3 5A 01 FF \n0 "));
}

TEST(ExchangeLog, KeepsTheLastTenThousandLines) {
    LogPanel panel;
    for (int i = 0; i < kExchangeLogMaxLines + 500; ++i) {
        panel.log.append(record(static_cast<std::uint8_t>(i)));
        if (i % 1000 == 0) {
            QCoreApplication::processEvents();
        }
    }
    QCoreApplication::processEvents();
    EXPECT_EQ(panel.view.blockCount(), kExchangeLogMaxLines);
    const int last = kExchangeLogMaxLines + 499;
    EXPECT_TRUE(panel.view.toPlainText().endsWith(
        QStringLiteral("3 5A 01 %1 ").arg(last % 256, 2, 16, QLatin1Char('0')).toUpper()));
}

TEST(ExchangeLog, HiddenPanelTakesNothingIn) {
    LogPanel panel;
    panel.log.setShown(false);
    panel.log.append(record(1));
    QCoreApplication::processEvents();
    EXPECT_TRUE(panel.view.toPlainText().isEmpty());
    panel.log.setShown(true);
    panel.log.append(record(2));
    QCoreApplication::processEvents();
    EXPECT_EQ(panel.view.toPlainText(), QStringLiteral("3 5A 01 02 "));
}

TEST(ExchangeLog, UncheckedBoxStopsNewLinesAtOnceAndKeepsTheOld) {
    LogPanel panel;
    panel.log.append(record(1));
    QCoreApplication::processEvents();
    panel.enabled.setChecked(false);
    panel.log.append(record(2));
    QCoreApplication::processEvents();
    EXPECT_EQ(panel.view.toPlainText(), QStringLiteral("3 5A 01 01 "));
    panel.log.append(record(3));
    panel.log.clear();  // lines still waiting go too
    QCoreApplication::processEvents();
    EXPECT_TRUE(panel.view.toPlainText().isEmpty());
}

}  // namespace
}  // namespace horalux::ui
