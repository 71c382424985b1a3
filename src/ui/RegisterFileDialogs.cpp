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

QString askOpenFile(QWidget* parent, const QString& title, const QString& filter) {
    return QFileDialog::getOpenFileName(parent, title, QString(), filter, nullptr,
                                        QFileDialog::DontUseNativeDialog);
}

QString askSaveFile(QWidget* parent, const QString& title, const QString& filter) {
    return QFileDialog::getSaveFileName(parent, title, QString(), filter, nullptr,
                                        QFileDialog::DontUseNativeDialog);
}

QString askFolder(QWidget* parent, const QString& title) {
    return QFileDialog::getExistingDirectory(
        parent, title, QString(), QFileDialog::ShowDirsOnly | QFileDialog::DontUseNativeDialog);
}

std::optional<std::filesystem::path> QtRegisterFileDialogs::saveName(QWidget* parent,
                                                                     const QString& title) {
    return chosen(askSaveFile(parent, title, kFilter));
}

std::optional<std::filesystem::path> QtRegisterFileDialogs::openName(QWidget* parent,
                                                                     const QString& title) {
    return chosen(askOpenFile(parent, title, kFilter));
}

}  // namespace horalux::ui
