#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace horalux::config {

struct TimePicker {
    int hour = 0;
    int minute = 0;
    bool enabled = false;

    friend bool operator==(const TimePicker&, const TimePicker&) = default;
};

// Everything the remote settings window holds, without the window: each list's items and chosen
// position, each check box, each time picker. Controls are found by their names (without regard
// to case, as "cb19" finds "Cb19"); an unknown name throws std::out_of_range.
class SettingsModel {
  public:
    // Fills the lists as the window's creation does. `decimalSeparator` is the user's, for the
    // time-zone items ("3.5" or "3,5").
    explicit SettingsModel(char decimalSeparator = '.');

    const std::vector<std::string>& items(std::string_view list) const;
    // Replaces the items; the list then has no chosen item.
    void setItems(std::string_view list, std::vector<std::string> items);
    std::optional<int> position(std::string_view list) const;
    // A position outside the items leaves the list with no chosen item.
    void setPosition(std::string_view list, std::optional<int> position);
    // The chosen item's text; empty when there is none.
    std::string text(std::string_view list) const;
    // Typed text in an editable list counts only when it equals an item. Returns whether an item
    // is chosen.
    bool chooseText(std::string_view list, std::string_view text);

    bool checked(std::string_view box) const;
    // The check boxes of the four times also enable or disable their pickers.
    void setChecked(std::string_view box, bool checked);

    const TimePicker& picker(std::string_view name) const;
    // Throws std::invalid_argument for a time that is not a time of day.
    void setTime(std::string_view picker, int hour, int minute);
    void setPickerEnabled(std::string_view picker, bool enabled);

    std::vector<std::string> listNames() const;
    std::vector<std::string> checkBoxNames() const;
    std::vector<std::string> pickerNames() const;

    friend bool operator==(const SettingsModel&, const SettingsModel&) = default;

  private:
    struct List {
        std::string name;
        std::vector<std::string> items;
        std::optional<int> position;
        friend bool operator==(const List&, const List&) = default;
    };
    struct Box {
        std::string name;
        bool checked = false;
        friend bool operator==(const Box&, const Box&) = default;
    };
    struct Picker {
        std::string name;
        TimePicker state;
        friend bool operator==(const Picker&, const Picker&) = default;
    };

    List& list(std::string_view name);
    const List& list(std::string_view name) const;
    void addList(std::string_view name, std::vector<std::string> items,
                 std::optional<int> position = std::nullopt);

    std::vector<List> lists_;
    std::vector<Box> boxes_;
    std::vector<Picker> pickers_;
};

// Item lists of the window.
std::vector<std::string> displayTimeItems(int last);  // "-", "1" … last
std::vector<std::string> numberItems(int first, int last);
std::vector<std::string> registerValueItems();  // "$00/0" … "$FF/255"
std::vector<std::string> percentItems();        // "10%" … "100%"
std::vector<std::string> userScreenItems();     // "нет", "1" … "16"

}  // namespace horalux::config
