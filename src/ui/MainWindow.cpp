#include "ui/MainWindow.h"

#include <array>

#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QMessageBox>
#include <QStatusBar>
#include <QToolTip>

#include "link/wire/Commands.h"
#include "ui/FieldPanel.h"
#include "ui/HelpText.h"
#include "ui/ParametersWindow.h"
#include "ui/Pictures.h"
#include "ui/SettingsWindow.h"
#include "ui/StartupClock.h"
#include "ui/WindowPlacement.h"
#include "ui_MainWindow.h"

namespace horalux::ui {

namespace {

constexpr int kClientWidth = 732;
constexpr int kHeaderAndFields = 41 + 401;
constexpr int kExchangePanelHeight = 245;  // 752 - 507: what the log adds to the window
constexpr int kStatusPanelWidths[3] = {159, 200, 50};
const QString kSlave = QStringLiteral(" Slave");
const QString kBusyText = QStringLiteral("Считывание регистров...");
const QString kReadyText = QStringLiteral("Готово");

QString twoDigits(int value) {
    return QStringLiteral("%1").arg(value, 2, 10, QLatin1Char('0'));
}

}  // namespace

TForm1::TForm1(const MainWindowParts& parts, QWidget* parent)
    : QMainWindow(parent),
      ui_(std::make_unique<Ui::TForm1>()),
      session_(parts.session),
      prompts_(parts.prompts),
      period_(parts.period),
      periodTimer_(parts.periodTimer),
      settingsFile_(parts.settingsFile),
      saveSettings_(parts.saveSettings),
      settings_(session_.settings()) {
    ui_->setupUi(this);
    // No system menu and no title-bar buttons; "Выход" is the way out.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    QPalette black = palette();
    black.setColor(QPalette::Window, Qt::black);
    ui_->ClientArea->setAutoFillBackground(true);
    ui_->ClientArea->setPalette(black);
    ui_->Panel3->setAutoFillBackground(true);
    ui_->Panel3->setPalette(black);
    ui_->Image1->setPixmap(clockPicture(32));
    ui_->CheckBox1->setAccessibleName(ui_->CheckBox1->text());
    periodItem(0)->setCheckable(true);
    // Radio items that also toggle: choosing the checked one unchecks it.
    auto* modes = new QActionGroup(this);
    modes->setExclusionPolicy(QActionGroup::ExclusionPolicy::ExclusiveOptional);
    modes->addAction(ui_->N22);
    modes->addAction(ui_->Slave1);
    log_ = new ExchangeLog(*ui_->RichEdit1, *ui_->CheckBox1, &settings_, this);
    buildStatusBar();
    connectMenus();

    displayTimer_.setInterval(1000);
    connect(&displayTimer_, &QTimer::timeout, this, &TForm1::showClock);
    // Found by name, as the period handling knows it.
    periodTimer_.timer = new QTimer(this);
    periodTimer_.timer->setObjectName(QStringLiteral("Timer2"));
    connect(periodTimer_.timer, &QTimer::timeout, this, [this] { period_.onTimerTick(); });
    connect(qApp, &QGuiApplication::applicationStateChanged, this,
            [this](Qt::ApplicationState state) {
                if (state != Qt::ApplicationActive) {
                    leftForAnotherProgram_ = true;
                } else if (leftForAnotherProgram_) {
                    leftForAnotherProgram_ = false;
                    applicationActivated();
                }
            });

    // The window's part of the creation sequence; the root has loaded the settings and the
    // period, and runs the start-up clock step.
    session_.attach(this, this);
    ui_->N12->setChecked(settings_.Test);
    log_->loadForm();
    showPeriodMarks();
    applyExchangePanel();
    // The mode is not known until the board tells it: neither item is checked yet.
    statusPanels_[0]->setText(kSlave);

    showClock();
    displayTimer_.start();
}

TForm1::~TForm1() {
    shutdown(false);
    session_.attach(nullptr, nullptr);
}

void TForm1::setWindows(TForm6* remoteSettings, TForm3* parameters, TForm5* connection) {
    remoteSettings_ = remoteSettings;
    parameters_ = parameters;
    connectionDialog_ = connection;
}

FieldPanel& TForm1::fieldPanel() const {
    return *ui_->Panel3;
}

void TForm1::buildStatusBar() {
    for (int i = 0; i < 3; ++i) {
        auto* panel = new QLabel(this);
        panel->setObjectName(QStringLiteral("StatusPanel%1").arg(i));
        panel->setFixedWidth(kStatusPanelWidths[i]);
        panel->setFrameShape(QFrame::Panel);
        panel->setFrameShadow(QFrame::Sunken);
        statusBar()->addWidget(panel);
        statusPanels_[i] = panel;
    }
}

void TForm1::connectMenus() {
    connect(ui_->N2, &QAction::triggered, this, &QWidget::close);
    connect(ui_->LineBoardsItem, &QAction::triggered, this, &TForm1::lineBoardsRequested);
    connect(ui_->N8, &QAction::triggered, this, [this] {
        // It opens unconnected too: register files need no board.
        operations().checkConnected();
        if (remoteSettings_ != nullptr) {
            remoteSettings_->openAndRun();
        }
    });
    connect(ui_->N9, &QAction::triggered, this, [this] {
        if (operations().checkConnected()) {
            period_.synchronizeNow();
        }
    });
    connect(ui_->N19, &QAction::triggered, this, [this] {
        if (operations().checkConnected()) {
            operations().readTimeAndDate();
        }
    });
    connect(ui_->N20, &QAction::triggered, this, [this] {
        if (operations().checkConnected()) {
            operations().readUserFields();
        }
    });
    connect(ui_->N22, &QAction::triggered, this, [this] { onModeItem(true); });
    connect(ui_->Slave1, &QAction::triggered, this, [this] { onModeItem(false); });
    connect(ui_->N13, &QAction::triggered, this, &TForm1::onConnectionItem);
    connect(ui_->N5, &QAction::triggered, this, &TForm1::onParameters);
    connect(ui_->N12, &QAction::triggered, this, &TForm1::applyExchangePanel);
    for (int item = 1; item < settings::kPeriodChoiceCount; ++item) {
        connect(periodItem(item), &QAction::triggered, this, [this, item] { onPeriodItem(item); });
    }
    connect(ui_->N25, &QAction::triggered, this, &TForm1::showHelp);
    connect(ui_->N26, &QAction::triggered, this, &TForm1::showAbout);
}

QAction* TForm1::periodItem(int item) const {
    // The items are found by their composed names, N14 (the submenu itself) to N18.
    const QString name = QStringLiteral("N1%1").arg(item + 4);
    if (item == 0) {
        return findChild<QMenu*>(name)->menuAction();
    }
    return findChild<QAction*>(name);
}

void TForm1::showPeriodMarks() {
    for (int item = 0; item < settings::kPeriodChoiceCount; ++item) {
        periodItem(item)->setChecked(
            period_.isChecked(static_cast<timesync::SyncPeriodChoice>(item)));
    }
}

void TForm1::onPeriodItem(int item) {
    period_.choosePeriod(static_cast<timesync::SyncPeriodChoice>(item));
    showPeriodMarks();
}

void TForm1::onModeItem(bool master) {
    QAction* item = master ? ui_->N22 : ui_->Slave1;
    if (!item->isChecked()) {
        modeShown_ = nullptr;
        return;  // unchecked by choosing it again: nothing is sent
    }
    if (!operations().checkConnected()) {
        // Nothing was sent: the marks go back to what the board last said.
        item->setChecked(false);
        if (modeShown_ != nullptr) {
            modeShown_->setChecked(true);
        }
        return;
    }
    modeShown_ = item;
    operations().SetBoardMode(master);
    if (!master && !closing_) {
        statusPanels_[0]->setText(kSlave);
    }
}

void TForm1::showStartupClock(const StartupClockReport& report) {
    statusPanels_[2]->setText(report.word);
    statusPanels_[2]->setToolTip(report.detail);
}

void TForm1::showClock() {
    const platform::LocalDateTime now = session_.clock().now();
    ui_->TimeLabel->setText(twoDigits(now.hour) + '.' + twoDigits(now.minute) + '.' +
                            twoDigits(now.second));
    ui_->DateLabel->setText(twoDigits(now.day) + '.' + twoDigits(now.month) + '.' +
                            QString::number(now.year));
}

void TForm1::applyExchangePanel() {
    const bool shown = ui_->N12->isChecked();
    ui_->ExchangePanel->setVisible(shown);
    log_->setShown(shown);
    if (shown) {
        log_->clear();
    }
    const int height = menuBar()->sizeHint().height() + kHeaderAndFields +
                       (shown ? kExchangePanelHeight : 0) + statusBar()->sizeHint().height();
    setFixedSize(kClientWidth, height);
}

std::array<QWidget*, 3> TForm1::busyAreas() const {
    return {ui_->Panel2, ui_->Panel3, ui_->Panel4};
}

void TForm1::ShowBusyState() {
    busy_ = true;
    ui_->N2->setEnabled(false);
    for (QWidget* w : busyAreas()) {
        w->setCursor(Qt::WaitCursor);
    }
    statusPanels_[1]->setText(kBusyText);
    emit busyStateChanged(true);
}

void TForm1::setIdle() {
    if (!busy_ && statusPanels_[1]->text() == kReadyText) {
        return;  // reported on every loop turn of the exchange: nothing to redo
    }
    busy_ = false;
    ui_->N2->setEnabled(true);
    for (QWidget* w : busyAreas()) {
        w->unsetCursor();
    }
    statusPanels_[1]->setText(kReadyText);
    emit busyStateChanged(false);
}

void TForm1::onParameters() {
    if (parameters_ != nullptr) {
        // Takes effect at the next start, when the time server is asked.
        parameters_->edit(settings_.SinhrTime, settings_.SinhrTimeServer);
    }
}

void TForm1::showHelp() {
    QMessageBox::information(this, QStringLiteral("Horalux"), helpText(kThisPlatform));
}

void TForm1::showAbout() {
    QMessageBox::about(this, QStringLiteral("О программе"),
                       QStringLiteral("Horalux %1\nQt %2\n\nФайл настроек:\n%3")
                           .arg(QStringLiteral(HORALUX_VERSION), QString::fromLatin1(qVersion()),
                                QString::fromStdString(settingsFile_.string())));
}

void TForm1::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (!shownOnce_) {
        shownOnce_ = true;
        centreOnScreen(*this);
        // After the window is on screen, so the dialog opens over it.
        QTimer::singleShot(0, this, &TForm1::activationSequence);
    }
}

void TForm1::applicationActivated() {
    // Only a return from another program counts: our own dialog closing leaves the application
    // active, so a cancelled dialog does not come straight back.
    if (firstActivationRun_ && !activating_ && QApplication::activeModalWidget() == nullptr) {
        activationSequence();
    }
}

void TForm1::closeEvent(QCloseEvent* event) {
    event->accept();
    shutdown();
}

void TForm1::shutdown(bool ask) {
    if (closing_) {
        return;
    }
    closing_ = true;
    // Questions still open are answered Cancel, and no new box appears.
    prompts_.setClosing();
    displayTimer_.stop();
    periodTimer_.stop();
    // From inside an exchange call the thread is cut off the port now and joined afterwards.
    connection().close();
    settings_.Test = ui_->N12->isChecked();
    if (saveSettings_) {
        saveSettings_(ask);
    }
}

}  // namespace horalux::ui
