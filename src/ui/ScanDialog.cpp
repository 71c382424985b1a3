#include "ui/ScanDialog.h"

#include <QPushButton>
#include <algorithm>

#include "ui/WindowPlacement.h"
#include "ui_ScanDialog.h"

namespace horalux::ui {

namespace {

constexpr std::uint32_t kSpeeds[] = {9600, 115200};
// The window follows the probes this often at most: each report holds the scan up while the
// main thread takes it.
constexpr std::uint32_t kProgressEveryMs = 100;

QString secondsText(std::int64_t s) {
    return (s > 0 ? QStringLiteral("+") : QString()) + QString::number(s) + QStringLiteral(" с");
}

}  // namespace

QString ScanDialog::boardText(const link::FoundBoard& board) {
    const QString mode = !board.modeFlags ? QStringLiteral("режим неизвестен")
                         : board.master() ? QStringLiteral("Мастер")
                                          : QStringLiteral("Slave");
    const QString clock = board.clockDifferenceS
                              ? QStringLiteral("часы ") + secondsText(*board.clockDifferenceS)
                              : QStringLiteral("часы неизвестны");
    return QStringLiteral("%1   %2 бит/с   %3   %4")
        .arg(QString::fromStdString(link::boardAddressText(board.address)))
        .arg(board.speed)
        .arg(mode, clock);
}

ScanDialog::ScanDialog(link::Session& session, std::string port, std::uint32_t firstSpeed,
                       QWidget* parent)
    : QDialog(parent),
      ui_(std::make_unique<Ui::ScanDialog>()),
      session_(session),
      port_(std::move(port)) {
    ui_->setupUi(this);
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);
    // The speed the connection dialog shows is the likeliest: it goes first.
    speeds_.push_back(firstSpeed);
    for (const std::uint32_t s : kSpeeds) {
        if (s != firstSpeed) {
            speeds_.push_back(s);
        }
    }
    connect(ui_->CancelButton, &QPushButton::clicked, this, &ScanDialog::reject);
    connect(ui_->ChooseButton, &QPushButton::clicked, this, &ScanDialog::choose);
    connect(ui_->BoardList, &QListWidget::currentRowChanged, this,
            [this](int row) { ui_->ChooseButton->setEnabled(row >= 0); });
    connect(ui_->BoardList, &QListWidget::itemDoubleClicked, this, &ScanDialog::choose);
}

ScanDialog::~ScanDialog() {
    end();
}

std::optional<link::FoundBoard> ScanDialog::run() {
    centreOnScreen(*this);
    exec();
    return chosen_;
}

void ScanDialog::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!started_) {
        started_ = true;
        // Once shown: a port that cannot be opened is told over the window, not before it.
        QMetaObject::invokeMethod(this, &ScanDialog::start, Qt::QueuedConnection);
    }
}

void ScanDialog::start() {
    loan_ = session_.connection().lend(port_, speeds_.front());
    if (!loan_) {
        ui_->StatusLabel->setText(
            QStringLiteral("Порт %1 не открыт.").arg(QString::fromStdString(port_)));
        finished_ = true;
        return;
    }
    ui_->ProgressBar->setRange(0, static_cast<int>(speeds_.size() * 254));
    const auto delayMs = static_cast<std::uint32_t>(std::max(session_.settings().DelayTime, 0));
    link::ScanOptions options{speeds_, 1, 254, delayMs};
    // Taken here: the worker touches nothing of the session but these.
    platform::Tick& tick = session_.tick();
    platform::SystemClock& clock = session_.clock();
    link::MainThread& mainThread = session_.mainThread();
    worker_ = std::jthread([this, options, &tick, &clock, &mainThread](std::stop_token stop) {
        link::BoardScan scan(loan_->port(), tick, clock, options);
        std::uint32_t lastShown = tick.nowMs() - kProgressEveryMs;
        std::uint32_t lastSpeed = 0;
        link::ScanCallbacks callbacks;
        callbacks.progress = [&](const link::ScanProgress& p) {
            const std::uint32_t now = tick.nowMs();
            if (p.speed == lastSpeed && platform::elapsedMs(lastShown, now) < kProgressEveryMs) {
                return;
            }
            lastShown = now;
            lastSpeed = p.speed;
            mainThread.run([&] { showProgress(p); }, stop);
        };
        callbacks.found = [&](const link::FoundBoard& b) {
            mainThread.run([&] { addBoard(b); }, stop);
        };
        const link::ScanResult result = scan.run(stop, callbacks);
        mainThread.run([&] { showResult(result); }, stop);
    });
}

void ScanDialog::end() {
    if (worker_.joinable()) {
        worker_.request_stop();
        worker_.join();
    }
    finished_ = true;
    loan_.reset();
}

void ScanDialog::showProgress(const link::ScanProgress& p) {
    ui_->ProgressBar->setValue(static_cast<int>(p.probesDone));
    ui_->StatusLabel->setText(QStringLiteral("%1 бит/с, адрес %2: найдено %3, осталось %4 с")
                                  .arg(p.speed)
                                  .arg(QString::fromStdString(link::boardAddressText(p.address)))
                                  .arg(p.found)
                                  .arg((p.msLeft + 999) / 1000));
}

void ScanDialog::addBoard(const link::FoundBoard& board) {
    boards_.push_back(board);
    ui_->BoardList->addItem(boardText(board));
    if (ui_->BoardList->currentRow() < 0) {
        ui_->BoardList->setCurrentRow(0);
    }
}

void ScanDialog::showResult(const link::ScanResult& result) {
    finished_ = true;
    completed_ = !result.stopped && result.failure.empty();
    ui_->ProgressBar->setValue(ui_->ProgressBar->maximum());
    if (!result.failure.empty()) {
        ui_->StatusLabel->setText(QStringLiteral("Поиск прерван: ") +
                                  QString::fromStdString(result.failure));
    } else {
        ui_->StatusLabel->setText(QStringLiteral("Поиск окончен: найдено %1").arg(boards_.size()));
    }
}

void ScanDialog::choose() {
    const int row = ui_->BoardList->currentRow();
    if (row < 0 || static_cast<std::size_t>(row) >= boards_.size()) {
        return;
    }
    chosen_ = boards_[static_cast<std::size_t>(row)];
    end();
    accept();
}

void ScanDialog::reject() {
    end();
    QDialog::reject();
}

}  // namespace horalux::ui
