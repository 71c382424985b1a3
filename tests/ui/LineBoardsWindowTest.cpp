// "Устройство" → "Табло на линии...", against the stand-in board serving several addresses.
#include <gtest/gtest.h>

#include <unistd.h>
#include <QAction>
#include <QApplication>
#include <QHeaderView>
#include <QPushButton>
#include <QRegularExpression>
#include <QStyle>
#include <QTableWidget>
#include <QTimer>
#include <filesystem>

#include "config/RegisterFile.h"
#include "ui/LineBoardsWindow.h"
#include "ui/WindowHarness.h"

namespace horalux::test {
namespace {

namespace fs = std::filesystem;

// What every board of the line holds besides its address.
config::RegisterImage lineSettings() {
    config::RegisterImage image;
    image.displayTimes[0] = 10;
    image.timeZone = 3;
    image.volume = 5;
    image.dimLevel = 2;
    return image;
}

class LineBoardsWindowTest : public testing::Test {
  protected:
    // Boards 3 and 77 answer, 200 is known from the last scan but stays silent; the main window
    // is connected to board 3.
    LineBoardsWindowTest()
        : dir_(fs::temp_directory_path() / ("horalux-line-window-" + std::to_string(::getpid()))),
          h_({{"--speed", "115200", "--address", "3", "--address", "77", "--address", "200",
               "--mute", "200", "--registers",
               saveTemporaryRegisterFile("line-boards", lineSettings())},
              "[Interface]\nComPort=%PORT%\nComSpeed=115200\nsysnum=3\nDelayTime=50\n"
              "[LineBoards]\nPorts=%PORT%\nBoards1=3:115200:S:+1;77:115200:S:;200:115200:?:\n"}) {
        fs::remove_all(dir_);
        h_.answerer.answers = {Answer::Connect};
        h_.form().show();
        const bool ready = WindowHarness::waitUntil(
            [&] { return h_.windows().session().connection().running() && !h_.form().busy(); });
        EXPECT_TRUE(ready) << "the main window connected and read its board";
        h_.action("LineBoardsItem")->trigger();
    }
    ~LineBoardsWindowTest() override { fs::remove_all(dir_); }

    ui::LineBoardsWindow& window() { return h_.windows().lineBoards(); }
    int rowOf(const char* address) {
        for (int row = 0; row < window().rowCount(); ++row) {
            if (window().cellText(row, 0).startsWith(address)) {
                return row;
            }
        }
        return -1;
    }
    QString resultOf(const char* address) { return window().cellText(rowOf(address), 3); }
    // The main window's own board is served again: its address, and requests answered.
    void expectOwnBoardServedAgain() {
        EXPECT_EQ(h_.form().programSettings().sysnum, 3);
        EXPECT_TRUE(h_.windows().session().connection().running());
        EXPECT_TRUE(WindowHarness::waitUntil([&] { return !h_.form().busy(); }));
        // Nothing asked the user meanwhile: a silent board failed its row alone.
        EXPECT_EQ(h_.answerer.seen, std::vector<std::string>{"dialog"});
    }

