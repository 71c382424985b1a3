// The main window's first reads after connecting, when the connection changes before they are
// done: a failed read answered with a reconnection, or "Подключение" chosen meanwhile.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QTimer>
#include <algorithm>

#include "WindowHarness.h"

namespace horalux::test {
namespace {

constexpr char kReadAgain[] = "box: Значение не прочитано! Повторить чтение?";
constexpr char kReconnect[] = "box: Устройство не отвечает! Повторить подключение?";

// One board at 115200 bit/s, the period "Минута" remembered; `speed` in the settings.
std::string minuteSettings(int speed) {
    return "[Interface]\nComPort=%PORT%\nComSpeed=" + std::to_string(speed) +
           "\nsysnum=1\nDelayTime=20\nPeriod_sinhr=1\n[View]\nTest=0\n";
}

// The clock and the fields are read after the connection that ended the wait, and the
// remembered minute period runs: a clock write follows its tick.
void expectClockFieldsAndPeriod(WindowHarness& h) {
    EXPECT_TRUE(WindowHarness::waitUntil([&] {
        const std::vector<std::string> seen = h.boardRequests();
        return std::count(seen.begin(), seen.end(), "73 00 07") == 1 &&
               std::count_if(seen.begin(), seen.end(),
                             [](const std::string& r) { return r.starts_with("60 "); }) == 1;
    })) << "clock and user-field reads after the reconnection";
    auto* timer2 = h.form().findChild<QTimer*>(QStringLiteral("Timer2"));
    ASSERT_TRUE(timer2->isActive());
    EXPECT_EQ(timer2->interval(), 60000);
    EXPECT_TRUE(h.action("N15")->isChecked());
    timer2->setInterval(50);  // the minute, passed
    EXPECT_TRUE(WindowHarness::waitUntil([&] { return h.boardRequestCount("70 00 07") >= 1; }));
}

TEST(MainWindowFirstRead,
     AReconnectionAfterAnUnansweredReadStillReadsClockFieldsAndStartsThePeriod) {
    // The first connection is at 9600 bit/s, which the board does not understand.
    WindowHarness h({{"--speed", "115200", "--strict-speed"}, minuteSettings(9600)});
    h.answerer.answers = {Answer::Connect, Answer::Cancel, Answer::Ok, Answer::Connect};
    h.answerer.beforeAnswer = [&](QWidget* modal) {
        if (qobject_cast<ui::TForm5*>(modal) != nullptr && h.answerer.count("dialog") == 1) {
            modal->findChild<QComboBox*>(QStringLiteral("ComboBox2"))
                ->setEditText(QStringLiteral("115200"));
        }
    };
    h.form().show();
    ASSERT_TRUE(WindowHarness::waitUntil([&] { return h.answerer.count("dialog") == 2; }, 30000));
    EXPECT_EQ(h.answerer.seen,
              (std::vector<std::string>{"dialog", kReadAgain, kReconnect, "dialog"}));
    expectClockFieldsAndPeriod(h);
    EXPECT_EQ(h.boardRequestCount("74 26 00"), 0) << "the registers are not read again";
}

TEST(MainWindowFirstRead,
     ConnectionChosenDuringTheRegisterReadStillReadsClockFieldsAndStartsThePeriod) {
    WindowHarness h({{"--speed", "115200"}, minuteSettings(115200)});
    bool chosen = false;
    h.answerer.onPoll = [&] {
        if (!chosen && h.boardRequestCount("74 26 00") > 0) {
            chosen = true;
            h.answerer.answers = {Answer::Connect};
            // From the event loop, not this poll: the dialog's own loop needs the poll again.
            // It runs inside the wait for the registers.
            QTimer::singleShot(0, &h.form(), [&] { h.action("N13")->trigger(); });
        }
    };
    h.answerer.answers = {Answer::Connect};
    h.form().show();
    ASSERT_TRUE(WindowHarness::waitUntil([&] { return h.answerer.count("dialog") == 2; }));
    expectClockFieldsAndPeriod(h);
}

}  // namespace
}  // namespace horalux::test
