// Shows the remote settings window with sample settings on a chosen tab, to look at it:
//   settings_window_preview [TAB]    (TAB 0..9)
#include <QApplication>
#include <QTabWidget>
#include <QTimer>
#include <cstdlib>

#include "ui/SettingsWindowHarness.h"
#include "ui/TForm6.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
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
    const int tab = argc > 1 ? std::atoi(argv[1]) : 0;
    QObject::connect(&window, &horalux::ui::TForm6::boardShown, &window,
                     [&] { window.findChild<QTabWidget*>("PageControl1")->setCurrentIndex(tab); });
    return window.openAndRun() == QDialog::Accepted ? 0 : 1;
}