    fs::path dir_;
    WindowHarness h_;
};

TEST_F(LineBoardsWindowTest, BackupSavesEachAnsweringBoardsRegistersAndFailsTheSilentOneInItsRow) {
    ASSERT_EQ(window().rowCount(), 3);
    EXPECT_EQ(window().cellText(rowOf("$03/3"), 2), "+1 с");
    for (int row = 0; row < 3; ++row) {
        window().setChecked(row, true);
    }
    ASSERT_TRUE(window().backupTo(dir_));

    for (const auto& [address, file] :
         {std::pair{"$03/3", "board-003.cs"}, std::pair{"$4D/77", "board-077.cs"}}) {
        EXPECT_EQ(resultOf(address), QStringLiteral("сохранено в ") + file);
        config::RegisterImage expected = lineSettings();
        const config::RegisterImage saved = config::loadRegisterFile(dir_ / file, {});
        expected.address = saved.address;
        expected.modeFlags = saved.modeFlags;
        EXPECT_EQ(saved, expected) << file;
    }
    EXPECT_EQ(config::loadRegisterFile(dir_ / "board-077.cs", {}).address, 77);
    // The request that went unanswered is named in the log's words.
    const QString failure = resultOf("$C8/200");
    EXPECT_TRUE(failure.startsWith(QStringLiteral("ошибка: нет ответа на чтение регистра ")))
        << failure.toStdString();
    EXPECT_TRUE(failure.endsWith(QStringLiteral(", табло 200"))) << failure.toStdString();
    EXPECT_FALSE(failure.contains(QRegularExpression(QStringLiteral("[A-Za-z]{2,}"))))
        << failure.toStdString();
    EXPECT_FALSE(fs::exists(dir_ / "board-200.cs"));
    expectOwnBoardServedAgain();
}

TEST_F(LineBoardsWindowTest, CompareAfterWritingOneBoardShowsTheCountsAndTheDifferingRegister) {
    config::RegisterImage louder = lineSettings();
    louder.volume = 9;
    louder.address = 200;  // each board keeps its own address
    fs::create_directories(dir_);
    config::saveRegisterFile(dir_ / "louder.cs", louder);

    window().setChecked(rowOf("$03/3"), true);
    ASSERT_TRUE(window().writeFile(dir_ / "louder.cs"));
    EXPECT_EQ(resultOf("$03/3"), "записано регистров: 1");

    window().setChecked(rowOf("$4D/77"), true);
    ASSERT_TRUE(window().compareWith(dir_ / "louder.cs"));
    EXPECT_EQ(resultOf("$03/3"), "совпадает с файлом");
    EXPECT_EQ(resultOf("$4D/77"), "отличий: 1");
    // As the settings window names the setting and shows its values.
    EXPECT_EQ(window().differencesText(rowOf("$4D/77")),
              "Громкость звучания: на табло 50%, в файле 90%\n");
    EXPECT_EQ(window().differencesText(rowOf("$03/3")), "");
    expectOwnBoardServedAgain();
}

TEST_F(LineBoardsWindowTest, StopEndsTheWorkAfterTheCurrentBoard) {
    window().setChecked(rowOf("$03/3"), true);
    window().setChecked(rowOf("$4D/77"), true);
    auto* stop = window().findChild<QPushButton*>("StopButton");
    QTimer watcher;
    bool stopWasEnabled = false;
    QObject::connect(&watcher, &QTimer::timeout, [&] {
        // Its waits let the click in while the first board is being served.
        if (window().working()) {
            stopWasEnabled = stop->isEnabled();
            stop->click();
            watcher.stop();
        }
    });
    watcher.start(5);
    ASSERT_TRUE(window().syncTime());

    EXPECT_TRUE(stopWasEnabled);
    EXPECT_EQ(resultOf("$03/3"), "время записано");
    EXPECT_EQ(resultOf("$4D/77"), "не выполнено");
    EXPECT_FALSE(stop->isEnabled());
    expectOwnBoardServedAgain();
}

TEST_F(LineBoardsWindowTest, DoubleClickOnAnAddressConnectsToThatBoardAndTheMainWindowReadsIt) {
    auto* table = window().findChild<QTableWidget*>("BoardTable");
    // What the table reports of a double click on the row's address cell.
    emit table->cellDoubleClicked(rowOf("$4D/77"), 0);

    EXPECT_EQ(h_.form().programSettings().sysnum, 77);
    EXPECT_EQ(h_.form().programSettings().ComSpeed, 115200);
    EXPECT_TRUE(WindowHarness::waitUntil([&] {
        return h_.windows().session().board().lock()->BoardCopy.address == 77;
    })) << "the main window reads the board it is now connected to";
}

// A time master (1) sends its status and layout frames every second; the slave the main window is
// connected to (5) keeps other display times and another field layout.
class MasterLineWindowTest : public testing::Test {
  protected:
    static config::RegisterImage own(std::uint8_t firstDisplayTime, std::uint8_t firstField) {
        config::RegisterImage image = lineSettings();
        image.displayTimes[0] = firstDisplayTime;
        image.userScreens = {firstField, 4, 6};
        return image;
    }
    MasterLineWindowTest()
        : dir_(fs::temp_directory_path() / ("horalux-master-line-" + std::to_string(::getpid()))),
          h_({{"--speed", "115200", "--address", "1", "--address", "5", "--master", "--registers",
               saveTemporaryRegisterFile("master", own(10, 4)), "--registers",
               saveTemporaryRegisterFile("slave", own(7, 2))},
              "[Interface]\nComPort=%PORT%\nComSpeed=115200\nsysnum=5\nDelayTime=50\n"
              "[LineBoards]\nPorts=%PORT%\nBoards1=1:115200:M:;5:115200:S:\n"}) {
        fs::remove_all(dir_);
        h_.answerer.answers = {Answer::Connect};
        h_.form().show();
        EXPECT_TRUE(WindowHarness::waitUntil(
            [&] { return h_.windows().session().connection().running() && !h_.form().busy(); }));
        h_.action("LineBoardsItem")->trigger();
    }
    ~MasterLineWindowTest() override { fs::remove_all(dir_); }
    ui::LineBoardsWindow& window() { return h_.windows().lineBoards(); }

