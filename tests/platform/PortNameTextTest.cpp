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
        // Bytes that are not UTF-8 would garble the message as much.
        {"tty\xff", R"("tty\xff")"},
        {std::string("a\0b", 3), R"("a\x00b")"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(shownPortName(c.name), c.shown);
    }
}

TEST(QuotedText, KeepsUtf8AndEscapesControlsNulAndEveryByteThatIsNotUtf8) {
    struct Case {
        std::string text;
        std::string shown;
        bool utf8;
    };
    const Case cases[] = {
        {"3,77", R"("3,77")", true},
        {"Табло 🕒", R"("Табло 🕒")", true},
        {std::string("7\0", 2), R"("7\x00")", true},
        {"\x1b[31mred", R"("\x1b[31mred")", true},
        {"a\xc3", R"("a\xc3")", false},                        // a sequence cut short
        {"\xc0\xaf", R"("\xc0\xaf")", false},                  // an overlong "/"
        {"\xed\xa0\x80", R"("\xed\xa0\x80")", false},          // a surrogate
        {"\xf4\x90\x80\x80", R"("\xf4\x90\x80\x80")", false},  // above U+10FFFF
        {"\xef\xbb\xbf"
         "1",
         "\"\xef\xbb\xbf"
         "1\"",
         true},  // a byte-order mark is UTF-8
    };
    for (const Case& c : cases) {
        EXPECT_EQ(quotedText(c.text), c.shown) << c.shown;
        EXPECT_EQ(isUtf8(c.text), c.utf8) << c.shown;
    }
}

TEST(PortNameText,
     APortBecomesOneSafeWordWithItsDevicePrefixDroppedAndOtherCharactersMadeUnderscores) {
    struct Case {
        std::string port;
        std::string alsoKept;
        std::string word;
    };
    const Case cases[] = {
        {"/dev/ttyUSB0", "", "ttyUSB0"},
        {R"(\\.\COM12)", "", "COM12"},
        {"tcp://host:4001", "", "tcp___host_4001"},
        {"rfc2217+tls://[fd00::7]:4001", "", "rfc2217_tls____fd00__7__4001"},
        {"/dev/serial/by-id/usb-1.2", "", "serial_by-id_usb-1_2"},
        {"/dev/serial/by-id/usb-1.2", ".", "serial_by-id_usb-1.2"},
        {"/dev/", "", ""},
        {"порт", "", "________"},  // every byte of a non-ASCII letter
        {std::string("a\0b", 3), ".", "a_b"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(safePortWord(c.port, c.alsoKept), c.word) << c.port;
    }
}

}  // namespace
}  // namespace horalux::platform
