#include "WindowHarness.h"

#include <unistd.h>

#include <QAbstractButton>
#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "config/RegisterFile.h"
#include "ui/ConnectionDialog.h"
#include "ui/FieldPanel.h"
#include "ui/LineBoardsWindow.h"
#include "ui/ParametersWindow.h"
#include "ui/ScanDialog.h"

namespace horalux::test {

ModalAnswerer::ModalAnswerer() {
    connect(&timer_, &QTimer::timeout, this, &ModalAnswerer::poll);
}

int ModalAnswerer::count(const std::string& entry) const {
    return static_cast<int>(std::count(seen.begin(), seen.end(), entry));
}

void ModalAnswerer::poll() {
    if (onPoll) {
        onPoll();
    }
    QWidget* modal = QApplication::activeModalWidget();
    // The line window is a window of its own, modal while open: the tests drive it themselves.
    if (modal == nullptr || !modal->isVisible() || modal == answering_ ||
        qobject_cast<ui::LineBoardsWindow*>(modal) != nullptr) {
        return;
    }
    auto* scan = qobject_cast<ui::ScanDialog*>(modal);
    // A scan window is answered once its scan runs; asked to choose, once a board is listed or
    // the scan has ended.
    if (scan != nullptr && !answers.empty() &&
        (answers.front() == Answer::Ok
             ? scan->findChild<QListWidget*>(QStringLiteral("BoardList"))->count() == 0 &&
                   scan->scanning()
             : !scan->scanning())) {
        return;
    }
    outer_ = answering_;
    answering_ = modal;
    auto* box = qobject_cast<QMessageBox*>(modal);
    // A notice has only OK and takes no answer from the list.
    const bool notice = box != nullptr && box->button(QMessageBox::Cancel) == nullptr;
    Answer answer = Answer::Cancel;
    if (!answers.empty() && !notice) {
        answer = answers.front();
        answers.pop_front();
    }
    if (beforeAnswer) {
        beforeAnswer(modal);
    }
    if (box != nullptr) {
        seen.push_back("box: " + box->text().toStdString());
        if (!box->informativeText().isEmpty()) {
            seen.push_back("because: " + box->informativeText().toStdString());
        }
        QAbstractButton* button =
            box->button(answer == Answer::Ok ? QMessageBox::Ok : QMessageBox::Cancel);
        if (button == nullptr) {
            button = box->button(QMessageBox::Ok);
        }
        later(button, [button] { button->click(); });
    } else if (auto* dialog = qobject_cast<ui::TForm5*>(modal)) {
        seen.push_back("dialog");
        if (answer == Answer::Connect || answer == Answer::Scan) {
            auto* button = dialog->findChild<QPushButton*>(
                answer == Answer::Scan ? QStringLiteral("FindButton") : QStringLiteral("BitBtn1"));
            later(dialog, [button] { button->click(); });
        } else {
            later(dialog, [dialog] { dialog->reject(); });
        }
    } else if (scan != nullptr) {
        seen.push_back("scan");
        auto* button = scan->findChild<QPushButton*>(
            answer == Answer::Ok ? QStringLiteral("ChooseButton") : QStringLiteral("CancelButton"));
        later(scan, [button] { button->click(); });
    } else if (auto* parameters = qobject_cast<ui::TForm3*>(modal)) {
        seen.push_back("parameters");
        later(parameters, [parameters, answer] {
            answer == Answer::Ok ? parameters->accept() : parameters->reject();
        });
    } else if (auto* other = qobject_cast<QDialog*>(modal)) {
        later(other, [other] { other->reject(); });
    }
}

void ModalAnswerer::later(QObject* context, std::function<void()> click) {
    // Clicked from the event loop, not from this timer's slot: a box the click opens runs a
    // nested loop in which this timer must fire again to answer it.
    // Until the click has returned its modal is not answered again: the box it opened may close
    // while the modal is still up, about to close itself.
    QMetaObject::invokeMethod(
        context,
        [this, outer = outer_, click = std::move(click)] {
            click();
            answering_ = outer;
        },
        Qt::QueuedConnection);
}

void WrittenRequests::add(const std::uint8_t* data, std::size_t length) {
    std::lock_guard lock(mutex_);
    for (std::size_t i = 0; i < length; ++i) {
        if (auto request = parser_.push(data[i])) {
            requests_.push_back(std::move(*request));
        }
    }
}

std::vector<link::Request> WrittenRequests::requests() const {
    std::lock_guard lock(mutex_);
    return requests_;
}

platform::SerialDeviceOpener& RecordingOpener::inner() const {
    return through != nullptr ? *through : devices_;
}

std::unique_ptr<platform::SerialPort> RecordingOpener::open(const std::string& name,
                                                            std::uint32_t speed) {
    auto port = inner().open(name, speed);
    if (!port) {
        return nullptr;
    }
    last_ = std::make_shared<WrittenRequests>();
    return std::make_unique<RecordingPort>(std::move(port), last_);
}

std::string RecordingOpener::lastFailureCause() const {
    return inner().lastFailureCause();
}

std::vector<link::Request> RecordingOpener::requests() const {
    return last_ != nullptr ? last_->requests() : std::vector<link::Request>{};
}

WindowHarness::WindowHarness() : WindowHarness(Setup{{}, {}, false, false}) {
    clock.time = {2026, 12, 7, 10, 30, 15, 0};
}

WindowHarness::WindowHarness(const Setup& setup)
    : session_({.events = this,
                .prompts = &prompts,
                .clock = &clock,
                .opener = &opener_,
                .busy = this,
                .pump = this,
                .settings = {.DelayTime = 0}}),
      board(session_.board()),
      settings(session_.settings()),
      ops(session_.operations()) {
    mainThread_.attach(session_.queue(), [this] { session_.serve(0); });
    clock.time = {2026, 3, 14, 15, 9, 26, 0};
    char pattern[] = "/tmp/horalux-ui-XXXXXX";
    if (::mkdtemp(pattern) == nullptr) {
        throw std::runtime_error("cannot make a temporary folder");
    }
    dir_ = pattern;
    settingsFile_ = dir_ / "horalux.ini";
    boardLog_ = dir_ / "board.log";
    if (!setup.boardArgs.empty()) {
        std::vector<std::string> args = setup.boardArgs;
        args.push_back("--verbose");
        board_ = std::make_unique<BoardProcess>(args, boardLog_.string());
        port_ = board_->devicePath();
    }
    if (setup.writeSettings) {
        std::string text = setup.settingsText;
        const std::string mark = "%PORT%";
        for (auto at = text.find(mark); at != std::string::npos; at = text.find(mark, at)) {
            text.replace(at, mark.size(), port_);
        }
        std::ofstream(settingsFile_) << text;
    }
    if (setup.windows) {
        QApplication::setQuitOnLastWindowClosed(false);
        createWindows();
    }
}

WindowHarness::~WindowHarness() {
    destroyWindows();
    session_.connection().close();
    board_.reset();
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
}

void WindowHarness::createWindows() {
    ui::ProgramOptions options;
    options.settingsFile = settingsFile_;
    options.clock = &clock;
    options.clockDisciplined = [] { return false; };
    opener_.through = opener;
    options.opener = &opener_;
    windows_ = std::make_unique<ui::ProgramWindows>(options, &dialogs);
    answerer.start();
}

void WindowHarness::destroyWindows() {
    if (windows_) {
        windows_->main().close();
    }
    windows_.reset();
    answerer.stop();
}

void WindowHarness::connect(const std::string& device) {
    if (!session_.connection().connect(device, 9600)) {
        throw std::runtime_error("cannot open " + device);
    }
}

bool WindowHarness::ringEmpty() {
    link::RequestRing* ring = session_.connection().ring();
    return ring == nullptr || ring->empty();
}

bool WindowHarness::onRequestFailed(std::unique_ptr<link::BoardRequest> copy) {
    ++failedRequests;
    session_.connection().dropFailedRequest(std::move(copy));
    return true;
}

void WindowHarness::refreshBoardView() {
    if (panel_ != nullptr) {
        panel_->refreshBoardView();
    }
}

void WindowHarness::refreshUserFields() {
    if (panel_ != nullptr) {
        panel_->refreshUserFields();
    }
}

void WindowHarness::dispatch(std::uint32_t maxWaitMs) {
    session_.queue().waitPending(std::chrono::milliseconds(maxWaitMs));
    QCoreApplication::processEvents();
    mainThread_.drain();
    if (whileWaiting) {
        whileWaiting();
    }
}

bool WindowHarness::waitUntil(const std::function<bool()>& done, int watchdogMs) {
    QElapsedTimer watchdog;
    watchdog.start();
    while (!done()) {
        if (watchdog.elapsed() > watchdogMs) {
            return false;
        }
        QTest::qWait(5);
    }
    return true;
}

std::vector<std::string> WindowHarness::boardRequests() const {
    std::vector<std::string> requests;
    std::ifstream in(boardLog_);
    std::string line;
    while (std::getline(in, line)) {
        unsigned address = 0;
        unsigned command = 0;
        unsigned p1 = 0;
        unsigned p2 = 0;
        char letter = 0;
        if (std::sscanf(line.c_str(), "request to %u: command %X '%c' params %X %X", &address,
                        &command, &letter, &p1, &p2) == 5) {
            char text[16];
            std::snprintf(text, sizeof text, "%02X %02X %02X", command, p1, p2);
            requests.emplace_back(text);
        }
    }
    return requests;
}

int WindowHarness::boardRequestCount(const std::string& request) const {
    const std::vector<std::string> all = boardRequests();
    return static_cast<int>(std::count(all.begin(), all.end(), request));
}

std::string WindowHarness::statusText(int panel) const {
    const auto* label =
        windows_->main().findChild<QLabel*>(QStringLiteral("StatusPanel%1").arg(panel));
    return label->text().toStdString();
}

QAction* WindowHarness::action(const char* name) const {
    return windows_->main().findChild<QAction*>(QString::fromLatin1(name));
}

std::string saveTemporaryRegisterFile(const std::string& name, const config::RegisterImage& image) {
    const auto path =
        std::filesystem::temp_directory_path() / (name + "-" + std::to_string(::getpid()) + ".cs");
    config::saveRegisterFile(path, image);
    return path.string();
}

}  // namespace horalux::test