    fs::path dir_;
    WindowHarness h_;
};

TEST_F(MasterLineWindowTest, EachBoardIsBackedUpAndComparedAsItselfWhileTheMainWindowWaits) {
    ASSERT_EQ(window().rowCount(), 2);
    window().setChecked(0, true);
    window().setChecked(1, true);
    QTimer watcher;
    bool mainWindowWaited = false;
    QObject::connect(&watcher, &QTimer::timeout, [&] {
        if (window().working()) {
            mainWindowWaited = QApplication::activeModalWidget() == &window();
            watcher.stop();
        }
    });
    watcher.start(5);
    ASSERT_TRUE(window().backupTo(dir_));
    EXPECT_TRUE(mainWindowWaited) << "the main window takes no action while the line is worked";

    for (const auto& [file, expected] :
         {std::pair{"board-001.cs", own(10, 4)}, std::pair{"board-005.cs", own(7, 2)}}) {
        config::RegisterImage saved = config::loadRegisterFile(dir_ / file, {});
        saved.address = 0;
        saved.modeFlags = 0;
        EXPECT_EQ(saved, expected) << file;
    }
    for (const char* file : {"board-001.cs", "board-005.cs"}) {
        window().setChecked(0, std::string(file) == "board-001.cs");
        window().setChecked(1, std::string(file) == "board-005.cs");
        ASSERT_TRUE(window().compareWith(dir_ / file));
        const int row = std::string(file) == "board-001.cs" ? 0 : 1;
        EXPECT_EQ(window().cellText(row, 3), "совпадает с файлом") << file;
    }
    // The main window still serves its slave, with the slave's own registers.
    EXPECT_EQ(h_.form().programSettings().sysnum, 5);
    EXPECT_EQ(h_.windows().session().board().lock()->BoardCopy.displayTimes[0], 7);
}

TEST_F(MasterLineWindowTest, ASearchCancelledAtOnceKeepsTheBoardsRemembered) {
    QTimer::singleShot(0, [] {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            if (w->objectName() == "ScanDialog" && w->isVisible()) {
                static_cast<QDialog*>(w)->reject();
            }
        }
    });
    window().findChild<QPushButton*>("FindButton")->click();
    ASSERT_EQ(window().rowCount(), 2);
    EXPECT_TRUE(window().cellText(1, 0).startsWith("$05/5"));
    ASSERT_EQ(h_.windows().session().settings().LineScans.size(), 1U);
    EXPECT_EQ(h_.windows().session().settings().LineScans.front().boards.size(), 2U);
}

TEST_F(LineBoardsWindowTest, ResultsAnActionDoesNotRenewStayMarkedAsOlder) {
    window().setChecked(rowOf("$03/3"), true);
    window().setChecked(rowOf("$4D/77"), true);
    ASSERT_TRUE(window().syncTime());
    window().setChecked(rowOf("$4D/77"), false);
    for (int run = 0; run < 2; ++run) {
        ASSERT_TRUE(window().syncTime());
        EXPECT_EQ(resultOf("$03/3"), "время записано");
        // Marked once, however many actions pass it by.
        EXPECT_EQ(resultOf("$4D/77"), "(ранее) время записано") << run;
        EXPECT_EQ(resultOf("$C8/200"), "") << "never worked on";
    }
    window().setChecked(rowOf("$4D/77"), true);
    ASSERT_TRUE(window().syncTime());
    EXPECT_EQ(resultOf("$4D/77"), "время записано") << "renewed";
    expectOwnBoardServedAgain();
}

// Whether a result cell shows its whole text, wrapped as the table wraps it, without scrolling.
::testing::AssertionResult readsWhole(QTableWidget& table, int row) {
    const QTableWidgetItem* item = table.item(row, 3);
    const QRect cell = table.visualItemRect(item);
    const int margin =
        table.style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, &table) + 1;
    const int width = cell.width() - 2 * margin;
    const QRect needed =
        QFontMetrics(table.font())
            .boundingRect(QRect(0, 0, width, 100000), Qt::TextWordWrap, item->text());
    if (needed.width() <= width && needed.height() <= cell.height() &&
        cell.right() <= table.viewport()->width()) {
        return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure()
           << "\"" << item->text().toStdString() << "\" needs " << needed.width() << "x"
           << needed.height() << ", the cell is " << width << "x" << cell.height();
}

TEST_F(LineBoardsWindowTest, EveryResultReadsWholeAtTheWindowsDefaultSizeAlsoAfterASearch) {
    auto* table = window().findChild<QTableWidget*>("BoardTable");
    ASSERT_TRUE(window().isVisible());
    // The clock column says what it holds.
    EXPECT_EQ(table->horizontalHeaderItem(2)->text(), "Часы, разница");
    EXPECT_FALSE(table->horizontalHeaderItem(2)->toolTip().isEmpty());
    for (int row = 0; row < window().rowCount(); ++row) {
        window().setChecked(row, true);
    }
    ASSERT_TRUE(window().backupTo(dir_));
    for (int row = 0; row < window().rowCount(); ++row) {
        EXPECT_TRUE(readsWhole(*table, row));
    }

    // A search shows the list anew, sized before any result; the results come after it.
    h_.answerer.answers = {Answer::Ok};
    window().findChild<QPushButton*>("FindButton")->click();
    ASSERT_GE(window().rowCount(), 1);
    ASSERT_TRUE(window().backupTo(dir_));
    EXPECT_EQ(resultOf("$03/3"), "сохранено в board-003.cs");
    EXPECT_TRUE(readsWhole(*table, rowOf("$03/3")));
}

TEST_F(LineBoardsWindowTest, TheBoardChosenInTheSearchIsCheckedAndSelectedInTheList) {
    h_.answerer.answers = {Answer::Ok};  // "Выбрать" on the first board found
    window().findChild<QPushButton*>("FindButton")->click();
    EXPECT_EQ(h_.answerer.count("scan"), 1);
    const int row = rowOf("$03/3");
    ASSERT_GE(row, 0);
    auto* table = window().findChild<QTableWidget*>("BoardTable");
    EXPECT_EQ(table->item(row, 0)->checkState(), Qt::Checked);
    EXPECT_EQ(table->currentRow(), row);
    for (int other = 0; other < window().rowCount(); ++other) {
        if (other != row) {
            EXPECT_EQ(table->item(other, 0)->checkState(), Qt::Unchecked) << other;
        }
    }
}

TEST_F(LineBoardsWindowTest, EachFileDialogHasItsOwnTitle) {
    h_.dialogs.openAnswer.reset();  // cancelled: nothing is done
    window().findChild<QPushButton*>("WriteButton")->click();
    window().findChild<QPushButton*>("CompareButton")->click();
    EXPECT_EQ(h_.dialogs.titles,
              (std::vector<QString>{"Записать файл на табло", "Сравнить табло с файлом"}));
}

}  // namespace
}  // namespace horalux::test
