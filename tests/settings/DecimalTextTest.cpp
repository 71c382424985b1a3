#include "settings/DecimalText.h"

#include <gtest/gtest.h>

#include <string>

namespace horalux::settings {
namespace {

TEST(ParseInteger, AcceptsSignedDecimalsAndRejectsEverythingElse) {
    struct Case {
        std::string text;
        std::optional<std::int32_t> value;
    };
    const Case cases[] = {
        {"0", 0},
        {"9600", 9600},
        {" 42 ", 42},
        {"-7", -7},
        {"+7", 7},
        {"", {}},
        {"12a", {}},
        {"a12", {}},
        {"1 2", {}},
        {"+-1", {}},
        {"2147483647", 2147483647},
        {"2147483648", {}},
        {"-2147483648", -2147483647 - 1},
        {"0x10", {}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(parseInteger(c.text), c.value) << '"' << c.text << '"';
    }
}

}  // namespace
}  // namespace horalux::settings
