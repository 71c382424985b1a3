#pragma once

#include <QString>
#include <filesystem>
#include <optional>

class QWidget;

namespace horalux::ui {

// Asks the user for the name of a register file, under the dialog's own title ("Записать файл
// на табло"); nothing when the dialog was cancelled. Tests answer in the user's place.
class RegisterFileDialogs {
  public:
    virtual ~RegisterFileDialogs() = default;
    virtual std::optional<std::filesystem::path> saveName(QWidget* parent,
                                                          const QString& title) = 0;
    virtual std::optional<std::filesystem::path> openName(QWidget* parent,
                                                          const QString& title) = 0;
};

// Qt's file dialogs with the one filter "cs" (*.cs).
class QtRegisterFileDialogs final : public RegisterFileDialogs {
  public:
    std::optional<std::filesystem::path> saveName(QWidget* parent, const QString& title) override;
    std::optional<std::filesystem::path> openName(QWidget* parent, const QString& title) override;
};

// The program's file dialogs are Qt's own, not the desktop's: they speak the program's language
// whatever the desktop's is. An empty name when cancelled.
QString askOpenFile(QWidget* parent, const QString& title, const QString& filter);
QString askSaveFile(QWidget* parent, const QString& title, const QString& filter);
QString askFolder(QWidget* parent, const QString& title);

}  // namespace horalux::ui
