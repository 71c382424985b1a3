#include "platform/PortNameText.h"

#include <gtest/gtest.h>

namespace horalux::platform {
namespace {

TEST(PortNameText, NamesWithControlCharactersAreQuotedAndEscapedOthersStayAsTheyAre) {
    struct Case {
        std::string name;
        std::string shown;
    };
    const Case cases[] = {
        {"ttyUSB0", "ttyUSB0"},
        {R"(\\.\COM3)", R"(\\.\COM3)"},  // backslashes alone need no quoting
        {"/dev/порт \"A\"", "/dev/порт \"A\""},
        {"tty\nUSB0", R"("tty\nUSB0")"},
        {"a\r\tb\x01\x1b\x7f", R"("a\r\tb\x01\x1b\x7f")"},
        // Once quoted, a quote or a backslash in the name cannot be taken for the end or an
        // escape.
        {"\\\"\n", R"("\\\"\n")"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(shownPortName(c.name), c.shown);
    }
}

}  // namespace
}  // namespace horalux::platform
