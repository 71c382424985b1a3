#include "ui/ConnectionDialog.h"

#include <QEvent>
#include <QLineEdit>
#include <QMessageBox>
#include <algorithm>

#include "link/scan/BoardScan.h"
#include "link/wire/Commands.h"
#include "link/wire/PortList.h"
#include "ui/Pictures.h"
#include "ui/WindowPlacement.h"
#include "ui_ConnectionDialog.h"

namespace horalux::ui {

namespace {

constexpr int kAddressCount = 256;

// The port field's hint names every kind of port reached by an address.
QString portToolTip() {
    QString forms;
    for (const std::string_view prefix : link::addressPortPrefixes()) {
        forms += (forms.isEmpty() ? QString() : QStringLiteral(", ")) +
                 QString::fromUtf8(prefix.data(), static_cast<qsizetype>(prefix.size())) +
                 QStringLiteral("АДРЕС:ПОРТ");
    }
    return QStringLiteral(
               "Порт табло, или адрес сервера портов: %1. Замок отмечает порт с "
               "шифрованием.")
        .arg(forms);
}

}  // namespace

QString TForm5::addressItemText(int address) {
    return QString::fromStdString(link::boardAddressText(static_cast<std::uint8_t>(address)));
}

TForm5::TForm5(PortControl& control, QWidget* parent)
    : QDialog(parent), ui_(std::make_unique<Ui::TForm5>()), control_(control) {
    ui_->setupUi(this);
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);
    setFixedSize(424, 216);
    ui_->SpeedButton1->setIcon(refreshIcon());
    ui_->BitBtn1->setIcon(connectIcon());
    ui_->ComboBox1->setToolTip(portToolTip());
    for (int a = 0; a < kAddressCount; ++a) {
        ui_->ComboBox3->addItem(addressItemText(a));
    }
    ui_->ComboBox2->setCurrentIndex(0);
    connect(ui_->SpeedButton1, &QToolButton::clicked, this, &TForm5::refreshPortList);
    connect(ui_->RadioButton1, &QRadioButton::clicked, this, &TForm5::onRadioClicked);
    connect(ui_->RadioButton2, &QRadioButton::clicked, this, &TForm5::onRadioClicked);
    connect(ui_->FindButton, &QPushButton::clicked, this, &TForm5::findBoards);
    connect(ui_->BitBtn1, &QPushButton::clicked, this, [this] {
        connectSequence();
        accept();
    });
}

TForm5::~TForm5() = default;

bool TForm5::run(ConnectionChoice& choice) {
    choice_ = &choice;
    showChoice();
    centreOnScreen(*this);
    const bool ok = exec() == QDialog::Accepted;
    choice_ = nullptr;
    return ok;
}

bool TForm5::event(QEvent* event) {
    if (event->type() == QEvent::WindowActivate && choice_ != nullptr) {
        refreshPortList();
    }
    return QDialog::event(event);
}

void TForm5::showChoice() {
    const int speedItem = ui_->ComboBox2->findText(QString::number(choice_->speed));
    if (speedItem >= 0) {
        ui_->ComboBox2->setCurrentIndex(speedItem);
    }
    const bool all = choice_->address == link::kAllBoards;
    ui_->RadioButton1->setChecked(all);
    ui_->RadioButton2->setChecked(!all);
    if (!all) {
        ui_->ComboBox3->setCurrentIndex(choice_->address);
    }
    onRadioClicked();
    refreshPortList();
}

void TForm5::onRadioClicked() {
    ui_->ComboBox3->setEnabled(ui_->RadioButton2->isChecked());
}

void TForm5::refreshPortList() {
    // A cancelled dialog changes nothing, so the list does not pick the program's port for it.
    std::string comPort = choice_ != nullptr ? choice_->port : std::string();
    const link::PortList list = link::ListPorts(
        comPort, choice_ != nullptr ? choice_->networkPorts : std::vector<std::string>{});
    // An address being typed survives the list's refresh (the dialog refreshes it whenever it
    // comes back to the front).
    const int index = ui_->ComboBox1->currentIndex();
    const QString text = ui_->ComboBox1->currentText();
    const bool typed = !text.isEmpty() && (index < 0 || text != ui_->ComboBox1->itemText(index));
    ui_->ComboBox1->clear();
    for (const link::PortListEntry& entry : list.entries) {
        // The only mark is the encrypted kinds' lock: drawn beside the name, not typed into it.
        ui_->ComboBox1->addItem(entry.mark.empty() ? QIcon() : lockIcon(),
                                QString::fromStdString(entry.label),
                                QString::fromStdString(entry.name));
    }
    ui_->ComboBox1->setCurrentIndex(list.selected);
    if (typed) {
        ui_->ComboBox1->setEditText(text);
    } else if (QLineEdit* edit = ui_->ComboBox1->lineEdit()) {
        edit->setCursorPosition(0);  // a long address shows from its kind on
    }
}

std::optional<std::string> TForm5::chosenPort() const {
    const int index = ui_->ComboBox1->currentIndex();
    const QString text = ui_->ComboBox1->currentText().trimmed();
    // An item shows its label; anything else in the box was typed and is taken as it stands.
    if (index >= 0 && text == ui_->ComboBox1->itemText(index)) {
        return ui_->ComboBox1->itemData(index).toString().toStdString();
    }
    if (text.isEmpty()) {
        return std::nullopt;
    }
    return text.toStdString();
}

void TForm5::findBoards() {
    // The port as it will be connected: a typed address too.
    const std::optional<std::string> port = chosenPort();
    if (!port) {
        QMessageBox::information(this, QStringLiteral("Horalux"),
                                 QStringLiteral("Нет порта, на котором искать табло."));
        return;
    }
    bool isNumber = false;
    const int shown = ui_->ComboBox2->currentText().trimmed().toInt(&isNumber);
    const std::uint32_t speed = isNumber && shown > 0 ? static_cast<std::uint32_t>(shown) : 9600;
    ScanDialog scan(control_.session(), *port, speed, this);
    const std::optional<link::FoundBoard> board = scan.run();
    if (!board) {
        return;
    }
    const QString speedText = QString::number(board->speed);
    const int speedItem = ui_->ComboBox2->findText(speedText);
    if (speedItem >= 0) {
        ui_->ComboBox2->setCurrentIndex(speedItem);
    } else {
        ui_->ComboBox2->setEditText(speedText);
    }
    ui_->RadioButton2->setChecked(true);
    ui_->ComboBox3->setCurrentIndex(board->address);
    onRadioClicked();
}

bool TForm5::connectSequence() {
    bool isNumber = false;
    const QString speedText = ui_->ComboBox2->currentText();
    const int speed = speedText.trimmed().toInt(&isNumber);
    if (!isNumber) {
        QMessageBox::critical(this, QStringLiteral("Horalux"),
                              QStringLiteral("'%1' is not a valid integer value").arg(speedText));
        return false;
    }
    const std::optional<std::string> port = chosenPort();
    // The device has said its word on the speed before anything is kept: a refused one is not.
    if (!control_.connectTo(port, static_cast<std::uint32_t>(std::max(speed, 0)))) {
        return false;
    }
    if (port) {
        choice_->port = *port;
        if (control_.portOpen()) {
            link::RememberNetworkPort(choice_->networkPorts, *port);
        }
    }
    choice_->speed = speed;
    choice_->address = ui_->RadioButton1->isChecked()
                           ? link::kAllBoards
                           : static_cast<std::uint8_t>(ui_->ComboBox3->currentIndex());
    return true;
}

}  // namespace horalux::ui
