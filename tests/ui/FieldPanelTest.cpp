// The field display panel and the user-field edit box, against the stand-in board sending its
// status and field layout frames, and on a decoded state filled by hand where the board cannot
// say what a case needs.
#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QtTest/QTest>

#include "WindowHarness.h"
#include "link/wire/Commands.h"
#include "support/FakeSystemClock.h"
#include "support/FakeTick.h"
#include "ui/FieldEditBox.h"
#include "ui/FieldPanel.h"

namespace horalux::test {
namespace {

using ui::FieldPanel;

QLabel* label(const QWidget& panel, const QString& name) {
    return panel.findChild<QLabel*>(name, Qt::FindDirectChildrenOnly);
}

QString textOf(const QWidget& panel, const QString& name) {
    const QLabel* l = label(panel, name);
    return l != nullptr ? l->text() : QString();
}

bool shown(const QWidget& panel, const QString& name) {
    return !textOf(panel, name).isEmpty();
}

bool emptied(const QWidget& panel, const QString& name) {
    const QLabel* l = label(panel, name);
    return l != nullptr && l->text().isEmpty();
}

bool handCursor(const QLabel* l) {
    return l->testAttribute(Qt::WA_SetCursor) && l->cursor().shape() == Qt::PointingHandCursor;
}

// The board's settings for a test: time shown, the given display formats and field lengths.
config::RegisterImage boardSettings(std::array<std::uint8_t, 8> formats,
                                    std::vector<std::uint8_t> fieldLengths) {
    config::RegisterImage image;
    image.displayTimes[0] = 10;
    image.displayFormats = formats;
    std::copy(fieldLengths.begin(), fieldLengths.end(), image.userScreens.begin());
    return image;
}

std::vector<std::string> masterBoard(const std::string& name, const config::RegisterImage& image) {
    return {"--master", "--registers", saveTemporaryRegisterFile(name, image)};
}

// The harness's own session on the stand-in board with these arguments, and the edit box a
// panel on it opens.
struct BoardExchange : WindowHarness {
    explicit BoardExchange(const std::vector<std::string>& boardArgs)
        : WindowHarness({boardArgs, "", false, false}) {
        settings.DelayTime = 20;
        connect();
    }
    ui::Tfmodf editBox;
};

void writeRegister(BoardExchange& exchange, std::uint8_t reg, std::uint8_t value) {
    exchange.ops.queue(link::op::kWriteTries, link::op::kWriteIntervalMs, link::cmd::WriteRegister,
                       reg, value);
}

// --- Sensor fields ----------------------------------------------------------------------------

TEST(FieldPanelSensorFields, ListTheDateFirstThenTheShownSensorsAndEmptyThemWhenAllAreOff) {
    BoardExchange exchange(masterBoard("sensors", boardSettings({5, 0, 3, 0, 0, 4, 0, 3}, {4})));
    FieldPanel panel;
    panel.attach(exchange.board, exchange.ops, exchange.editBox);
    exchange.showOn(&panel);
    panel.show();

    ASSERT_TRUE(exchange.waitUntil([&] { return shown(panel, "L012"); }));
    const link::BoardData data = exchange.board.snapshot();
    const struct {
        QString caption;
        std::size_t sensorText;
        int top;
    } rows[] = {{"Дата", 7, 168}, {"Температура 2", 2, 192}, {"Влажность", 5, 216}};
    for (int n = 0; n < 3; ++n) {
        SCOPED_TRACE(n);
        const QLabel* caption = label(panel, "L01" + QString::number(n));
        const QLabel* value = label(panel, "L02" + QString::number(n));
        ASSERT_TRUE(caption != nullptr && value != nullptr);
        EXPECT_EQ(caption->text(), rows[n].caption);
        EXPECT_EQ(caption->pos(), QPoint(16, rows[n].top));
        EXPECT_EQ(value->text().toStdString(), data.SensorFieldTexts[rows[n].sensorText]);
        EXPECT_EQ(value->pos(), QPoint(200, rows[n].top));
    }
    EXPECT_EQ(label(panel, "L013"), nullptr);
    EXPECT_EQ(textOf(panel, "Label8").toStdString(), link::currentMainText(data));

    // Every sensor switched off: the labels stay, empty.
    for (std::uint8_t reg = 217; reg <= 223; ++reg) {
        writeRegister(exchange, reg, 0);
    }
    ASSERT_TRUE(exchange.waitUntil([&] { return emptied(panel, "L010"); }));
    for (int n = 0; n < 3; ++n) {
        EXPECT_TRUE(emptied(panel, "L01" + QString::number(n))) << n;
        EXPECT_TRUE(emptied(panel, "L02" + QString::number(n))) << n;
    }
}

// A decoded state filled by hand, for what no board frame produces.
struct HandFilledPanel : testing::Test {
    HandFilledPanel() : ops(tick, clock, prompts, state, busy, pump, settings) {
        ops.attachRing(&ring);  // as if connected: clicks open the box
        panel.attach(state, ops, editBox);
        panel.show();
    }
    struct NoBusy : link::BusyIndicator {
        void ShowBusyState() override {}
    } busy;
    struct NoPump : link::MessagePump {
        void dispatch(std::uint32_t) override {}
    } pump;
    FakeTick tick;
    FakeSystemClock clock;
    RecordingPrompts prompts;
    link::BoardState state;
    settings::ProgramSettings settings;
    link::RequestRing ring;
    link::BoardOperations ops;
    ui::Tfmodf editBox;
    FieldPanel panel;
};

TEST_F(HandFilledPanel, ShowNoSensorLabelsWhileEverySensorIsOff) {
    state.lock()->SensorFieldTexts[1] = "21";
    panel.refreshBoardView();
    EXPECT_EQ(label(panel, "L010"), nullptr);
    EXPECT_EQ(label(panel, "L020"), nullptr);
}

TEST_F(HandFilledPanel, CutASensorValueToTenCharacters) {
    {
        auto data = state.lock();
        data->BoardCopy.displayFormats[4] = 3;
        data->SensorFieldTexts[4] = "P7451234567";  // 12 characters, the board never sends so many
        data->SensorFieldTexts[4] += "8";
    }
    panel.refreshBoardView();
    EXPECT_EQ(textOf(panel, "L010"), "Давление");
    EXPECT_EQ(textOf(panel, "L020"), "P745123456");
}

TEST_F(HandFilledPanel, PlaceUserFieldsFromSixteenOnInTheSecondColumn) {
    {
        auto data = state.lock();
        data->UserFieldCount = 18;
        data->UserFieldTexts[17] = "1.5";
    }
    panel.refreshUserFields();
    EXPECT_EQ(label(panel, "L00_117")->pos(), QPoint(552, 78));
    EXPECT_EQ(label(panel, "L00_217")->pos(), QPoint(622, 78));
    EXPECT_EQ(textOf(panel, "L00_117"), "Поле 17");
    EXPECT_EQ(textOf(panel, "L00_217"), "1.5");
}

TEST_F(HandFilledPanel, ElideTextsThatWouldRunPastThePanelOrIntoTheSecondColumn) {
    const QString longText(60, QChar('8'));
    {
        auto data = state.lock();
        data->UserFieldCount = 17;
        data->UserFieldTexts[16] = longText.toStdString();
        data->UserFieldTexts[0] = "12";
        data->UserFieldTexts[1] = "1234567890123456";
    }
    panel.refreshUserFields();
    const QLabel* wide = label(panel, "L00_216");
    EXPECT_TRUE(wide->text().endsWith(QChar(0x2026)));
    EXPECT_EQ(wide->toolTip(), longText);
    EXPECT_LE(wide->geometry().right(), panel.width());
    EXPECT_EQ(textOf(panel, "L00_20"), "12");
    EXPECT_EQ(label(panel, "L00_20")->toolTip(), QString());
    const QLabel* firstColumn = label(panel, "L00_21");
    EXPECT_EQ(firstColumn->toolTip(), "1234567890123456");
    EXPECT_LT(firstColumn->geometry().right(), 552);

    // With the second column gone the first has the panel's width again.
    state.lock()->UserFieldCount = 2;
    panel.refreshUserFields();
    EXPECT_EQ(firstColumn->text(), "1234567890123456");
}

TEST_F(HandFilledPanel, EndEveryUserFieldCaptionBeforeTheFieldsText) {
    state.lock()->UserFieldCount = 32;
    panel.refreshUserFields();
    for (int n = 0; n < 32; ++n) {
        const QLabel* caption = label(panel, "L00_1" + QString::number(n));
        EXPECT_LT(caption->x() + caption->fontMetrics().horizontalAdvance(caption->text()),
                  label(panel, "L00_2" + QString::number(n))->x())
            << n;
    }
}

TEST(FieldPanelFieldNumber, TakeTheNumberFromTheSixthCharacterOn) {
    const struct {
        const char* name;
        std::optional<int> field;
    } cases[] = {
        {"L00_17", 7},
        {"L00_27", 7},
        {"L00_112", 12},
        {"L00_231", 31},
        {"field", std::nullopt},
        {"L00_1", std::nullopt},
        {"L00_1x", std::nullopt},
        {"L00_132", std::nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(FieldPanel::fieldNumber(c.name), c.field) << c.name;
    }
}

// --- User fields -------------------------------------------------------------------------------

TEST(FieldPanelUserFields, EmptyTheLabelsOfFieldsNoLongerInUseAndFillThemAgainOnReturn) {
    BoardExchange exchange(
        masterBoard("userfields", boardSettings({5, 0, 0, 0, 0, 0, 0, 0}, {4, 4, 6, 2, 3})));
    FieldPanel panel;
    panel.attach(exchange.board, exchange.ops, exchange.editBox);
    exchange.showOn(&panel);
    panel.show();
    ASSERT_TRUE(exchange.waitUntil([&] { return textOf(panel, "L00_14") == "Поле 4"; }));

    writeRegister(exchange, 227, 0);  // three fields in use
    ASSERT_TRUE(exchange.waitUntil([&] { return emptied(panel, "L00_13"); }));
    for (const char* name : {"L00_13", "L00_23", "L00_14", "L00_24"}) {
        SCOPED_TRACE(name);
        const QLabel* l = label(panel, name);
        ASSERT_NE(l, nullptr);
        EXPECT_EQ(l->text(), QString());
        EXPECT_FALSE(handCursor(l));
    }
    EXPECT_TRUE(handCursor(label(panel, "L00_22")));

    writeRegister(exchange, 227, 2);  // five again
    ASSERT_TRUE(exchange.waitUntil([&] { return textOf(panel, "L00_13") == "Поле 3"; }));
    const link::BoardData data = exchange.board.snapshot();
    EXPECT_EQ(textOf(panel, "L00_14"), "Поле 4");
    EXPECT_EQ(textOf(panel, "L00_23").toStdString(), data.UserFieldTexts[3]);
    EXPECT_EQ(textOf(panel, "L00_24").toStdString(), data.UserFieldTexts[4]);
    for (const char* name : {"L00_13", "L00_23", "L00_14", "L00_24"}) {
        EXPECT_TRUE(handCursor(label(panel, name))) << name;
    }
}

// --- Editing a user field ------------------------------------------------------------------------

struct EditBox {
    explicit EditBox(ui::Tfmodf& tfmodf)
        : box(tfmodf),
          caption(tfmodf.findChild<QLabel*>("Label1")),
          edit(tfmodf.findChild<QLineEdit*>("Edit1")),
          ok(tfmodf.findChild<QPushButton*>("Button1")),
          cancel(tfmodf.findChild<QPushButton*>("Button2")) {}
    ui::Tfmodf& box;
    QLabel* caption;
    QLineEdit* edit;
    QPushButton* ok;
    QPushButton* cancel;
};

// Clicks a label and, if the modal edit box comes up, lets `inBox` work it; whether it came up.
bool clickAndEdit(
    FieldPanel& panel, const QString& labelName,
    const std::function<void(EditBox&)>& inBox = [](EditBox&) {}) {
    EditBox box(panel.editBox());
    bool opened = false;
    // Owned here, so it never fires after this returns.
    QTimer whenOpen;
    whenOpen.setSingleShot(true);
    QObject::connect(&whenOpen, &QTimer::timeout, [&] {
        opened = box.box.isVisible();
        if (opened) {
            inBox(box);
        }
        if (box.box.isVisible()) {
            box.box.reject();
        }
    });
    whenOpen.start(0);
    QLabel* clicked = label(panel, labelName);
    if (clicked == nullptr) {
        ADD_FAILURE() << "no label " << labelName.toStdString();
        return false;
    }
    // Nothing else runs before the caller looks: a board frame could repaint the labels.
    QTest::mouseClick(clicked, Qt::LeftButton);
    return opened;
}

TEST_F(HandFilledPanel, OpenNothingForALabelWithoutAFieldNumberOrAnEmptiedOne) {
    {
        auto data = state.lock();
        data->UserFieldCount = 2;
        data->BoardCopy.userScreens[0] = 4;
        data->BoardCopy.userScreens[1] = 4;
    }
    panel.refreshUserFields();
    state.lock()->UserFieldCount = 1;
    panel.refreshUserFields();
    EXPECT_FALSE(clickAndEdit(panel, "field"));
    EXPECT_FALSE(clickAndEdit(panel, "L00_21"));
    EXPECT_TRUE(clickAndEdit(panel, "L00_10"));
}

struct FieldEditOnTheBoard : testing::Test {
    // Fields of 4, 4 and 6 digits holding "12.34", "-5_0" and "123456".
    FieldEditOnTheBoard()
        : exchange(masterBoard("edit", boardSettings({5, 0, 0, 0, 0, 0, 0, 0}, {4, 4, 6}))) {
        panel.attach(exchange.board, exchange.ops, exchange.editBox);
        exchange.showOn(&panel);
        panel.show();
        EXPECT_TRUE(exchange.waitUntil([&] { return textOf(panel, "L00_21") == "-5_0"; }));
    }
    BoardExchange exchange;
    FieldPanel panel;
};

TEST_F(FieldEditOnTheBoard, OkShowsTheTextAtOnceAndSendsEveryFieldInOneWrite) {
    QString caption;
    QString before;
    ASSERT_TRUE(clickAndEdit(panel, "L00_21", [&](EditBox& box) {
        caption = box.caption->text();
        before = box.edit->text();
        QTest::keyClicks(box.edit, "12.5");
        QTest::mouseClick(box.ok, Qt::LeftButton);
    }));
    EXPECT_EQ(caption, "Редактирование поля 1");
    EXPECT_EQ(before, "-5_0");
    EXPECT_EQ(textOf(panel, "L00_21"), "12.5");

    auto isFieldWrite = [](const link::Request& r) {
        return r.command == link::cmd::WriteUserFields;
    };
    std::vector<link::Request> written;
    ASSERT_TRUE(exchange.waitUntil([&] {
        written = exchange.requests();
        return std::any_of(written.begin(), written.end(), isFieldWrite);
    }));
    const auto write = *std::find_if(written.begin(), written.end(), isFieldWrite);
    EXPECT_EQ(write.address, 1);
    EXPECT_EQ(write.data, (std::vector<std::uint8_t>{0x06, 0xDB, 0x4F, 0x66,  //
                                                     0x06, 0xDB, 0x6D, 0x00,  //
                                                     0x06, 0x5B, 0x4F, 0x66, 0x6D, 0x7D}));
    // The board keeps it: its next layout frame brings it back.
    EXPECT_TRUE(exchange.waitUntil([&] { return textOf(panel, "L00_21") == "12.5 "; }));
}

TEST_F(FieldEditOnTheBoard, CancelOrEscapeChangesNothingAndSendsNothing) {
    ASSERT_TRUE(clickAndEdit(panel, "L00_11", [&](EditBox& box) {
        QTest::keyClicks(box.edit, "7");
        QTest::mouseClick(box.cancel, Qt::LeftButton);
    }));
    ASSERT_TRUE(clickAndEdit(panel, "L00_21", [&](EditBox& box) {
        QTest::keyClicks(box.edit, "8");
        QTest::keyClick(box.edit, Qt::Key_Escape);
        EXPECT_FALSE(box.box.isVisible());
    }));
    EXPECT_EQ(textOf(panel, "L00_21"), "-5_0");
    EXPECT_EQ(exchange.board.snapshot().UserFieldTexts[1], "-5_0");
    EXPECT_TRUE(exchange.ringEmpty());
}

TEST_F(FieldEditOnTheBoard, ClickWithoutAConnectionSaysSoBeforeAnythingIsTyped) {
    exchange.stopExchange();
    EXPECT_FALSE(clickAndEdit(panel, "L00_21")) << "no box to type into";
    EXPECT_EQ(textOf(panel, "L00_21"), "-5_0");
    EXPECT_EQ(exchange.prompts.said(),
              std::vector<std::string>{
                  "notify: Табло не подключено. Подключитесь: «Сервис» → «Подключение»."});
}

TEST_F(FieldEditOnTheBoard, OkAfterTheExchangeEndedWhileTypingSaysSoAndKeepsTheOldText) {
    ASSERT_TRUE(clickAndEdit(panel, "L00_21", [&](EditBox& box) {
        QTest::keyClicks(box.edit, "8");
        exchange.stopExchange();
        QTest::mouseClick(box.ok, Qt::LeftButton);
    }));
    EXPECT_EQ(textOf(panel, "L00_21"), "-5_0");
    EXPECT_EQ(exchange.board.snapshot().UserFieldTexts[1], "-5_0");
    EXPECT_EQ(exchange.prompts.said(),
              std::vector<std::string>{
                  "notify: Табло не подключено. Подключитесь: «Сервис» → «Подключение»."});
}

// The key filter, on the box alone.
TEST(FieldEditBox, LetInOnlyWhatTheDigitsCanShowWithEachDotRaisingTheLimit) {
    const struct {
        const char* what;
        int length;
        const char* start;
        const char* typed;
        const char* expected;
    } cases[] = {
        {"letters and plus signs are dropped", 4, "", "a+1B2", "12"},
        {"the limit holds", 4, "", "12345", "1234"},
        {"a dot lets one more character in", 4, "", "1.2345", "1.234"},
        {"minus, underscore and space pass", 4, "", "-_ 9", "-_ 9"},
        {"a text longer than the field is shown whole", 4, "12.34", "", "12.34"},
    };
    ui::Tfmodf tfmodf;
    EditBox box(tfmodf);
    for (const auto& c : cases) {
        tfmodf.prepare(3, c.length, c.start);
        box.edit->end(false);
        QTest::keyClicks(box.edit, c.typed);
        EXPECT_EQ(box.edit->text(), c.expected) << c.what;
    }
}

TEST(FieldEditBox, SetTheLimitAfreshAtEachOpening) {
    ui::Tfmodf tfmodf;
    EditBox box(tfmodf);
    tfmodf.prepare(0, 2, "");
    QTest::keyClicks(box.edit, "...");
    tfmodf.prepare(0, 2, "");
    QTest::keyClicks(box.edit, "1234");
    EXPECT_EQ(box.edit->text(), "12");
}

TEST(FieldEditBox, FilterPastedTextAsIfTyped) {
    ui::Tfmodf tfmodf;
    EditBox box(tfmodf);
    tfmodf.prepare(0, 4, "");
    QGuiApplication::clipboard()->setText("x1.2+3456");
    QTest::keySequence(box.edit, QKeySequence::Paste);
    EXPECT_EQ(box.edit->text(), "1.234");
}

}  // namespace
}  // namespace horalux::test
