// The main window against the stand-in board, offscreen, with every message box and the connection
// dialog answered by the test.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QTest>
#include <ctime>
#include <fstream>
#include <sstream>

#include "WindowHarness.h"
#include "config/RegisterMap.h"
#include "ui/LogView.h"

namespace horalux::test {
namespace {

constexpr char kBoardSettings[] =
    "[Interface]\nComPort=%PORT%\nComSpeed=115200\nsysnum=1\nDelayTime=50\n[View]\nTest=1\n";
const std::vector<std::string> kFastBoard = {"--speed", "115200"};
const std::string kReadAgain = "box: Значение не прочитано! Повторить чтение?";
const std::string kReconnect = "box: Устройство не отвечает! Повторить подключение?";
const std::string kNotConnected =
    "box: Табло не подключено. Подключитесь: «Сервис» → «Подключение».";

std::string readFile(const std::filesystem::path& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// The requests seen after the first `from`, starting at the first one equal to `first`.
std::vector<std::string> requestsFrom(const std::vector<std::string>& all, std::size_t from,
                                      const std::string& first) {
    for (std::size_t i = from; i < all.size(); ++i) {
        if (all[i] == first) {
            return {all.begin() + static_cast<std::ptrdiff_t>(i), all.end()};
        }
    }
    return {};
}

// Shows the window, connects to the board and waits for the first reads to finish.
void connectAndReadAll(WindowHarness& h) {
    h.answerer.answers = {Answer::Connect};
    h.form().show();
    ASSERT_TRUE(WindowHarness::waitUntil(
        [&] { return h.boardRequests().size() >= 73 && h.statusText(1) == "Готово"; }, 30000));
}

TEST(MainWindow, StartsWithDefaultsWithoutSettingsFileAndOffersTheDialogUntilConnected) {
    WindowHarness h({kFastBoard, "", false});
    EXPECT_EQ(h.form().programSettings(), settings::ProgramSettings{});
    EXPECT_TRUE(h.action("N18")->isChecked());
    EXPECT_EQ(h.statusText(0), " Slave");
    EXPECT_FALSE(h.action("N22")->isChecked()) << "the mode is not known yet";
    EXPECT_FALSE(h.action("Slave1")->isChecked());

    h.answerer.answers = {Answer::Cancel};
    h.form().show();
    ASSERT_TRUE(WindowHarness::waitUntil([&] { return h.answerer.count("dialog") == 1; }));
    // Our own dialog closing does not bring it back; the window stays usable.
    QTest::qWait(100);
    EXPECT_EQ(h.answerer.count("dialog"), 1);
    EXPECT_TRUE(h.form().isVisible());
    EXPECT_FALSE(h.form().portOpen());
    EXPECT_TRUE(h.action("N2")->isEnabled());

    // Another program and back: the dialog again.
    emit qApp->applicationStateChanged(Qt::ApplicationInactive);
    emit qApp->applicationStateChanged(Qt::ApplicationActive);
    ASSERT_TRUE(WindowHarness::waitUntil([&] { return h.answerer.count("dialog") == 2; }));

    h.form().close();
    const std::string file = readFile(h.settingsFile());
    for (const char* key :
         {"ComPort=COM1", "ComSpeed=9600", "sysnum=1", "DelayTime=100", "SinhrTime=0",
          "SinhrTimeServer=pool.ntp.org", "Period_sinhr=4", "Test=0"}) {
        EXPECT_NE(file.find(key), std::string::npos) << key << " in\n" << file;
    }
}

TEST(MainWindow, ASettingsFileTooLargeToReadIsToldOfAtStartAndLeftAsItIs) {
    WindowHarness h({kFastBoard, "[Interface]\nComPort=%PORT%\n[LineBoards]\nPorts=x\nBoards1=" +
                                     std::string(1100000, '1') + "\n"});
    const std::string before = readFile(h.settingsFile());
    ASSERT_TRUE(WindowHarness::waitUntil([&] { return h.answerer.seen.size() == 2; }));
    EXPECT_EQ(h.answerer.seen[0],
              "box: Файл настроек не прочитан: программа работает с настройками по умолчанию и "
              "не изменит этот файл.");
    EXPECT_EQ(h.answerer.seen[1], "because: Cannot read file \"" + h.settingsFile().string() +
                                      "\": larger than 1048576 bytes");
    EXPECT_EQ(h.form().programSettings().ComPort, settings::ProgramSettings{}.ComPort);
    h.destroyWindows();
    EXPECT_EQ(h.answerer.seen.size(), 2U) << "no question about saving at the end";
    EXPECT_TRUE(readFile(h.settingsFile()) == before) << "the file left as it was";
}

TEST(MainWindow, ConnectingReadsRegistersThenClockThenUserFieldsWithExitGreyedMeanwhile) {
    WindowHarness h({kFastBoard, kBoardSettings});
    bool exitGreyedWhileBusy = false;
    h.answerer.onPoll = [&] {
        exitGreyedWhileBusy |= h.form().busy() && !h.action("N2")->isEnabled();
    };
    connectAndReadAll(h);

    const std::vector<std::string> requests = h.boardRequests();
    ASSERT_GE(requests.size(), 73U);
    for (std::size_t i = 0; i < config::kReadList.size(); ++i) {
        char read[16];
        std::snprintf(read, sizeof read, "74 %02X 00", config::kReadList[i]);
        EXPECT_EQ(requests[i], read) << "request " << i;
    }
    EXPECT_EQ(requests[71], "73 00 07");
    EXPECT_EQ(requests[72].substr(0, 5), "60 00");
    EXPECT_TRUE(exitGreyedWhileBusy);
    EXPECT_TRUE(h.action("N2")->isEnabled());
    // The remembered period ("Сутки") starts once connected to one board.
    const auto* timer2 = h.form().findChild<QTimer*>(QStringLiteral("Timer2"));
    EXPECT_TRUE(timer2->isActive());
    EXPECT_EQ(timer2->interval(), 86400000);
}

TEST(MainWindow, ConnectingToAllBoardsReadsNothingAndStartsNoPeriod) {
    std::string settings = kBoardSettings;
    settings.replace(settings.find("sysnum=1"), 8, "sysnum=255");
    WindowHarness h({kFastBoard, settings});
    h.answerer.answers = {Answer::Connect};
    h.form().show();
    auto* log = h.form().findChild<ui::LogView*>(QStringLiteral("RichEdit1"));
    // The exchange polls the line; a few polls in, nothing has been asked of the board.
    ASSERT_TRUE(WindowHarness::waitUntil([&] { return log->lineCount() >= 5; }));
    EXPECT_TRUE(h.form().portOpen());
    EXPECT_TRUE(h.boardRequests().empty());
    EXPECT_FALSE(h.form().findChild<QTimer*>(QStringLiteral("Timer2"))->isActive());
}

TEST(MainWindow, UnansweredReadAsksAgainRetriesFiveTimesAndCancelMovesOn) {
    // The board never answers anything: register 38, the first read, fails.
    WindowHarness h({{"--speed", "115200", "--drop-first", "1000"}, kBoardSettings});
    h.answerer.answers = {Answer::Connect, Answer::Ok, Answer::Cancel, Answer::Cancel};
    bool closed = false;
    h.answerer.onPoll = [&] {
        if (!closed && h.boardRequestCount("74 28 00") > 0) {
            closed = true;
            h.form().close();  // register 40 went out: the failed read was dropped
        }
    };
    h.form().show();
    ASSERT_TRUE(WindowHarness::waitUntil([&] { return closed; }, 60000));
    EXPECT_EQ(h.answerer.seen,
              (std::vector<std::string>{"dialog", kReadAgain, kReadAgain, kReconnect}));
    EXPECT_EQ(h.boardRequestCount("74 26 00"), 10 + 5);
}

TEST(MainWindow, MenuItemsSendTheirFramesAndPeriodItemsSetTheTimer) {
    WindowHarness h({{"--speed", "115200", "--master"}, kBoardSettings});
    connectAndReadAll(h);
    const auto sentAfter = [&](std::size_t from, const std::vector<std::string>& expected) {
        return WindowHarness::waitUntil([&] {
            const auto seen = requestsFrom(h.boardRequests(), from, expected.front());
            return seen.size() >= expected.size() &&
                   std::equal(expected.begin(), expected.end(), seen.begin());
        });
    };

    std::size_t from = h.boardRequests().size();
    h.action("N19")->trigger();
    EXPECT_TRUE(sentAfter(from, {"74 DF 00", "74 37 00", "73 00 07"}));
    EXPECT_EQ(h.statusText(1), "Считывание регистров...");

    from = h.boardRequests().size();
    h.action("N20")->trigger();
    std::vector<std::string> fields;
    for (int reg = 224; reg <= 255; ++reg) {
        char read[16];
        std::snprintf(read, sizeof read, "74 %02X 00", reg);
        fields.emplace_back(read);
    }
    EXPECT_TRUE(sentAfter(from, fields));
    EXPECT_TRUE(WindowHarness::waitUntil([&] {
        const auto seen = requestsFrom(h.boardRequests(), from, "74 E0 00");
        return seen.size() > 32 && seen[32].substr(0, 5) == "60 00";
    }));

    from = h.boardRequests().size();
    h.action("N9")->trigger();
    EXPECT_TRUE(sentAfter(from, {"70 00 07"}));

    // Slave clears the master bit of register 77, Мастер sets it again; the rest stays. Choosing
    // the checked item (as the board's status frames check "Мастер") unchecks it and sends nothing.
    from = h.boardRequests().size();
    h.action("Slave1")->trigger();
    EXPECT_EQ(h.statusText(0), " Slave");
    h.action("N22")->setChecked(true);
    h.action("N22")->trigger();
    EXPECT_FALSE(h.action("N22")->isChecked());
    EXPECT_FALSE(h.action("Slave1")->isChecked());
    h.action("N22")->trigger();
    ASSERT_TRUE(WindowHarness::waitUntil([&] {
        int writes = 0;
        for (const auto& r : requestsFrom(h.boardRequests(), from, "74 4D 00")) {
            writes += r.substr(0, 5) == "72 4D";
        }
        return writes >= 2;
    }));
    std::vector<unsigned> modeWrites;
    for (const auto& r : requestsFrom(h.boardRequests(), from, "74 4D 00")) {
        if (r.substr(0, 5) == "72 4D") {
            modeWrites.push_back(static_cast<unsigned>(std::stoul(r.substr(6), nullptr, 16)));
        }
    }
    ASSERT_EQ(modeWrites.size(), 2U);
    const auto modeRequests = requestsFrom(h.boardRequests(), from, "74 4D 00");
    EXPECT_EQ(std::count(modeRequests.begin(), modeRequests.end(), "74 4D 00"), 2)
        << "one read for each mode sent, none for the unchecking";
    EXPECT_EQ(modeWrites[0] & 0x80U, 0U);
    EXPECT_EQ(modeWrites[1], modeWrites[0] | 0x80U);

    const auto* timer2 = h.form().findChild<QTimer*>(QStringLiteral("Timer2"));
    h.action("N15")->trigger();
    h.action("N16")->trigger();
    EXPECT_FALSE(h.action("N15")->isChecked());
    EXPECT_TRUE(h.action("N16")->isChecked());
    EXPECT_FALSE(h.action("N18")->isChecked());
    EXPECT_TRUE(timer2->isActive());
    EXPECT_EQ(timer2->interval(), 3600000);
    h.action("N16")->trigger();
    EXPECT_FALSE(h.action("N16")->isChecked());
    EXPECT_FALSE(timer2->isActive());
}

TEST(MainWindow, ClosingDuringTheFirstReadEndsEveryTime) {
    WindowHarness h({kFastBoard, kBoardSettings});
    for (int run = 0; run < 20; ++run) {
        SCOPED_TRACE(run);
        h.destroyWindows();
        h.createWindows();
        h.answerer.answers = {Answer::Connect};
        QObject::connect(&h.form(), &ui::TForm1::busyStateChanged, &h.form(), [&, run](bool busy) {
            if (busy) {
                QTimer::singleShot(run * 37 % 300, &h.form(), [&] { h.form().close(); });
            }
        });
        h.form().show();
        ASSERT_TRUE(WindowHarness::waitUntil(
            [&] { return !h.form().isVisible() && !h.form().portOpen(); }, 15000));
    }
}

TEST(MainWindow, LostLineAsksOnceClosesThePortAndStaysQuiet) {
    WindowHarness h({{"--speed", "115200", "--hangup-after", "5"}, kBoardSettings});
    h.answerer.answers = {Answer::Connect, Answer::Cancel};
    h.form().show();
    ASSERT_TRUE(WindowHarness::waitUntil(
        [&] { return h.answerer.count(kReconnect) == 1 && !h.form().portOpen(); }));
    const std::clock_t cpu0 = std::clock();
    QTest::qWait(500);
    const double cpuSeconds = static_cast<double>(std::clock() - cpu0) / CLOCKS_PER_SEC;
    // The exchange may tell why the line went ("Error reading port"); it asks only once.
    EXPECT_EQ(h.answerer.count(kReconnect), 1);
    EXPECT_EQ(h.answerer.count("dialog"), 1);
    EXPECT_FALSE(h.form().portOpen());
    EXPECT_TRUE(h.action("N2")->isEnabled());
    // A loop that kept asking or polling would use the whole half second.
    EXPECT_LT(cpuSeconds, 0.25);
}

TEST(MainWindow, CancelledConnectionDialogLeavesTheExchangeRunningOnTheSamePort) {
    std::string settings = kBoardSettings;
    settings.replace(settings.find("sysnum=1"), 8, "sysnum=255");
    WindowHarness h({kFastBoard, settings});
    h.answerer.answers = {Answer::Connect};
    h.form().show();
    ASSERT_TRUE(
        WindowHarness::waitUntil([&] { return h.form().session().connection().running(); }));

    h.answerer.answers = {Answer::Cancel};
    h.action("N13")->trigger();
    EXPECT_EQ(h.answerer.count("dialog"), 2);
    EXPECT_TRUE(h.form().session().connection().running());
    // Requests still reach the board, at the same address.
    h.action("N9")->trigger();
    EXPECT_TRUE(WindowHarness::waitUntil([&] { return h.boardRequestCount("70 00 07") == 1; }));
}

TEST(MainWindow, LostLineAnsweredOkClosesTheOldPortBeforeTheDialogShows) {
    WindowHarness h({{"--speed", "115200", "--hangup-after", "3"}, kBoardSettings});
    bool portClosedWhenDialogShown = false;
    h.answerer.beforeAnswer = [&](QWidget* modal) {
        if (qobject_cast<ui::TForm5*>(modal) != nullptr && h.answerer.count("dialog") == 1) {
            portClosedWhenDialogShown =
                !h.form().portOpen() && !h.form().session().connection().running();
        }
    };
    h.answerer.answers = {Answer::Connect, Answer::Ok, Answer::Cancel};
    h.form().show();
    ASSERT_TRUE(WindowHarness::waitUntil([&] { return h.answerer.count("dialog") == 2; }));
    EXPECT_TRUE(portClosedWhenDialogShown);
    EXPECT_EQ(h.answerer.count(kReconnect), 1);
    EXPECT_FALSE(h.form().portOpen());
}

// A port someone else holds: the opener says so.
class BusyPortOpener final : public platform::SerialDeviceOpener {
  public:
    std::unique_ptr<platform::SerialPort> open(const std::string& name, std::uint32_t) override {
        cause_ = name + ": in use by another program";
        return nullptr;
    }
    std::string lastFailureCause() const override { return cause_; }

  private:
    std::string cause_;
};

TEST(MainWindow, PortThatCannotBeOpenedIsReportedWithItsCauseAndLeavesTheWindowUnconnected) {
    WindowHarness h({kFastBoard, kBoardSettings});
    BusyPortOpener opener;
    h.opener = &opener;
    h.destroyWindows();
    h.createWindows();
    h.answerer.answers = {Answer::Connect};
    h.form().show();
    ASSERT_TRUE(WindowHarness::waitUntil([&] { return h.answerer.seen.size() >= 3; }));
    // The dialog may come back after the box: no port is open. Only the first three count here.
    h.answerer.seen.resize(3);
    EXPECT_EQ(h.answerer.seen,
              (std::vector<std::string>{"dialog", "box: Error opening port",
                                        "because: " + h.port() + ": in use by another program"}));
    EXPECT_FALSE(h.form().portOpen());
}

TEST(MainWindow, WithoutAConnectionEveryBoardActionSaysSoOnceAndChangesNothing) {
    WindowHarness h({kFastBoard, kBoardSettings});
    h.answerer.answers = {Answer::Cancel};
    h.form().show();
    ASSERT_TRUE(WindowHarness::waitUntil([&] { return h.answerer.count("dialog") == 1; }));
    for (const char* item : {"N8", "N9", "N19", "N20", "N22", "Slave1"}) {
        SCOPED_TRACE(item);
        h.answerer.seen.clear();
        h.action(item)->trigger();
        EXPECT_EQ(h.answerer.seen, std::vector<std::string>{kNotConnected});
        EXPECT_FALSE(h.action("N22")->isChecked());
        EXPECT_FALSE(h.action("Slave1")->isChecked());
    }
    EXPECT_EQ(h.statusText(0), " Slave");
    EXPECT_FALSE(h.form().busy());
}

TEST(MainWindow, ConnectionChangesThatCannotBeMadeLeaveTheExchangeGoingAtTheOldSpeed) {
    struct Case {
        const char* name;
        const char* speed;
        bool emptyPortList;
        std::vector<std::string> said;
    };
    const Case cases[] = {
        {"a speed that is not a number",
         "fast",
         false,
         {"dialog", "box: 'fast' is not a valid integer value"}},
        {"a speed the device refuses",
         "12345",
         false,
         {"dialog", "box: Error setting port state",
          "because: 12345 bit/s: not a speed this port supports"}},
        {"an empty port list", "115200", true, {"dialog"}},
    };
    std::string settings = kBoardSettings;
    settings.replace(settings.find("sysnum=1"), 8, "sysnum=255");
    WindowHarness h({kFastBoard, settings});
    h.answerer.answers = {Answer::Connect};
    h.form().show();
    ASSERT_TRUE(
        WindowHarness::waitUntil([&] { return h.form().session().connection().running(); }));
    const Case* current = nullptr;
    h.answerer.beforeAnswer = [&](QWidget* modal) {
        if (qobject_cast<ui::TForm5*>(modal) != nullptr && current != nullptr) {
            modal->findChild<QComboBox*>(QStringLiteral("ComboBox2"))
                ->setEditText(QString::fromUtf8(current->speed));
            if (current->emptyPortList) {
                modal->findChild<QComboBox*>(QStringLiteral("ComboBox1"))->clear();
            }
        }
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        current = &c;
        h.answerer.seen.clear();
        h.answerer.answers = {Answer::Connect};
        h.action("N13")->trigger();
        EXPECT_EQ(h.answerer.seen, c.said);
        EXPECT_TRUE(h.form().session().connection().running());
        EXPECT_EQ(h.form().session().connection().speed(), 115200U);
        EXPECT_EQ(h.form().programSettings().ComSpeed, 115200);
        // The board is still reached.
        const int before = h.boardRequestCount("73 00 07");
        h.action("N19")->trigger();
        EXPECT_TRUE(WindowHarness::waitUntil(
            [&] { return h.boardRequestCount("73 00 07") == before + 1; }));
    }
}

TEST(MainWindow, SettingsThatCannotBeSavedAtExitAreReportedAndSavedOnRetry) {
    WindowHarness h({kFastBoard, kBoardSettings});
    h.answerer.answers = {Answer::Cancel, Answer::Ok};
    h.form().show();
    ASSERT_TRUE(WindowHarness::waitUntil([&] { return h.answerer.count("dialog") == 1; }));
    // A folder where the file should be: the save fails until the user has cleared it away.
    std::filesystem::remove(h.settingsFile());
    std::filesystem::create_directory(h.settingsFile());
    bool shownWhileAsked = false;
    h.answerer.beforeAnswer = [&](QWidget* modal) {
        if (qobject_cast<QMessageBox*>(modal) != nullptr) {
            shownWhileAsked = h.form().isVisible();
            std::filesystem::remove_all(h.settingsFile());
        }
    };
    h.form().close();
    ASSERT_EQ(h.answerer.seen.size(), 3U);
    EXPECT_EQ(h.answerer.seen[1], "box: Настройки не сохранены. Повторить сохранение?");
    EXPECT_NE(h.answerer.seen[2].find(h.settingsFile().string()), std::string::npos)
        << h.answerer.seen[2];
    EXPECT_TRUE(shownWhileAsked) << "asked before the window goes";
    EXPECT_NE(readFile(h.settingsFile()).find("ComSpeed=115200"), std::string::npos);
}

TEST(MainWindow, ParametersAreTakenOnlyOnSaveAndWrittenAtClose) {
    WindowHarness h({kFastBoard, "", false});
    h.answerer.beforeAnswer = [](QWidget* modal) {
        if (auto* edit = modal->findChild<QLineEdit*>(QStringLiteral("Edit7"))) {
            edit->setText(QStringLiteral("time.example"));
            modal->findChild<QCheckBox*>(QStringLiteral("CheckBox15"))->setChecked(true);
        }
    };
    h.answerer.answers = {Answer::Cancel};
    h.action("N5")->trigger();
    EXPECT_EQ(h.form().programSettings().SinhrTimeServer, "pool.ntp.org");
    EXPECT_FALSE(h.form().programSettings().SinhrTime);

    h.answerer.answers = {Answer::Ok};
    h.action("N5")->trigger();
    EXPECT_EQ(h.answerer.count("parameters"), 2);
    EXPECT_EQ(h.form().programSettings().SinhrTimeServer, "time.example");
    h.form().close();
    const std::string file = readFile(h.settingsFile());
    EXPECT_NE(file.find("SinhrTimeServer=time.example"), std::string::npos) << file;
    EXPECT_NE(file.find("SinhrTime=1"), std::string::npos) << file;
}

TEST(MainWindow, ShowingTheExchangePanelEmptiesTheLogAndGrowsTheWindow) {
    WindowHarness h({kFastBoard, kBoardSettings});
    auto* log = h.form().findChild<ui::LogView*>(QStringLiteral("RichEdit1"));
    const int shownHeight = h.form().height();
    log->appendLine("1 00");
    h.action("N12")->trigger();
    EXPECT_EQ(shownHeight - h.form().height(), 752 - 507);
    h.action("N12")->trigger();
    EXPECT_EQ(h.form().height(), shownHeight);
    EXPECT_TRUE(log->toPlainText().isEmpty());
}

}  // namespace
}  // namespace horalux::test
