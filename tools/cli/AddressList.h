#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace horalux::cli {

// The boards of --address: "3,77,200", ranges "1-10", both mixed ("1-4,77"), or "@FILE" with
// one address a line. A single "255" reaches all boards at once; inside a list it is refused,
// since nothing could be read back from it. Duplicates are dropped, the first place kept.
// The reason when the text is wrong.
std::optional<std::string> parseAddressList(std::string_view text,
                                            std::vector<std::uint8_t>& addresses);

// The entries of a list file: one a line, '#' starts a comment, blank lines skipped, spaces
// around an entry dropped. The reason when the file cannot be read.
std::optional<std::string> readListFile(const std::string& path, std::vector<std::string>& entries);

// A list file of the boards a scan found: a head comment, then per board its address with the
// speed and the mode as a comment ("77  # $4D/77, 9600 bit/s, master").
struct ListedBoard {
    std::uint8_t address = 0;
    std::uint32_t speed = 0;
    std::string mode;
};
std::string addressFileText(std::string_view port, const std::vector<ListedBoard>& boards);

}  // namespace horalux::cli
