// "Найти табло..." in the connection dialog, against the stand-in board.
#include <gtest/gtest.h>

#include <unistd.h>
#include <QComboBox>
#include <QRadioButton>
#include <algorithm>
#include <filesystem>

#include "ui/ConnectionDialog.h"
#include "ui/ScanDialog.h"
#include "ui/WindowHarness.h"

namespace horalux::test {
namespace {

constexpr char kAllBoardsSettings[] =
    "[Interface]\nComPort=%PORT%\nComSpeed=115200\nsysnum=255\nDelayTime=50\n[View]\nTest=1\n";

bool requestWentTo(const std::vector<link::Request>& requests, std::uint8_t address) {
    return std::any_of(requests.begin(), requests.end(),
                       [&](const link::Request& r) { return r.address == address; });
}

TEST(ScanWindow, ChooseTakesTheBoardsSpeedAndAddressIntoTheDialogAndConnectsThere) {
    WindowHarness h(
        {{"--address", "77", "--speed", "115200", "--strict-speed"}, kAllBoardsSettings});
    QComboBox* speed = h.windows().connection().findChild<QComboBox*>("ComboBox2");
    QComboBox* address = h.windows().connection().findChild<QComboBox*>("ComboBox3");
    QString shownAfterScan;
    h.answerer.beforeAnswer = [&](QWidget* modal) {
        if (qobject_cast<ui::ScanDialog*>(modal) != nullptr) {
            // Meanwhile the user picked another speed: the board's own must replace it.
            speed->setCurrentIndex(speed->findText("9600"));
        } else if (qobject_cast<ui::TForm5*>(modal) != nullptr && h.answerer.count("scan") == 1) {
            shownAfterScan = speed->currentText() + " " + address->currentText() +
                             (address->isEnabled() ? " enabled" : " disabled");
        }
    };
    h.answerer.answers = {Answer::Scan, Answer::Ok, Answer::Connect};
    h.form().show();
    ASSERT_TRUE(
        WindowHarness::waitUntil([&] { return h.form().session().connection().running(); }));

    EXPECT_EQ(h.answerer.seen, (std::vector<std::string>{"dialog", "scan", "dialog"}));
    EXPECT_EQ(shownAfterScan, "115200 $4D/77 enabled");
    EXPECT_EQ(h.form().programSettings().ComSpeed, 115200);
    EXPECT_EQ(h.form().programSettings().sysnum, 77);
    // The reads after connecting go to the board found.
    EXPECT_TRUE(WindowHarness::waitUntil([&] { return requestWentTo(h.requests(), 77); }));
}

TEST(ScanWindow, CancelStopsTheScanAndTheDialogThenConnectsAsBefore) {
    WindowHarness h({{"--speed", "115200"},
                     "[Interface]\nComPort=%PORT%\nComSpeed=115200\nsysnum=1\nDelayTime=50\n"});
    bool scanningWhenCancelled = false;
    h.answerer.beforeAnswer = [&](QWidget* modal) {
        if (auto* scan = qobject_cast<ui::ScanDialog*>(modal)) {
            scanningWhenCancelled = scan->scanning();
        }
    };
    h.answerer.answers = {Answer::Scan, Answer::Cancel, Answer::Connect};
    h.form().show();
    ASSERT_TRUE(
        WindowHarness::waitUntil([&] { return h.form().session().connection().running(); }));

    EXPECT_TRUE(scanningWhenCancelled);
    EXPECT_EQ(h.answerer.seen, (std::vector<std::string>{"dialog", "scan", "dialog"}));
    EXPECT_EQ(h.form().programSettings().sysnum, 1);
    EXPECT_TRUE(WindowHarness::waitUntil([&] { return h.boardRequestCount("74 26 00") >= 1; }))
        << "the board is read after connecting";
}

TEST(ScanWindow, AnAddressTypedIntoThePortBoxIsTheLineScanned) {
    // No port the dialog lists leads to the board: only the typed name does.
    WindowHarness h({{"--address", "77", "--speed", "115200", "--strict-speed"},
                     "[Interface]\nComPort=/dev/horalux-no-such-port\nComSpeed=115200\n"
                     "sysnum=255\nDelayTime=50\n[View]\nTest=1\n"});
    const std::filesystem::path typed = std::filesystem::temp_directory_path() /
                                        ("horalux-typed-port-" + std::to_string(::getpid()));
    std::filesystem::remove(typed);
    std::filesystem::create_symlink(h.port(), typed);
    QComboBox* port = h.windows().connection().findChild<QComboBox*>("ComboBox1");
    h.answerer.beforeAnswer = [&](QWidget* modal) {
        if (qobject_cast<ui::TForm5*>(modal) != nullptr && h.answerer.count("scan") == 0) {
            port->setEditText(QString::fromStdString(typed.string()));
        }
    };
    h.answerer.answers = {Answer::Scan, Answer::Ok, Answer::Connect};
    h.form().show();
    const bool connected =
        WindowHarness::waitUntil([&] { return h.form().session().connection().running(); });
    std::filesystem::remove(typed);
    ASSERT_TRUE(connected);

    EXPECT_EQ(h.answerer.seen, (std::vector<std::string>{"dialog", "scan", "dialog"}));
    EXPECT_EQ(h.form().programSettings().ComPort, typed.string());
    EXPECT_EQ(h.form().programSettings().sysnum, 77);
}

}  // namespace
}  // namespace horalux::test
