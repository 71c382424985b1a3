#pragma once

#include <QString>

class QWidget;

namespace horalux::config {
class SettingsModel;
}

namespace horalux::ui {

// Copies settings between a SettingsModel and the widgets of a form that carry the model's
// control names as object names: lists are combo boxes, check boxes check boxes, time pickers
// time editors. Throws std::logic_error when the form lacks a control of the model.
class SettingsBinder {
  public:
    explicit SettingsBinder(QWidget& form) : form_(form) {}

    // Items, chosen positions, check marks, times and the pickers' enabled state.
    void show(const config::SettingsModel& model) const;
    // What the user chose. Text typed into an editable list counts only when it equals an item.
    void read(config::SettingsModel& model) const;

  private:
    template <class Widget>
    Widget& find(const std::string& name) const;

    QWidget& form_;
};

// The user's decimal separator, for the time-zone items.
char localeDecimalSeparator();

}  // namespace horalux::ui
