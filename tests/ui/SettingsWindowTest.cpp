// The remote settings window against the stand-in board and with register files.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QTabBar>
#include <QTabWidget>
#include <QTimeEdit>
#include <functional>
#include <set>

#include "config/RegisterFile.h"
#include "config/RegisterMap.h"
#include "config/SettingsModel.h"
#include "link/wire/Commands.h"
#include "settings/ProgramSettings.h"
#include "settings/TempDir.h"
#include "support/BoardProcess.h"
#include "ui/SettingsBinder.h"
#include "ui/SettingsWindow.h"
#include "ui/WindowHarness.h"

namespace horalux {
namespace {

using link::Request;

template <class Widget>
Widget& control(QWidget& form, const char* name) {
    auto* widget = form.findChild<Widget*>(QString::fromUtf8(name));
    if (widget == nullptr) {
        throw std::logic_error(std::string("no control ") + name);
    }
    return *widget;
}

// Settings a board could hold, none of them a list's default.
config::RegisterImage knownSettings() {
    config::RegisterImage r;
    r.displayTimes = {10, 3, 2, 27, 22, 0, 3, 3, 2};
    r.timeZone = 0x83;    // 3.5
    r.lowerLevel = 0xFB;  // -5
    r.dimStart = 0x2200;
    r.dimEnd = 0x0700;
    r.freeS6 = 0x12;
    r.alarm1 = 0x0645;
    r.alarm2 = 0x2500;     // off
    r.signalFlags = 0xA0;  // xx:00 and xx:30
    r.volume = 3;          // 30%
    r.dimLevel = 2;
    r.normalLevel = 0;  // 100%
    r.address = 1;
    r.upperLevel = 25;
    r.freeSE = 0x34;
    r.dailyCorrection = 0x8005;  // -5
    r.displayFormats = {7, 4, 3, 0, 4, 4, 4, 3};
    r.userScreens[0] = 4;
    r.userScreens[1] = 4;
    r.userScreens[2] = 6;
    return r;
}

Request registerWrite(std::uint8_t reg, std::uint8_t value, std::uint8_t address = 1) {
    return {address, link::cmd::WriteRegister, reg, value, false, {}};
}

// Runs the window as the main window does. `whenShown` acts once the settings are shown; a
// window it leaves open is closed with "Отмена".
int runWindow(ui::TForm6& window, const std::function<void()>& whenShown) {
    QObject::connect(
        &window, &ui::TForm6::boardShown, &window,
        [&] {
            whenShown();
            if (window.isVisible()) {
                control<QPushButton>(window, "Button2").click();
            }
        },
        static_cast<Qt::ConnectionType>(Qt::QueuedConnection | Qt::SingleShotConnection));
    return window.openAndRun();
}

std::string commandsOf(const std::vector<Request>& requests) {
    std::string letters;
    for (const Request& r : requests) {
        letters.push_back(static_cast<char>(r.command));
    }
    return letters;
}

class SettingsWindowOnBoard : public testing::Test {
  protected:
    SettingsWindowOnBoard() {
        config::saveRegisterFile(dir / "board.cs", knownSettings());
        board = std::make_unique<test::BoardProcess>(
            std::vector<std::string>{"--registers", (dir / "board.cs").string()});
        harness.connect(board->devicePath());
    }

    // The requests after the 71 reads of the opening.
    std::vector<Request> afterReading() const {
        std::vector<Request> all = harness.requests();
        EXPECT_GE(all.size(), config::kReadListLength);
        all.erase(all.begin(),
                  all.begin() + static_cast<long>(std::min(all.size(), config::kReadListLength)));
        return all;
    }
    std::vector<Request> writesBeforeClock() const {
        std::vector<Request> writes = afterReading();
        EXPECT_FALSE(writes.empty());
        EXPECT_EQ(writes.back().command, link::cmd::WriteClock) << "the clock is written last";
        if (!writes.empty()) {
            writes.pop_back();
        }
        return writes;
    }

