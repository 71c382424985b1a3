// The main window's side of the exchange: the port, the exchange thread, what the thread reports,
// the connection dialog and the reconnections.
#include <QApplication>
#include <QMetaObject>

#include "link/Commands.h"
#include "link/Messages.h"
#include "link/PortAccess.h"
#include "platform/PosixSerialPort.h"
#include "ui/MainWindow.h"
#include "ui_MainWindow.h"

namespace horalux::ui {

namespace {
constexpr std::string_view kReadAgain = "Значение не прочитано! Повторить чтение?";
constexpr std::string_view kReconnect = "Устройство не отвечает! Повторить подключение?";
}  // namespace

// Marks an exchange call on the stack. The thread waits for the call to return, so nothing in
// it may join the thread; a shutdown asked for meanwhile is finished once the call is over.
class TForm1::HandlerScope {
  public:
    explicit HandlerScope(TForm1& form) : form_(form) { ++form_.handlerDepth_; }
    ~HandlerScope() {
        if (--form_.handlerDepth_ == 0 && form_.closing_ && !form_.shutDown_) {
            QMetaObject::invokeMethod(&form_, &TForm1::finishShutdown, Qt::QueuedConnection);
        }
    }
    HandlerScope(const HandlerScope&) = delete;
    HandlerScope& operator=(const HandlerScope&) = delete;

  private:
    TForm1& form_;
};

void TForm1::onRequestFailed(std::unique_ptr<link::BoardRequest> copy) {
    HandlerScope scope(*this);
    if (!closing_ && prompts_.askRetry(kReadAgain) && !closing_ && thread_) {
        link::reviveFailedRequest(thread_->ring(), tick_.nowMs());
        return;
    }
    if (thread_) {
        link::dropFailedRequest(*thread_, std::move(copy));
    }
    if (!closing_ && prompts_.askRetry(kReconnect) && !closing_) {
        // The old exchange goes once this call has returned, and only then the dialog shows.
        stopExchange();
        QMetaObject::invokeMethod(this, &TForm1::reconnect, Qt::QueuedConnection);
    }
}

void TForm1::onBoardMode(std::uint8_t code) {
    HandlerScope scope(*this);
    if (code == link::kBoardModeMaster) {
        ui_->N22->setChecked(true);
        statusPanels_[0]->setText(QStringLiteral(" Мастер"));
    } else if (code == link::kBoardModeSlave) {
        ui_->Slave1->setChecked(true);
        statusPanels_[0]->setText(QStringLiteral(" Slave"));
    }
}

void TForm1::onExchangeInfo(const link::TStrMsg& record) {
    log_->append(record);
}

void TForm1::onRingState(bool empty) {
    ops_.setRingIdle(empty);
    if (empty && ops_.RingIdle()) {
        setIdle();
    }
}

// ---- The field display: every refresh of the board's fields passes here ----------------
void TForm1::refreshBoardView() {
    HandlerScope scope(*this);
    if (refreshBoardView_) {
        refreshBoardView_();
    }
}

void TForm1::refreshUserFields() {
    HandlerScope scope(*this);
    if (refreshUserFields_) {
        refreshUserFields_();
    }
}
// ------------------------------------------------------------------------------------------

void TForm1::onLinkDown() {
    HandlerScope scope(*this);
    if (closing_ || linkDownAsked_) {
        return;
    }
    linkDownAsked_ = true;
    stopExchange();
    QMetaObject::invokeMethod(this, &TForm1::askReconnect, Qt::QueuedConnection);
}

void TForm1::askReconnect() {
    if (closing_) {
        return;
    }
    teardownExchange();
    if (prompts_.askRetry(kReconnect) && !closing_) {
        runConnectionDialog();
    }
}

void TForm1::reconnect() {
    if (closing_) {
        return;
    }
    teardownExchange();
    runConnectionDialog();
}

void TForm1::stopExchange() {
    if (thread_) {
        thread_->StopWorker();
    }
    // Nothing serves the ring any more: waits end, and nothing is queued onto it.
    ops_.attachRing(nullptr);
    ops_.setRingIdle(true);
    if (busy_) {
        setIdle();
    }
}

void TForm1::joinExchange() {
    stopExchange();
    if (thread_ && !exchangeCallRunning()) {
        thread_->join();
        thread_.reset();
    }
}

void TForm1::teardownExchange() {
    joinExchange();
    if (thread_) {
        return;  // still on the stack of one of its calls; finished later
    }
    if (port_) {
        link::PurgePort(*port_);
        port_->close();
        port_.reset();
        openPortName_.clear();
    }
}

void TForm1::changeSpeed(std::uint32_t speed) {
    try {
        link::SetPortSpeed(*port_, speed);
    } catch (const platform::PortError& e) {
        prompts_.error(e.what());
    }
}

void TForm1::closePort() {
    teardownExchange();
}

bool TForm1::openPort(const std::string& name, std::uint32_t speed) {
    platform::PosixSerialOpener serialDevices;
    platform::SerialDeviceOpener& opener =
        options_.opener != nullptr ? *options_.opener : serialDevices;
    try {
        port_ = link::OpenPort(opener, name, speed, prompts_);
    } catch (const platform::PortError& e) {
        prompts_.error(e.what());
        port_.reset();
    }
    if (port_) {
        openPortName_ = name;
    }
    return port_ != nullptr;
}

void TForm1::startExchange() {
    // Never two exchanges on one port: the old thread has ended before the new one starts.
    joinExchange();
    if (!port_ || thread_) {
        return;
    }
    thread_ = std::make_unique<link::TNewThread>(
        link::ExchangeContext{*port_, tick_, prompts_, *this, mainThread_.calls(), board_,
                              static_cast<std::uint32_t>(settings_.DelayTime)});
    ops_.attachRing(&thread_->ring());
    linkDownAsked_ = false;
    thread_->Start();
}

bool TForm1::runConnectionDialog() {
    if (connection_ == nullptr || closing_) {
        return false;
    }
    ConnectionChoice choice{settings_.ComPort, settings_.ComSpeed, ops_.currentAddress()};
    if (!connection_->run(choice)) {
        return false;
    }
    settings_.ComPort = choice.port;
    settings_.ComSpeed = choice.speed;
    settings_.sysnum = choice.address;
    ops_.setCurrentAddress(choice.address);
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
    if (ops_.currentAddress() == link::kAllBoards) {
        return;  // no reads to all boards; the period starts when the user picks one
    }
    ops_.readAfterConnect();
    if (closing_ || !portOpen()) {
        return;
    }
    period_.applyRememberedChoice();
    showPeriodMarks();
}

void TForm1::onConnectionItem() {
    // The dialog may change the speed of, or close, the port the exchange is using.
    joinExchange();
    const bool accepted = runConnectionDialog();
    if (!accepted && portOpen() && !closing_) {
        // Cancelled: the connection as it was, a fresh exchange on the same port and address.
        startExchange();
    }
}

}  // namespace horalux::ui
