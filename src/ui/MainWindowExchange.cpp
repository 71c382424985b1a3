// The main window's side of the exchange: what the exchange thread reports, the connection
// dialog and the reconnections. The connection object owns the port and the thread.
#include <QApplication>
#include <QMetaObject>

#include "link/exchange/ExchangeRecord.h"
#include "link/exchange/Messages.h"
#include "link/wire/Commands.h"
#include "ui/FieldPanel.h"
#include "ui/MainWindow.h"
#include "ui_MainWindow.h"

namespace horalux::ui {

namespace {
constexpr std::string_view kReadAgain = "Значение не прочитано! Повторить чтение?";
constexpr std::string_view kReconnect = "Устройство не отвечает! Повторить подключение?";
}  // namespace

bool TForm1::onRequestFailed(std::unique_ptr<link::BoardRequest> copy) {
    if (closing_) {
        connection().dropFailedRequest(std::move(copy));
        return true;
    }
    if (prompts_.askRetry(kReadAgain) && !closing_) {
        connection().reviveFailedRequest();
        return true;
    }
    connection().dropFailedRequest(std::move(copy));
    if (!closing_ && prompts_.askRetry(kReconnect) && !closing_) {
        // The thread waits for this call: it is cut off now, and the rest (join, purge, close,
        // the dialog) happens once the call has returned.
        connection().stop();
        QMetaObject::invokeMethod(this, &TForm1::reconnect, Qt::QueuedConnection);
    }
    return true;
}

void TForm1::onBoardMode(std::uint8_t code) {
    if (code == link::kBoardModeMaster) {
        ui_->N22->setChecked(true);
        modeShown_ = ui_->N22;
        statusPanels_[0]->setText(QStringLiteral(" Мастер"));
    } else if (code == link::kBoardModeSlave) {
        ui_->Slave1->setChecked(true);
        modeShown_ = ui_->Slave1;
        statusPanels_[0]->setText(QStringLiteral(" Slave"));
    }
}

void TForm1::onExchangeInfo(const link::TStrMsg& record) {
    log_->append(record);
}

bool TForm1::takesExchangeInfo() const {
    return log_->takesRecords();
}

void TForm1::onRingState(bool empty) {
    // The connection has already passed the report to the operations.
    if (empty && operations().RingIdle()) {
        setIdle();
    }
}

// ---- The field display: every refresh of the board's fields passes here ----------------
void TForm1::refreshBoardView() {
    fieldPanel().refreshBoardView();
}

void TForm1::refreshUserFields() {
    fieldPanel().refreshUserFields();
}
// ------------------------------------------------------------------------------------------

void TForm1::onLinkDown() {
    if (busy_) {
        setIdle();  // the batch under way will not finish
    }
    if (closing_ || linkDownAsked_) {
        return;
    }
    linkDownAsked_ = true;
    QMetaObject::invokeMethod(this, &TForm1::askReconnect, Qt::QueuedConnection);
}

void TForm1::askReconnect() {
    if (closing_) {
        return;
    }
    // Closed once; until the user reconnects, the next activation brings the dialog.
    connection().close();
    if (prompts_.askRetry(kReconnect) && !closing_) {
        runConnectionDialog();
        finishReadAfterConnect();
    }
    linkDownAsked_ = false;
}

void TForm1::reconnect() {
    if (closing_) {
        return;
    }
    connection().close();
    if (busy_) {
        setIdle();
    }
    runConnectionDialog();
    finishReadAfterConnect();
}

bool TForm1::connectTo(const std::optional<std::string>& port, std::uint32_t speed) {
    // A failed open is shown by the core: "Error opening port" with the opener's cause, which
    // the prompts put into the box's informative text.
    if (port) {
        return !connection().connect(*port, speed).speedRefused;
    }
    if (!connection().isOpen()) {
        return true;
    }
    const bool taken = connection().setSpeed(speed);
    connection().start();  // at the new speed, or at the old one the device kept
    return taken;
}

bool TForm1::runConnectionDialog() {
    if (connectionDialog_ == nullptr || closing_) {
        return false;
    }
    ConnectionChoice choice{settings_.ComPort, settings_.ComSpeed, settings_.sysnum,
                            settings_.NetworkPorts};
    if (!connectionDialog_->run(choice)) {
        return false;
    }
    settings_.ComPort = choice.port;
    settings_.NetworkPorts = choice.networkPorts;
    settings_.ComSpeed = choice.speed;
    operations().setCurrentAddress(choice.address);
    return true;
}

void TForm1::activationSequence() {
    firstActivationRun_ = true;
    if (closing_ || activating_ || portOpen()) {
        return;
    }
    activating_ = true;
    if (runConnectionDialog() && portOpen()) {
        readAfterConnect();
    }
    activating_ = false;
}

void TForm1::readAfterConnect() {
    if (operations().currentAddress() == link::kAllBoards) {
        return;  // no reads to all boards; the period starts when the user picks one
    }
    afterConnectOwed_ = true;
    operations().readRegistersAfterConnect();
    finishReadAfterConnect();
}

void TForm1::finishReadAfterConnect() {
    // A failed read answered with a reconnection ends the wait before the connection dialog
    // shows: the rest is owed to the connection that dialog opens.
    if (!afterConnectOwed_ || closing_ || !connection().running()) {
        return;
    }
    afterConnectOwed_ = false;
    if (operations().currentAddress() == link::kAllBoards) {
        return;  // reconnected to all boards: as for a first connection to them
    }
    operations().readClockAndFields();
    period_.applyRememberedChoice();
    showPeriodMarks();
}

void TForm1::onConnectionItem() {
    // The dialog may change the speed of, or close, the port the exchange is using.
    connection().stop();
    if (busy_) {
        setIdle();
    }
    runConnectionDialog();
    if (connection().isOpen() && !connection().running() && !closing_) {
        // Cancelled, or nothing changed: the connection as it was, a fresh exchange on the same
        // port at the same speed and address. An open port never stays without one.
        connection().start();
    }
    finishReadAfterConnect();
}

}  // namespace horalux::ui
