#include "ui/RegisterFileDialogs.h"

#include <QFileDialog>

namespace horalux::ui {

namespace {

const QString kFilter = QStringLiteral("cs (*.cs)");

std::optional<std::filesystem::path> chosen(const QString& name) {
    if (name.isEmpty()) {
        return std::nullopt;
    }
    return std::filesystem::path(name.toStdString());
}

}  // namespace

std::optional<std::filesystem::path> QtRegisterFileDialogs::saveName(QWidget* parent) {
    return chosen(QFileDialog::getSaveFileName(parent, QString(), QString(), kFilter));
}

std::optional<std::filesystem::path> QtRegisterFileDialogs::openName(QWidget* parent) {
    return chosen(QFileDialog::getOpenFileName(parent, QString(), QString(), kFilter));
}

}  // namespace horalux::ui
