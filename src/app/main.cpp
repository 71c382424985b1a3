// The windowed program: creates the windows in their order and runs the event loop. SIGTERM,
// SIGINT and SIGHUP close the main window the way "Выход" does, so the settings are saved; during
// the start-up wait for the time server, or while its failure box is open, they end the program
// as soon as the main window exists.
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QApplication>
#include <QSocketNotifier>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <memory>

#include "settings/SettingsPath.h"
#include "ui/ProgramWindows.h"

namespace {

int signalPipe[2] = {-1, -1};
// Set by the signal; the start-up wait for the time server looks at it.
std::atomic<bool> endRequested{false};
static_assert(std::atomic<bool>::is_always_lock_free, "set from a signal handler");

void onSignal(int) {
    endRequested.store(true);
    const char byte = 1;
    // Nothing else is safe in a signal handler; the event loop does the closing.
    [[maybe_unused]] const ssize_t written = ::write(signalPipe[1], &byte, 1);
}

void catchEndSignals() {
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, signalPipe) != 0) {
        return;
    }
    struct sigaction action {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int sig : {SIGTERM, SIGINT, SIGHUP}) {
        sigaction(sig, &action, nullptr);
    }
}

const char kUsage[] =
    "usage: horalux [--help] [--version]\n"
    "Shows and sets seven-segment clock boards on a serial line. The port, speed and board\n"
    "address are chosen in the window.\n"
    "\n"
    "Settings file: an installed copy keeps $XDG_CONFIG_HOME/horalux/horalux.ini\n"
    "(~/.config/horalux/horalux.ini when XDG_CONFIG_HOME is unset); a copy run from a\n"
    "folder it can write keeps horalux.ini beside itself.\n";

}  // namespace

int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("horalux %s\n", HORALUX_VERSION);
            return 0;
        }
    }
    catchEndSignals();
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Horalux"));

    using namespace horalux;
    ui::TForm1* mainWindow = nullptr;
    std::unique_ptr<QSocketNotifier> notifier;
    if (signalPipe[0] >= 0) {
        notifier = std::make_unique<QSocketNotifier>(signalPipe[0], QSocketNotifier::Read);
        QObject::connect(notifier.get(), &QSocketNotifier::activated, [&mainWindow] {
            char byte = 0;
            [[maybe_unused]] const ssize_t got = ::read(signalPipe[0], &byte, 1);
            if (mainWindow == nullptr) {
                // Still starting: a box of the start-up (the time server's failure) goes, and
                // the program ends once the main window is made.
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
    }

    ui::MainWindowOptions options;
    options.settingsFile = settings::settingsFilePath(settings::currentProgramPath(),
                                                      settings::configFoldersFromEnvironment());
    options.sntp.stop = &endRequested;
    ui::ProgramWindows windows(options);
    ui::TForm1& form1 = windows.main();
    if (endRequested.load()) {
        form1.shutdown(false);
        return 0;
    }
    mainWindow = &form1;

    // A logout ends the session's programs through the application.
    QObject::connect(&app, &QCoreApplication::aboutToQuit, &form1, [&form1] {
        form1.shutdown(false);
        form1.close();
    });

    form1.show();
    const int rc = QApplication::exec();
    mainWindow = nullptr;
    form1.shutdown(false);
    return rc;
}
