#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <string>
#include <string_view>
#include <vector>

namespace horalux::test {

// The text without the lines of `keys` (a line "key=..." in any section and spelling of case):
// what a save that owns those keys must keep byte for byte.
inline std::string withoutKeyLines(std::string_view text, const std::vector<std::string>& keys) {
    const auto lower = [](std::string s) {
        std::transform(s.begin(), s.end(), s.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        return s;
    };
    std::string kept;
    while (!text.empty()) {
        const std::size_t size = std::min(text.find('\n'), text.size() - 1) + 1;
        const std::string_view line = text.substr(0, size);
        text.remove_prefix(size);
        const std::size_t equals = line.find('=');
        std::string name(line.substr(0, equals == std::string_view::npos ? 0 : equals));
        name.erase(0, name.find_first_not_of(" \t"));
        name.erase(name.find_last_not_of(" \t") + 1);
        const bool ours = std::any_of(keys.begin(), keys.end(), [&](const std::string& key) {
            return !name.empty() && lower(key) == lower(name);
        });
        if (!ours) {
            kept += line;
        }
    }
    return kept;
}

// After a save, every byte outside the owned keys' lines is where it was; what was added at
// the end is only blank lines and section headings for those keys.
inline ::testing::AssertionResult keptAllButKeys(std::string_view before, std::string_view after,
                                                 const std::vector<std::string>& keys) {
    const std::string old = withoutKeyLines(before, keys);
    const std::string now = withoutKeyLines(after, keys);
    if (!now.starts_with(old)) {
        return ::testing::AssertionFailure() << "other content changed:\n" << now;
    }
    std::string_view added = std::string_view(now).substr(old.size());
    while (!added.empty()) {
        const std::size_t end = std::min(added.find('\n'), added.size());
        const std::string_view line = added.substr(0, end);
        added.remove_prefix(std::min(end + 1, added.size()));
        if (line.find_first_not_of("\r") != std::string_view::npos && !line.starts_with('[')) {
            return ::testing::AssertionFailure() << "added a foreign line: " << line;
        }
    }
    return ::testing::AssertionSuccess();
}

}  // namespace horalux::test
