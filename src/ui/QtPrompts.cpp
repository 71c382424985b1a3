#include "ui/QtPrompts.h"

#include <QAbstractButton>
#include <QMessageBox>

namespace horalux::ui {

namespace {

QString fromUtf8(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

int showBox(QWidget* parent, QMessageBox::Icon icon, const QString& caption, std::string_view text,
            QMessageBox::StandardButtons buttons) {
    QMessageBox box(icon, caption, QString(), buttons, parent);
    // The program's boxes keep their own button texts, whatever Qt's translation calls them.
    if (QAbstractButton* ok = box.button(QMessageBox::Ok)) {
        ok->setText(QStringLiteral("OK"));
    }
    if (QAbstractButton* cancel = box.button(QMessageBox::Cancel)) {
        cancel->setText(QStringLiteral("Cancel"));
    }
    const std::size_t cut = text.find('\n');
    box.setText(fromUtf8(text.substr(0, cut)));
    if (cut != std::string_view::npos) {
        box.setInformativeText(fromUtf8(text.substr(cut + 1)));
    }
    return box.exec();
}

}  // namespace

void QtPrompts::notify(std::string_view text) {
    if (!closing_) {
        showBox(parent_, QMessageBox::Information, QStringLiteral("Horalux"), text,
                QMessageBox::Ok);
    }
}

void QtPrompts::error(std::string_view text) {
    if (!closing_) {
        showBox(parent_, QMessageBox::Critical, QStringLiteral("Horalux"), text, QMessageBox::Ok);
    }
}

bool QtPrompts::askRetry(std::string_view text) {
    if (closing_) {
        return false;
    }
    return showBox(parent_, QMessageBox::Warning, QStringLiteral("Warning"), text,
                   QMessageBox::Ok | QMessageBox::Cancel) == QMessageBox::Ok;
}

}  // namespace horalux::ui
