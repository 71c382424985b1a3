// The windowed program: creates the windows in their order and runs the event loop. The system's
// end signals close the main window the way "Выход" does, so the settings are saved; during
// the start-up wait for the time server, or while its failure box is open, they end the program
// as soon as the main window exists.
#include <QApplication>
#include <cstdio>
#include <cstring>

#include "app/EndSignals.h"
#include "app/StartingConsole.h"
#include "settings/SettingsPath.h"
#include "ui/ProgramWindows.h"
#include "ui/QtTranslations.h"

namespace {

const char kUsage[] =
    "usage: horalux [--help] [--version]\n"
    "Shows and sets seven-segment clock boards on a serial line. The port, speed and board\n"
    "address are chosen in the window.\n"
    "\n"
#ifdef _WIN32
    "Settings file: horalux.ini beside the program; under Program Files, or in a folder it\n"
    "cannot write, %APPDATA%\\horalux\\horalux.ini.\n";
#else
    "Settings file: an installed copy keeps $XDG_CONFIG_HOME/horalux/horalux.ini\n"
    "(~/.config/horalux/horalux.ini when XDG_CONFIG_HOME is unset); a copy run from a\n"
    "folder it can write keeps horalux.ini beside itself.\n";
#endif

}  // namespace

int main(int argc, char** argv) {
    using namespace horalux;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            app::useStartingConsole();
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (std::strcmp(argv[i], "--version") == 0) {
            app::useStartingConsole();
            std::printf("horalux %s\n", HORALUX_VERSION);
            return 0;
        }
    }
    app::catchEndSignals();
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Horalux"));
    ui::loadQtTranslations(application);

    ui::TForm1* mainWindow = nullptr;
    app::onEndSignal([&mainWindow] {
        if (mainWindow == nullptr) {
            // Still starting: a box of the start-up (the time server's failure) goes, and the
            // program ends once the main window is made.
            if (QWidget* modal = QApplication::activeModalWidget()) {
                modal->close();
            }
            return;
        }
        // Nobody may be there to answer a question about the settings file.
        mainWindow->shutdown(false);
        mainWindow->close();
        QApplication::quit();
    });

    ui::ProgramOptions options;
    options.settingsFile = settings::settingsFilePath(settings::currentProgramPath(),
                                                      settings::configFoldersFromEnvironment());
    options.sntp.stop = &app::endRequested();
    ui::ProgramWindows windows(options);
    ui::TForm1& form1 = windows.main();
    if (app::endRequested().load()) {
        form1.shutdown(false);
        return 0;
    }
    mainWindow = &form1;

    // A logout ends the session's programs through the application.
    QObject::connect(&application, &QCoreApplication::aboutToQuit, &form1, [&form1] {
        form1.shutdown(false);
        form1.close();
    });

    form1.show();
    const int rc = QApplication::exec();
    mainWindow = nullptr;
    form1.shutdown(false);
    return rc;
}
