#pragma once

#include <cstddef>
#include <iterator>
#include <string_view>

namespace horalux::settings {

// Which of the optional parts an exchange-log line shows before and after "count bytes".
// Positional braces do not compile ({true, false, true} fails on the tag): an item added later
// would silently stay off in every such list written before it. Name the fields instead.
struct LogForm {
    struct NamedFieldsOnly {
        friend bool operator==(NamedFieldsOnly, NamedFieldsOnly) = default;
    };
    [[no_unique_address]] NamedFieldsOnly namedFieldsOnly{};

    bool time = false;       // "14:03:27.512 "
    bool direction = false;  // "> " written, "< " read
    bool meaning = false;    // "| read register 76" after the bytes, when there is a meaning

    friend bool operator==(const LogForm&, const LogForm&) = default;
};

// One optional part of the log line and everywhere it is offered: the window's context menu
// (text and Ctrl+digit), the settings file (a key of the section View) and the companion's
// monitor (its flag). The menu, the settings and monitor's options all go by kLogItems.
struct LogItem {
    bool LogForm::*flag;
    std::string_view settingsKey;
    std::string_view menuText;  // UTF-8
    char shortcutDigit;         // the menu item's key is Ctrl with this digit
    // monitor's flag; empty: monitor has none, and shows the part along with any other one.
    std::string_view companionFlag;
};

// In the order of the menu, of the keys in the file and of the parts on a line.
inline constexpr LogItem kLogItems[] = {
    {&LogForm::time, "LogTime", "Время", '1', "--time"},
    {&LogForm::direction, "LogDirection", "Направление", '2', ""},
    {&LogForm::meaning, "LogMeaning", "Расшифровка", '3', "--decode"},
};

// A flag of LogForm without its row would be offered nowhere.
static_assert(sizeof(LogForm) == std::size(kLogItems) * sizeof(bool),
              "every LogForm flag needs its row in kLogItems");

// The form monitor prints for the flags given: an item without a flag of its own (the
// direction) comes along as soon as any other is on, so a timed or decoded line says which way
// the bytes went.
constexpr LogForm companionForm(LogForm chosen) {
    bool any = false;
    for (const LogItem& item : kLogItems) {
        any = any || (!item.companionFlag.empty() && chosen.*item.flag);
    }
    LogForm form;
    for (const LogItem& item : kLogItems) {
        form.*item.flag = item.companionFlag.empty() ? any : chosen.*item.flag;
    }
    return form;
}

}  // namespace horalux::settings
