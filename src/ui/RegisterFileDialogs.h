#pragma once

#include <filesystem>
#include <optional>

class QWidget;

namespace horalux::ui {

// Asks the user for the name of a register file; nothing when the dialog was cancelled. Tests
// answer in the user's place.
class RegisterFileDialogs {
  public:
    virtual ~RegisterFileDialogs() = default;
    virtual std::optional<std::filesystem::path> saveName(QWidget* parent) = 0;
    virtual std::optional<std::filesystem::path> openName(QWidget* parent) = 0;
};

// The desktop's file dialogs with the one filter "cs" (*.cs).
class QtRegisterFileDialogs final : public RegisterFileDialogs {
  public:
    std::optional<std::filesystem::path> saveName(QWidget* parent) override;
    std::optional<std::filesystem::path> openName(QWidget* parent) override;
};

}  // namespace horalux::ui
