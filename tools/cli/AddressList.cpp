#include "AddressList.h"

#include <algorithm>
#include <charconv>

#include "link/scan/BoardScan.h"
#include "platform/PortNameText.h"
#include "settings/FileText.h"

namespace horalux::cli {
namespace {

constexpr unsigned kAllBoards = 255;

std::string_view trimmed(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t' || s.front() == '\r')) {
        s.remove_prefix(1);
    }
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) {
        s.remove_suffix(1);
    }
    return s;
}

std::optional<unsigned> addressOf(std::string_view s) {
    unsigned value = 0;
    const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), value);
    if (s.empty() || ec != std::errc{} || end != s.data() + s.size() || value > kAllBoards) {
        return std::nullopt;
    }
    return value;
}

void add(std::vector<std::uint8_t>& list, unsigned address) {
    const auto a = static_cast<std::uint8_t>(address);
    if (std::find(list.begin(), list.end(), a) == list.end()) {
        list.push_back(a);
    }
}

// One item of a list: an address or FROM-TO.
std::optional<std::string> parseItem(std::string_view item, std::vector<std::uint8_t>& list) {
    const std::string_view t = trimmed(item);
    const std::size_t dash = t.find('-');
    if (dash == std::string_view::npos) {
        const auto a = addressOf(t);
        if (!a) {
            return "--address: " + platform::quotedText(t) + " is no address from 0 to 255";
        }
        add(list, *a);
        return std::nullopt;
    }
    const auto from = addressOf(trimmed(t.substr(0, dash)));
    const auto to = addressOf(trimmed(t.substr(dash + 1)));
    if (!from || !to || *from > *to) {
        return "--address: " + platform::quotedText(t) + " is no range FROM-TO of addresses";
    }
    for (unsigned a = *from; a <= *to; ++a) {
        add(list, a);
    }
    return std::nullopt;
}

}  // namespace

std::optional<std::string> readListFile(const std::string& path,
                                        std::vector<std::string>& entries) {
    const settings::TextFile file = settings::readTextFile(path);
    if (file.status == settings::TextFile::Missing) {
        return "cannot read " + platform::shownPortName(path) + ": no such file";
    }
    if (file.status != settings::TextFile::Read) {
        return "cannot read " + platform::shownPortName(path) + ": " + file.reason;
    }
    std::string_view rest = file.content;
    // Some editors begin a UTF-8 text with a byte-order mark.
    if (rest.starts_with("\xEF\xBB\xBF")) {
        rest.remove_prefix(3);
    }
    while (!rest.empty()) {
        const std::size_t end = std::min(rest.find('\n'), rest.size());
        std::string_view line = rest.substr(0, end);
        rest.remove_prefix(std::min(end + 1, rest.size()));
        line = trimmed(line.substr(0, line.find('#')));
        if (!line.empty()) {
            entries.emplace_back(line);
        }
    }
    return std::nullopt;
}

std::optional<std::string> parseAddressList(std::string_view text,
                                            std::vector<std::uint8_t>& addresses) {
    std::vector<std::uint8_t> list;
    std::vector<std::string> items;
    if (!text.empty() && text.front() == '@') {
        const std::string path(text.substr(1));
        if (auto problem = readListFile(path, items)) {
            return "--address: " + *problem;
        }
        if (items.empty()) {
            return "--address: " + platform::shownPortName(path) + " lists no address";
        }
    } else {
        for (std::string_view rest = text;;) {
            const std::size_t comma = rest.find(',');
            items.emplace_back(rest.substr(0, comma));
            if (comma == std::string_view::npos) {
                break;
            }
            rest.remove_prefix(comma + 1);
        }
    }
    for (const std::string& item : items) {
        if (auto problem = parseItem(item, list)) {
            return problem;
        }
    }
    if (list.size() > 1 &&
        std::find(list.begin(), list.end(), std::uint8_t{kAllBoards}) != list.end()) {
        return "--address: 255 reaches all boards at once and cannot be part of a list";
    }
    addresses = std::move(list);
    return std::nullopt;
}

std::string addressFileText(std::string_view port, const std::vector<ListedBoard>& boards) {
    std::string text = "# boards found by horalux-cli scan on " + std::string(port) + "\n";
    for (const ListedBoard& b : boards) {
        text += std::to_string(b.address) + "  # " + link::boardAddressText(b.address) + ", " +
                std::to_string(b.speed) + " bit/s, " + b.mode + "\n";
    }
    return text;
}

}  // namespace horalux::cli