    test::TempDir dir;
    std::unique_ptr<test::BoardProcess> board;
    test::WindowHarness harness;
    ui::TForm6 window{harness.ops, harness.board, harness.prompts, harness.dialogs};
};

TEST_F(SettingsWindowOnBoard, OpeningReadsEveryRegisterWhileDisabledAndShowsTheBoardsValues) {
    int turns = 0;
    int busyTurns = 0;
    harness.whileWaiting = [&] {
        ++turns;
        const bool busy = !control<QTabWidget>(window, "PageControl1").isEnabled() &&
                          !control<QPushButton>(window, "BitBtn1").isEnabled() &&
                          !control<QPushButton>(window, "Button2").isEnabled() &&
                          window.cursor().shape() == Qt::WaitCursor;
        busyTurns += busy ? 1 : 0;
    };
    runWindow(window, [&] {
        harness.whileWaiting = nullptr;
        EXPECT_TRUE(control<QTabWidget>(window, "PageControl1").isEnabled());
        EXPECT_TRUE(control<QPushButton>(window, "BitBtn1").isEnabled());
        EXPECT_EQ(control<QComboBox>(window, "ComboBox52").currentText(), "30%");
        EXPECT_EQ(control<QTimeEdit>(window, "DateTimePicker3").time(), QTime(6, 45));
        EXPECT_TRUE(control<QTimeEdit>(window, "DateTimePicker3").isEnabled());
        EXPECT_TRUE(control<QCheckBox>(window, "CheckBox12").isChecked());
        EXPECT_FALSE(control<QTimeEdit>(window, "DateTimePicker4").isEnabled());
        EXPECT_FALSE(control<QCheckBox>(window, "CheckBox3").isChecked());
        EXPECT_EQ(control<QComboBox>(window, "ComboBox51").currentIndex(), 31);  // 3.5
        EXPECT_EQ(control<QComboBox>(window, "ComboBox55").currentText(), "-5");
        EXPECT_EQ(control<QComboBox>(window, "ComboBox57").currentText(), "-5");
        EXPECT_EQ(control<QComboBox>(window, "ComboBox10").currentText(),
                  QString::fromUtf8("7 12-45.00 эксп. вр."));
        EXPECT_EQ(control<QComboBox>(window, "ComboBox4").currentText(), "7");
        EXPECT_EQ(control<QComboBox>(window, "ComboBox61").currentText(), "2");
        EXPECT_EQ(control<QComboBox>(window, "cb2").currentText(), "6");
        EXPECT_EQ(control<QComboBox>(window, "cb3").currentText(), QString::fromUtf8("нет"));
    });

    const std::vector<Request> requests = harness.requests();
    ASSERT_EQ(requests.size(), config::kReadListLength);
    for (std::size_t i = 0; i < requests.size(); ++i) {
        EXPECT_EQ(requests[i],
                  (Request{1, link::cmd::ReadRegister, config::kReadList[i], 0, false, {}}))
            << "read " << i;
    }
    EXPECT_EQ(harness.busyShown, 1) << "the main window shows the reading";
    EXPECT_GT(turns, 0);
    EXPECT_EQ(busyTurns, turns) << "tabs and buttons stay disabled while reading";
    EXPECT_EQ(harness.failedRequests, 0);
}

TEST_F(SettingsWindowOnBoard, SavingUnchangedSettingsWritesOnlyTheClockThenAsksForARestart) {
    bool buttonsDisabledWhileWriting = true;
    const int result = runWindow(window, [&] {
        harness.whileWaiting = [&] {
            for (const char* name : {"Button2", "Button4", "Button5", "BitBtn1"}) {
                buttonsDisabledWhileWriting &= !control<QPushButton>(window, name).isEnabled();
            }
        };
        control<QPushButton>(window, "BitBtn1").click();
    });

    EXPECT_EQ(result, QDialog::Accepted);
    EXPECT_FALSE(window.isVisible());
    EXPECT_EQ(commandsOf(afterReading()), "p");
    EXPECT_TRUE(buttonsDisabledWhileWriting);
    EXPECT_EQ(harness.prompts.said(),
              std::vector<std::string>{"notify: Перезапустите устройство!"});
}

TEST_F(SettingsWindowOnBoard, CancelWritesNothing) {
    const int result = runWindow(window, [&] {
        control<QComboBox>(window, "ComboBox52").setCurrentIndex(9);
        control<QPushButton>(window, "Button2").click();
    });

    EXPECT_EQ(result, QDialog::Rejected);
    EXPECT_TRUE(afterReading().empty());
    EXPECT_TRUE(harness.prompts.said().empty());
}

TEST_F(SettingsWindowOnBoard, ChangedControlsWriteExactlyTheirRegistersInPlanOrder) {
    runWindow(window, [&] {
        control<QComboBox>(window, "cb3").setCurrentIndex(5);
        control<QCheckBox>(window, "CheckBox29").click();             // xx:00 off
        control<QComboBox>(window, "ComboBox52").setCurrentIndex(9);  // 100%
        control<QPushButton>(window, "BitBtn1").click();
    });

    EXPECT_EQ(writesBeforeClock(),
              (std::vector<Request>{registerWrite(67, 0), registerWrite(66, 0x20),
                                    registerWrite(227, 5)}));

    runWindow(window, [&] {
        EXPECT_EQ(control<QComboBox>(window, "ComboBox52").currentText(), "100%")
            << "reopening reads the board again";
        EXPECT_FALSE(control<QCheckBox>(window, "CheckBox29").isChecked());
        EXPECT_EQ(control<QComboBox>(window, "cb3").currentText(), "5");
    });
}

TEST_F(SettingsWindowOnBoard, UncheckedMelodyDisablesItsPickerAndIsWrittenAsOff) {
    runWindow(window, [&] {
        control<QCheckBox>(window, "CheckBox12").click();
        EXPECT_FALSE(control<QTimeEdit>(window, "DateTimePicker3").isEnabled());
        control<QPushButton>(window, "BitBtn1").click();
    });

    EXPECT_EQ(writesBeforeClock(),
              (std::vector<Request>{registerWrite(62, 0x25), registerWrite(63, 0x00)}));
}

TEST_F(SettingsWindowOnBoard, NewAddressMovesEveryLaterRequestToIt) {
    runWindow(window, [&] {
        auto& address = control<QComboBox>(window, "ComboBox50");
        EXPECT_EQ(address.itemText(10), "$0A/10");
        address.setCurrentIndex(10);
        control<QPushButton>(window, "BitBtn1").click();
    });
    harness.ops.readTimeAndDate();
    harness.ops.WaitForRing(10000);

    const std::vector<Request> after = afterReading();
    ASSERT_EQ(commandsOf(after), "rptts") << "address, clock, then the time and date read";
    EXPECT_EQ(after[0], registerWrite(config::kAddressRegister, 10, 1)) << "sent to the old one";
    for (std::size_t i = 1; i < after.size(); ++i) {
        EXPECT_EQ(after[i].address, 10) << i;
    }
    EXPECT_EQ(harness.ops.currentAddress(), 10);

    // What the main window saves when the program closes.
    settings::saveSettings(dir / "Horalux.ini", harness.settings);
    EXPECT_EQ(settings::loadSettings(dir / "Horalux.ini").sysnum, 10);
}

TEST_F(SettingsWindowOnBoard, RefusedSaveWritesNothingAndKeepsTheWindowOpenOnTheListAtFault) {
    struct Case {
        const char* name;
        const char* list;
        int position;
        const char* tab;
        std::string said;
    };
    const Case cases[] = {
        {"a level without value", "ComboBox56", -1, "Внешние устройства",
         "error: '' is not a valid integer value"},
        {"the address of all boards", "ComboBox50", 255, "Основные настройки",
         "error: Адрес 255 — общий адрес всех табло: табло с ним перестанет отвечать. Выберите "
         "другой адрес."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::size_t saidBefore = harness.prompts.said().size();
        const int result = runWindow(window, [&] {
            auto& tabs = control<QTabWidget>(window, "PageControl1");
            tabs.setCurrentIndex(9);
            control<QComboBox>(window, c.list).setCurrentIndex(c.position);
            control<QPushButton>(window, "BitBtn1").click();
            EXPECT_TRUE(window.isVisible()) << "the other edits are not thrown away";
            EXPECT_EQ(tabs.tabText(tabs.currentIndex()), QString::fromUtf8(c.tab));
            EXPECT_EQ(window.focusWidget(), &control<QComboBox>(window, c.list));
        });
        EXPECT_EQ(result, QDialog::Rejected) << "closed by the test's Отмена";
        const std::vector<std::string> said = harness.prompts.said();
        ASSERT_EQ(said.size(), saidBefore + 1);
        EXPECT_EQ(said.back(), c.said);
    }
    EXPECT_EQ(commandsOf(afterReading()), std::string(config::kReadListLength, 't'))
        << "only the second opening's reads";
}

TEST_F(SettingsWindowOnBoard, UnchangedSaveAfterAReadThatOutlastedTheWaitWritesNoRegister) {
    // A slow line: every frame is followed by a pause, so the 71 reads take seconds while the
    // window waits only a moment and shows the board copy before most replies are in.
    harness.settings.DelayTime = 50;
    harness.connect(board->devicePath());
    window.setReadWaitMs(0);
    bool shownBeforeTheReplies = false;
    runWindow(window, [&] {
        // Still disabled: replies were pending when the wait ran out.
        shownBeforeTheReplies = !control<QPushButton>(window, "BitBtn1").isEnabled();
        QElapsedTimer watchdog;
        watchdog.start();
        while (!control<QPushButton>(window, "BitBtn1").isEnabled() && watchdog.elapsed() < 30000) {
            harness.dispatch(10);
        }
        EXPECT_EQ(control<QComboBox>(window, "ComboBox52").currentText(), "30%");
        control<QPushButton>(window, "BitBtn1").click();
    });
    EXPECT_TRUE(shownBeforeTheReplies);
    EXPECT_EQ(commandsOf(afterReading()), "p");
}

// Register files need no board: without a line the window shows the board copy at once.
class SettingsWindowFiles : public testing::Test {
  protected:
    SettingsWindowFiles() { harness.board.lock()->BoardCopy = knownSettings(); }

    config::SettingsModel shown() {
        config::SettingsModel model;
        ui::SettingsBinder(window).read(model);
        return model;
    }
    config::RegisterImage editCopy() { return harness.board.lock()->EditCopy; }

    test::TempDir dir;
    test::WindowHarness harness;
    ui::TForm6 window{harness.ops, harness.board, harness.prompts, harness.dialogs};
};

TEST_F(SettingsWindowFiles, SavedFileTakesTheCsNameAndLoadsBackToTheSameValues) {
    runWindow(window, [&] {
        const config::SettingsModel before = shown();
        harness.dialogs.saveAnswer = dir / "board.txt";
        control<QPushButton>(window, "Button4").click();
        EXPECT_TRUE(std::filesystem::exists(dir / "board.cs"));
        EXPECT_FALSE(std::filesystem::exists(dir / "board.txt"));

        control<QComboBox>(window, "ComboBox52").setCurrentIndex(0);
        control<QComboBox>(window, "ComboBox55").setCurrentIndex(0);
        control<QCheckBox>(window, "CheckBox1").click();
        harness.dialogs.openAnswer = dir / "board.txt";
        control<QPushButton>(window, "Button5").click();
        EXPECT_TRUE(shown() == before);
        EXPECT_TRUE(window.isVisible());
    });
    // Each dialog says what it is for.
    EXPECT_EQ(harness.dialogs.titles, (std::vector<QString>{"Сохранить настройки в файл",
                                                            "Загрузить настройки из файла"}));
    EXPECT_TRUE(harness.prompts.said().empty());
    EXPECT_EQ(config::loadRegisterFile(dir / "board.cs", {}), knownSettings());
}

TEST_F(SettingsWindowFiles, SaveWithoutAConnectionSaysSoAndKeepsTheWindowOpen) {
    runWindow(window, [&] {
        control<QPushButton>(window, "BitBtn1").click();
        EXPECT_TRUE(window.isVisible());
    });
    EXPECT_EQ(harness.prompts.said(),
              std::vector<std::string>{
                  "notify: Табло не подключено. Подключитесь: «Сервис» → «Подключение»."});
}

TEST_F(SettingsWindowFiles, CancelledOpenShowsTheEditCopyAsItStands) {
    config::RegisterImage edit = knownSettings();
    edit.volume = 7;  // 70%
    harness.board.lock()->EditCopy = edit;
    runWindow(window, [&] {
        harness.dialogs.openAnswer.reset();
        control<QPushButton>(window, "Button5").click();
        EXPECT_EQ(harness.dialogs.asked, 1);
        EXPECT_EQ(control<QComboBox>(window, "ComboBox52").currentText(), "70%");
    });
    EXPECT_EQ(editCopy(), edit);
}

TEST_F(SettingsWindowFiles, UnreadableFileIsReportedWithNameAndReasonAndLoadsNothing) {
    std::filesystem::create_directory(dir / "set.cs");
    harness.board.lock()->EditCopy = knownSettings();
    runWindow(window, [&] {
        control<QComboBox>(window, "ComboBox52").setCurrentIndex(0);
        harness.dialogs.openAnswer = dir / "set.txt";
        control<QPushButton>(window, "Button5").click();
        EXPECT_EQ(control<QComboBox>(window, "ComboBox52").currentText(), "30%");
    });
    EXPECT_EQ(editCopy(), knownSettings());
    ASSERT_EQ(harness.prompts.said().size(), 1u);
    const std::string said = harness.prompts.said()[0];
    EXPECT_NE(said.find((dir / "set.cs").string()), std::string::npos) << said;
    EXPECT_NE(said.find("Is a directory"), std::string::npos) << said;
}

TEST_F(SettingsWindowFiles, FileThatCannotBeWrittenIsReportedWithNameAndReason) {
    runWindow(window, [&] {
        harness.dialogs.saveAnswer = dir / "gone" / "set.cs";
        control<QPushButton>(window, "Button4").click();
        EXPECT_TRUE(window.isVisible());
    });
    ASSERT_EQ(harness.prompts.said().size(), 1u);
    const std::string said = harness.prompts.said()[0];
    EXPECT_NE(said.find((dir / "gone" / "set.cs").string()), std::string::npos) << said;
    EXPECT_NE(said.find("No such file or directory"), std::string::npos) << said;
}

class SettingsWindowForm : public testing::Test {
  protected:
    test::WindowHarness harness;
    ui::TForm6 window{harness.ops, harness.board, harness.prompts, harness.dialogs};
};

TEST_F(SettingsWindowForm, EveryModelNameIsAControlOfItsKindAndNoOtherSettingControlExists) {
    const config::SettingsModel model;
    std::set<QString> expected;
    auto expect = [&](const std::vector<std::string>& names, const char* kind) {
        for (const std::string& name : names) {
            const QString qname = QString::fromStdString(name);
            QObject* found = window.findChild<QObject*>(qname);
            ASSERT_NE(found, nullptr) << name;
            EXPECT_TRUE(found->inherits(kind))
                << name << " is a " << found->metaObject()->className();
            expected.insert(qname);
        }
    };
    expect(model.listNames(), "QComboBox");
    expect(model.checkBoxNames(), "QCheckBox");
    expect(model.pickerNames(), "QTimeEdit");

    std::set<QString> present;
    for (QWidget* w : window.findChildren<QWidget*>()) {
        if (qobject_cast<QComboBox*>(w) || qobject_cast<QCheckBox*>(w) ||
            qobject_cast<QTimeEdit*>(w)) {
            present.insert(w->objectName());
        }
    }
    EXPECT_EQ(present, expected);
}

TEST_F(SettingsWindowForm, EveryInputControlHasItsCaption) {
    std::set<const QWidget*> labelled;
    for (const QLabel* label : window.findChildren<QLabel*>()) {
        if (label->buddy() != nullptr && !label->text().trimmed().isEmpty()) {
            labelled.insert(label->buddy());
        }
    }
    for (const QWidget* w : window.findChildren<QWidget*>()) {
        const auto* box = qobject_cast<const QCheckBox*>(w);
        if (!box && !qobject_cast<const QComboBox*>(w) && !qobject_cast<const QTimeEdit*>(w)) {
            continue;
        }
        const bool captioned = labelled.contains(w) || !w->accessibleName().isEmpty() ||
                               (box && !box->text().isEmpty());
        EXPECT_TRUE(captioned) << w->objectName().toStdString();
    }
}

TEST_F(SettingsWindowForm, CreationFillsTheListsWithoutChoosingAnItem) {
    for (const char* name : {"ComboBox50", "ComboBox51", "ComboBox55", "ComboBox56", "ComboBox57",
                             "ComboBox58", "ComboBox60"}) {
        EXPECT_EQ(control<QComboBox>(window, name).currentIndex(), -1) << name;
    }
    EXPECT_EQ(control<QComboBox>(window, "ComboBox58").itemText(10), "$0A/10");
    EXPECT_EQ(control<QComboBox>(window, "ComboBox51").count(), 51);
    EXPECT_EQ(control<QComboBox>(window, "ComboBox56").itemText(0), "-99");
    EXPECT_EQ(control<QComboBox>(window, "ComboBox57").itemText(118), "59");
}

TEST(SettingsWindowLocale, TimeZonesAreWrittenWithTheUsersDecimalSeparator) {
    const QLocale before;
    QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia));
    test::WindowHarness harness;
    ui::TForm6 window{harness.ops, harness.board, harness.prompts, harness.dialogs};
    QLocale::setDefault(before);
    const auto& zones = control<QComboBox>(window, "ComboBox51");
    EXPECT_EQ(zones.itemText(0), "-12,0");
    EXPECT_EQ(zones.itemText(31), "3,5");
}

TEST_F(SettingsWindowForm, AllTenTabCaptionsAreReadableAtOnce) {
    window.show();
    const QTabBar& tabs = *control<QTabWidget>(window, "PageControl1").tabBar();
    ASSERT_EQ(tabs.count(), 10);
    for (int i = 0; i < tabs.count(); ++i) {
        const QRect tab = tabs.tabRect(i);
        EXPECT_TRUE(tabs.rect().contains(tab)) << i << " lies outside the tab bar";
        EXPECT_GE(tab.width(), tabs.fontMetrics().horizontalAdvance(tabs.tabText(i)))
            << tabs.tabText(i).toStdString();
    }
    window.hide();
}

}  // namespace
}  // namespace horalux
