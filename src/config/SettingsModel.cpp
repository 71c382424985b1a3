#include "config/SettingsModel.h"

#include <algorithm>
#include <cstdio>
#include <stdexcept>

#include "config/Codes.h"
#include "config/SettingsControls.h"

namespace horalux::config {

namespace {

bool sameName(std::string_view a, std::string_view b) {
    return std::ranges::equal(a, b, [](char x, char y) {
        auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
        return lower(x) == lower(y);
    });
}

// Serves const and mutable lists alike.
template <class Entries>
auto& findNamed(Entries& entries, std::string_view name) {
    for (auto& entry : entries) {
        if (sameName(entry.name, name)) {
            return entry;
        }
    }
    throw std::out_of_range("no control named " + std::string(name));
}

template <class Entry>
std::vector<std::string> namesOf(const std::vector<Entry>& entries) {
    std::vector<std::string> names;
    for (const Entry& entry : entries) {
        names.push_back(entry.name);
    }
    return names;
}

constexpr int kPercentDefaultHigh = 9;  // "100%"
constexpr int kPercentDefaultLow = 0;   // "10%"

}  // namespace

std::vector<std::string> displayTimeItems(int last) {
    std::vector<std::string> items{"-"};
    for (int n = 1; n <= last; ++n) {
        items.push_back(std::to_string(n));
    }
    return items;
}

std::vector<std::string> numberItems(int first, int last) {
    std::vector<std::string> items;
    for (int n = first; n <= last; ++n) {
        items.push_back(std::to_string(n));
    }
    return items;
}

std::vector<std::string> registerValueItems() {
    std::vector<std::string> items;
    for (unsigned n = 0; n <= 255; ++n) {
        char text[16];
        std::snprintf(text, sizeof text, "$%02X/%u", n, n);
        items.emplace_back(text);
    }
    return items;
}

std::vector<std::string> percentItems() {
    std::vector<std::string> items;
    for (int p = 10; p <= 100; p += 10) {
        items.push_back(std::to_string(p) + "%");
    }
    return items;
}

std::vector<std::string> userScreenItems() {
    std::vector<std::string> items{"нет"};
    for (int n = 1; n <= kUserScreenMaxLength; ++n) {
        items.push_back(std::to_string(n));
    }
    return items;
}

SettingsModel::SettingsModel(char decimalSeparator) {
    for (const PositionList& l : kDisplayTimeLists) {
        addList(l.name, displayTimeItems(kDisplayTimeMax));
    }
    for (const TemperatureLists& l : kTemperatureLists) {
        addList(l.time, displayTimeItems(kTemperatureTimeMax));
        addList(l.format, numberItems(0, kTemperatureFormatMax));
    }
    for (const PositionList& l : kByteLists) {
        addList(l.name, registerValueItems());
    }
    for (std::size_t kind = 0; kind < kFormatLists.size(); ++kind) {
        std::vector<std::string> items;
        for (const DisplayFormatItem& item : displayFormatItems(kind)) {
            items.emplace_back(item.text);
        }
        addList(kFormatLists[kind], std::move(items), 0);
    }
    std::vector<std::string> zones;
    for (std::size_t i = 0; i < kTimeZoneCount; ++i) {
        zones.push_back(timeZoneItemText(i, decimalSeparator));
    }
    addList(kTimeZoneList, std::move(zones));
    addList(kPercentLists[0].name, percentItems(), kPercentDefaultHigh);
    addList(kPercentLists[1].name, percentItems(), kPercentDefaultLow);
    addList(kPercentLists[2].name, percentItems(), kPercentDefaultHigh);
    for (const PositionList& l : kLevelLists) {
        addList(l.name, numberItems(-kLevelLimit, kLevelLimit));
    }
    addList(kCorrectionList, numberItems(-kCorrectionLimit, kCorrectionLimit));
    for (std::size_t k = 0; k < kUserScreenCount; ++k) {
        addList(userScreenListName(k), userScreenItems(), 0);
    }

    for (const FlagBox& box : kModeBoxes) {
        boxes_.push_back({std::string(box.name), false});
    }
    for (const FlagBox& box : kSignalBoxes) {
        boxes_.push_back({std::string(box.name), false});
    }
    for (const TimeControls& t : kTimeControls) {
        boxes_.push_back({std::string(t.checkBox), false});
        pickers_.push_back({std::string(t.picker), {t.defaultHour, 0, false}});
    }
}

void SettingsModel::addList(std::string_view name, std::vector<std::string> items,
                            std::optional<int> position) {
    lists_.push_back({std::string(name), std::move(items), position});
}

SettingsModel::List& SettingsModel::list(std::string_view name) {
    return findNamed(lists_, name);
}

const SettingsModel::List& SettingsModel::list(std::string_view name) const {
    return findNamed(lists_, name);
}

const std::vector<std::string>& SettingsModel::items(std::string_view name) const {
    return list(name).items;
}

void SettingsModel::setItems(std::string_view name, std::vector<std::string> items) {
    List& l = list(name);
    l.items = std::move(items);
    l.position.reset();
}

std::optional<int> SettingsModel::position(std::string_view name) const {
    return list(name).position;
}

void SettingsModel::setPosition(std::string_view name, std::optional<int> position) {
    List& l = list(name);
    if (position && (*position < 0 || static_cast<std::size_t>(*position) >= l.items.size())) {
        position.reset();
    }
    l.position = position;
}

std::string SettingsModel::text(std::string_view name) const {
    const List& l = list(name);
    return l.position ? l.items[static_cast<std::size_t>(*l.position)] : std::string();
}

bool SettingsModel::chooseText(std::string_view name, std::string_view text) {
    List& l = list(name);
    const auto found = std::ranges::find(l.items, text);
    l.position = found == l.items.end()
                     ? std::nullopt
                     : std::optional<int>(static_cast<int>(found - l.items.begin()));
    return l.position.has_value();
}

bool SettingsModel::checked(std::string_view box) const {
    return findNamed(boxes_, box).checked;
}

void SettingsModel::setChecked(std::string_view box, bool isChecked) {
    Box& b = findNamed(boxes_, box);
    b.checked = isChecked;
    for (const TimeControls& t : kTimeControls) {
        if (sameName(t.checkBox, b.name)) {
            findNamed(pickers_, t.picker).state.enabled = isChecked;
        }
    }
}

const TimePicker& SettingsModel::picker(std::string_view name) const {
    return findNamed(pickers_, name).state;
}

void SettingsModel::setTime(std::string_view name, int hour, int minute) {
    if (hour < 0 || hour > 23 || minute < 0 || minute > 59) {
        throw std::invalid_argument("not a time of day");
    }
    TimePicker& p = findNamed(pickers_, name).state;
    p.hour = hour;
    p.minute = minute;
}

void SettingsModel::setPickerEnabled(std::string_view name, bool enabled) {
    findNamed(pickers_, name).state.enabled = enabled;
}

std::vector<std::string> SettingsModel::listNames() const {
    return namesOf(lists_);
}
std::vector<std::string> SettingsModel::checkBoxNames() const {
    return namesOf(boxes_);
}
std::vector<std::string> SettingsModel::pickerNames() const {
    return namesOf(pickers_);
}

}  // namespace horalux::config
