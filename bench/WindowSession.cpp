#include "WindowSession.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <stdexcept>

#include "ui/ConnectionDialog.h"
#include "ui/LogView.h"

namespace horalux::bench {

namespace {

// Time server off: the start is measured without it.
constexpr char kSettings[] =
    "[Interface]\nComPort=%PORT%\nComSpeed=115200\nsysnum=1\nDelayTime=50\nSinhrTime=0\n"
    "[View]\nTest=0\n";

}  // namespace

void runEventsFor(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec();
}

bool runEventsUntil(const std::function<bool()>& done, int watchdogMs) {
    QElapsedTimer watchdog;
    watchdog.start();
    while (!done()) {
        if (watchdog.elapsed() > watchdogMs) {
            return false;
        }
        runEventsFor(5);
    }
    return true;
}

WindowSession::WindowSession(const std::vector<std::string>& boardArgs) {
    char pattern[] = "/tmp/horalux-bench-XXXXXX";
    if (mkdtemp(pattern) == nullptr) {
        throw std::runtime_error("cannot make a temporary folder");
    }
    dir_ = pattern;
    board_ = std::make_unique<test::BoardProcess>(boardArgs);
    std::string text = kSettings;
    const std::string mark = "%PORT%";
    text.replace(text.find(mark), mark.size(), board_->devicePath());
    std::ofstream(dir_ / "horalux.ini") << text;
}

void WindowSession::createWindows() {
    QApplication::setQuitOnLastWindowClosed(false);
    ui::ProgramOptions options;
    options.settingsFile = dir_ / "horalux.ini";
    windows_ = std::make_unique<ui::ProgramWindows>(options);
    answerer_ = std::make_unique<QTimer>();
    QObject::connect(answerer_.get(), &QTimer::timeout, [this] { answerModal(); });
    answerer_->start(5);
}

WindowSession::~WindowSession() {
    destroyWindows();
    board_.reset();
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
}

void WindowSession::destroyWindows() {
    answerer_.reset();
    if (windows_) {
        windows_->main().close();
    }
    windows_.reset();
}

void WindowSession::show() {
    windows_->main().show();
}

bool WindowSession::waitConnectedAndIdle() {
    auto* ready = windows_->main().findChild<QLabel*>(QStringLiteral("StatusPanel1"));
    const bool done = runEventsUntil(
        [&] {
            return windows_->main().portOpen() && !form().busy() &&
                   ready->text() == QStringLiteral("Готово");
        },
        30000);
    // Nothing more to answer: its polling would count in the figures.
    answerer_->stop();
    return done;
}

void WindowSession::setLog(bool shown, bool checked) {
    auto* item = windows_->main().findChild<QAction*>(QStringLiteral("N12"));
    if (item->isChecked() != shown) {
        item->trigger();
    }
    windows_->main().findChild<QCheckBox*>(QStringLiteral("CheckBox1"))->setChecked(checked);
}

int WindowSession::logLines() const {
    return windows_->main().findChild<ui::LogView*>(QStringLiteral("RichEdit1"))->lineCount();
}

void WindowSession::answerModal() {
    QWidget* modal = QApplication::activeModalWidget();
    if (modal == nullptr || !modal->isVisible() || modal == answering_) {
        return;
    }
    answering_ = modal;
    std::function<void()> click;
    if (auto* box = qobject_cast<QMessageBox*>(modal)) {
        std::fprintf(stderr, "message box: %s\n", qPrintable(box->text()));
        QAbstractButton* button = box->button(QMessageBox::Cancel);
        if (button == nullptr) {
            button = box->button(QMessageBox::Ok);
        }
        click = [button] { button->click(); };
    } else if (qobject_cast<ui::TForm5*>(modal) != nullptr) {
        auto* connect = modal->findChild<QPushButton*>(QStringLiteral("BitBtn1"));
        click = [connect] { connect->click(); };
    } else {
        click = [modal] { modal->close(); };
    }
    // Clicked from the event loop, not this timer's slot: what the click opens runs its own loop.
    QMetaObject::invokeMethod(
        modal,
        [this, click = std::move(click)] {
            answering_ = nullptr;
            click();
        },
        Qt::QueuedConnection);
}

}  // namespace horalux::bench
