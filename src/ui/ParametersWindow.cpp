#include "ui/ParametersWindow.h"

#include "settings/ProgramSettings.h"
#include "ui/Pictures.h"
#include "ui/WindowPlacement.h"
#include "ui_ParametersWindow.h"

namespace horalux::ui {

TForm3::TForm3(QWidget* parent) : QDialog(parent), ui_(std::make_unique<Ui::TForm3>()) {
    ui_->setupUi(this);
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);
    setFixedSize(450, 337);
    ui_->Image1->setPixmap(clockPicture(24));
    ui_->Edit7->setText(
        QString::fromUtf8(settings::kDefaultTimeServer.data(),
                          static_cast<qsizetype>(settings::kDefaultTimeServer.size())));
    connect(ui_->Button1, &QPushButton::clicked, this, &QDialog::accept);
    connect(ui_->Button2, &QPushButton::clicked, this, &QDialog::reject);
}

TForm3::~TForm3() = default;

void TForm3::showValues(bool sinhrTime, const std::string& sinhrTimeServer) {
    ui_->CheckBox15->setChecked(sinhrTime);
    ui_->Edit7->setText(QString::fromStdString(sinhrTimeServer));
    ui_->PageControl1->setCurrentIndex(0);
}

bool TForm3::sinhrTime() const {
    return ui_->CheckBox15->isChecked();
}

std::string TForm3::sinhrTimeServer() const {
    return ui_->Edit7->text().toStdString();
}

bool TForm3::edit(bool& sinhrTime, std::string& sinhrTimeServer) {
    showValues(sinhrTime, sinhrTimeServer);
    centreOnScreen(*this);
    if (exec() != QDialog::Accepted) {
        return false;
    }
    sinhrTime = this->sinhrTime();
    sinhrTimeServer = this->sinhrTimeServer();
    return true;
}

}  // namespace horalux::ui
