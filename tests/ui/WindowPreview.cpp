// Shows one window with sample values, to look at it or take its picture:
//   window_preview settings [TAB]    the remote settings window on tab TAB (0..9)
//   window_preview parameters        the program parameters window
//   window_preview editbox           the user-field edit box for field 3
//   window_preview connection        the connection dialog, with a stand-in board on its port
//   window_preview connection-tls    the connection dialog on a remembered TLS port
//   window_preview scan              the scan window on three stand-in boards at 115200 bit/s
//   window_preview lineboards        the line's boards, the time synchronised on all three, one
//                                    of which does not answer
#include <QApplication>
#include <QTabWidget>
#include <QTimer>
#include <cstdlib>
#include <cstring>
#include <string>

#include "ui/ConnectionDialog.h"
#include "ui/FieldEditBox.h"
#include "ui/LineBoardsWindow.h"
#include "ui/ParametersWindow.h"
#include "ui/QtTranslations.h"
#include "ui/ScanDialog.h"
#include "ui/SettingsWindow.h"
#include "ui/WindowHarness.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    horalux::ui::loadQtTranslations(app);
    const char* which = argc > 1 ? argv[1] : "settings";
    if (std::strcmp(which, "parameters") == 0) {
        horalux::ui::TForm3 window;
        bool sinhrTime = true;
        std::string server = "pool.ntp.org";
        return window.edit(sinhrTime, server) ? 0 : 1;
    }
    if (std::strcmp(which, "editbox") == 0) {
        horalux::ui::Tfmodf box;
        box.prepare(3, 4, QStringLiteral("12.5"));
        return box.exec() == QDialog::Accepted ? 0 : 1;
    }
    if (std::strcmp(which, "connection-tls") == 0) {
        horalux::test::WindowHarness boards(
            {{"--speed", "115200"}, "[Interface]\nComPort=%PORT%\nComSpeed=115200\nsysnum=1\n"});
        boards.answerer.stop();
        const std::string tls = "rfc2217+tls://192.0.2.10:4001";
        horalux::ui::ConnectionChoice choice{tls, 115200, 1, {tls, "tcp://192.0.2.11:4000"}};
        return boards.windows().connection().run(choice) ? 0 : 1;
    }
    if (std::strcmp(which, "connection") == 0 || std::strcmp(which, "scan") == 0) {
        horalux::test::WindowHarness boards(
            {{"--address", "77", "--address", "3", "--address", "200", "--master", "--speed",
              "115200", "--strict-speed"},
             "[Interface]\nComPort=%PORT%\nComSpeed=115200\nsysnum=1\nDelayTime=50\n"});
        boards.answerer.stop();  // the person looking answers
        if (std::strcmp(which, "scan") == 0) {
            horalux::ui::ScanDialog scan(boards.form().session(), boards.port(), 115200);
            return scan.run() ? 0 : 1;
        }
        horalux::ui::ConnectionChoice choice{boards.port(), 115200, 1};
        return boards.windows().connection().run(choice) ? 0 : 1;
    }
    if (std::strcmp(which, "lineboards") == 0) {
        horalux::test::WindowHarness boards(
            {{"--address", "3", "--address", "77", "--address", "200", "--mute", "200", "--speed",
              "115200"},
             "[Interface]\nComPort=%PORT%\nComSpeed=115200\nsysnum=3\nDelayTime=50\n"
             "[LineBoards]\nPorts=%PORT%\nBoards1=3:115200:M:+2;77:115200:S:-41;200:115200:?:\n"});
        boards.answerer.answers = {horalux::test::Answer::Connect};
        boards.form().show();
        horalux::test::WindowHarness::waitUntil([&] { return !boards.form().busy(); });
        boards.action("LineBoardsItem")->trigger();
        horalux::ui::LineBoardsWindow& window = boards.windows().lineBoards();
        for (int row = 0; row < window.rowCount(); ++row) {
            window.setChecked(row, true);
        }
        QTimer::singleShot(500, &window, [&] { window.syncTime(); });
        return app.exec();
    }
    horalux::test::WindowHarness harness;
    {
        auto data = harness.board.lock();
        auto& r = data->BoardCopy;
        r.displayTimes = {10, 3, 2, 27, 22, 0, 3, 3, 2};
        r.timeZone = 0x83;
        r.lowerLevel = 0xFB;
        r.dimStart = 0x2200;
        r.dimEnd = 0x0700;
        r.alarm1 = 0x0645;
        r.alarm2 = 0x2500;
        r.signalFlags = 0xA6;
        r.modeFlags = 0x83;
        r.volume = 3;
        r.address = 1;
        r.upperLevel = 25;
        r.dailyCorrection = 0x8005;
        r.displayFormats = {7, 4, 3, 0, 4, 4, 4, 3};
        r.userScreens[0] = 4;
        r.userScreens[1] = 16;
    }
    horalux::ui::TForm6 window(harness.ops, harness.board, harness.prompts, harness.dialogs);
    const int tab = argc > 2 ? std::atoi(argv[2]) : 0;
    QObject::connect(&window, &horalux::ui::TForm6::boardShown, &window,
                     [&] { window.findChild<QTabWidget*>("PageControl1")->setCurrentIndex(tab); });
    return window.openAndRun() == QDialog::Accepted ? 0 : 1;
}
