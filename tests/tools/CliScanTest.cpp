#include "CliScan.h"

#include <gtest/gtest.h>

namespace horalux::cli {
namespace {

TEST(ScanBoardLine, KeepsItsColumnsApartWhateverTheirLength) {
    const struct {
        link::FoundBoard board;
        const char* line;
    } cases[] = {
        {{77, 115200, 0x80, 2}, "$4D/77   115200  master  clock +2 s"},
        {{254, 9600, 0x00, -3}, "$FE/254  9600    slave   clock -3 s"},
        {{9, 9600, std::nullopt, 0}, "$09/9    9600    mode unknown  clock 0 s"},
        {{12, 4000000, 0x00, std::nullopt}, "$0C/12   4000000  slave   clock unknown"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(scanBoardLine(c.board), c.line);
    }
}

}  // namespace
}  // namespace horalux::cli
