#include "ui/LogFindDialog.h"

#include "ui_LogFindDialog.h"

namespace horalux::ui {

LogFindDialog::LogFindDialog(QWidget* parent)
    : QDialog(parent), ui_(std::make_unique<Ui::LogFindDialog>()) {
    ui_->setupUi(this);
    connect(ui_->FindNext, &QPushButton::clicked, this, [this] { request(true); });
    connect(ui_->FindPrevious, &QPushButton::clicked, this, [this] { request(false); });
    connect(ui_->CloseButton, &QPushButton::clicked, this, &QDialog::close);
    connect(ui_->FindText, &QLineEdit::textChanged, this, [this] { ui_->Result->clear(); });
}

LogFindDialog::~LogFindDialog() = default;

void LogFindDialog::open(const QString& text) {
    if (!text.isEmpty()) {
        ui_->FindText->setText(text);
    }
    ui_->FindText->selectAll();
    ui_->Result->clear();
    show();
    raise();
    activateWindow();
    ui_->FindText->setFocus();
}

void LogFindDialog::setFound(bool found) {
    ui_->Result->setText(found ? QString() : QStringLiteral("Не найдено"));
}

void LogFindDialog::request(bool forward) {
    if (!ui_->FindText->text().isEmpty()) {
        emit findRequested(ui_->FindText->text(), forward);
    }
}

}  // namespace horalux::ui
