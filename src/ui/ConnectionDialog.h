#pragma once

#include <QDialog>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "ui/ScanDialog.h"

namespace Ui {
class TForm5;
}

namespace horalux::ui {

// What the connection dialog does to the line. The main window answers through its connection;
// the dialog itself knows nothing of frames or threads.
class PortControl {
  public:
    virtual ~PortControl() = default;
    virtual bool portOpen() const = 0;
    // The connect sequence on the line: the same port at another speed keeps it open with the
    // new speed, another port replaces it, and a fresh exchange starts on the open port. Without
    // a port (an empty list) the open port, if any, takes the speed and gets the exchange.
    // False when the device refused the speed: the connection there was goes on unchanged.
    virtual bool connectTo(const std::optional<std::string>& port, std::uint32_t speed) = 0;
    // The session a scan of the line works with ("Найти табло...").
    virtual link::Session& session() = 0;
};

// The program state the dialog edits.
struct ConnectionChoice {
    std::string port;
    std::int32_t speed = 9600;
    std::uint8_t address = 1;
    // Network ports that connected once, newest first: offered after the local ports.
    std::vector<std::string> networkPorts{};
};

// The connection dialog, "Подключение": port, speed and addressee; "Подключить" opens the port
// and starts the exchange.
class TForm5 final : public QDialog {
    Q_OBJECT
  public:
    TForm5(PortControl& control, QWidget* parent = nullptr);
    ~TForm5() override;

    // Shows the dialog modally with `choice` in its controls. On "Подключить" the connect
    // sequence updates `choice` and the port; true then. False when closed otherwise.
    bool run(ConnectionChoice& choice);

    // The port list again, with the current port selected.
    void refreshPortList();

    static QString addressItemText(int address);

  protected:
    bool event(QEvent* event) override;

  private:
    void showChoice();
    void onRadioClicked();
    // "Найти табло...": scans the selected port; a board chosen there sets speed and address.
    void findBoards();
    // False when it changed nothing (a speed that is not a number or that the device refused).
    bool connectSequence();
    // The port chosen from the list or typed (an address, say); nothing when the box is empty.
    std::optional<std::string> chosenPort() const;

    std::unique_ptr<Ui::TForm5> ui_;
    PortControl& control_;
    ConnectionChoice* choice_ = nullptr;
};

}  // namespace horalux::ui
