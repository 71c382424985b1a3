#include "settings/IniFile.h"

#include <gtest/gtest.h>

#include <string>

#include "settings/FileText.h"
#include "settings/TempDir.h"

namespace horalux::settings {
namespace {

TEST(IniFile, MatchesSectionsAndKeysWithoutRegardToCaseAndUpdatesInPlace) {
    IniFile file = IniFile::fromText(
        "; settings\n[Interface]\nComPort=COM3\n; speed below\nComSpeed = 115200\n[Other]\nx=1\n");
    EXPECT_EQ(file.readString("INTERFACE", "comport", "COM1"), "COM3");
    EXPECT_EQ(file.readInteger("interface", "COMSPEED", 9600), 115200);

    file.writeString("interface", "COMPORT", "COM9");
    file.writeInteger("Other", "y", 2);
    const std::string text = file.text();
    EXPECT_EQ(text.find("COMPORT"), std::string::npos) << text;
    EXPECT_NE(text.find("; settings\n"), std::string::npos) << text;
    // Comments stay before the keys they stand above, in the original order.
    const auto port = text.find("ComPort=COM9\n");
    const auto comment = text.find("; speed below\n");
    const auto speed = text.find("ComSpeed = 115200\n");
    ASSERT_NE(speed, std::string::npos) << text;
    EXPECT_LT(port, comment);
    EXPECT_LT(comment, speed);
    EXPECT_NE(text.find("[Other]\nx=1\ny=2\n"), std::string::npos) << text;
}

TEST(IniFile, KeepsAByteOrderMarkAndWritesKeyEqualsValueLinesWithoutInjectedLines) {
    IniFile file = IniFile::fromText("\xEF\xBB\xBF[View]\nTest = 1\n");
    EXPECT_TRUE(file.readBool("View", "Test", false));
    file.writeString("Interface", "ComPort", "COM1\n[View]\r\nTest=0");
    const std::string text = file.text();
    EXPECT_EQ(text.rfind("\xEF\xBB\xBF[View]\nTest = 1\n", 0), 0u) << text;
    EXPECT_NE(text.find("ComPort=COM1[View]Test=0\n"), std::string::npos) << text;
    EXPECT_TRUE(IniFile::fromText(text).readBool("View", "Test", false));
}

TEST(IniFile, ReadsWhatItCanFromDamagedText) {
    static constexpr char kWithNul[] = "[Interface]\nComPort=CO\0M3\n\0\nsysnum=5\n";
    struct Case {
        const char* what;
        std::string text;
        std::int32_t sysnum;
    };
    const Case cases[] = {
        {"garbage", "\x01\x02zz\xff===\n[[[\n]]]\n=5\n", 1},
        {"NUL bytes", std::string(kWithNul, sizeof kWithNul - 1), 5},
        {"unclosed section", "[Interface\nsysnum=6\n[View]\nTest=1\n", 6},
        {"duplicate keys", "[Interface]\nsysnum=7\nSYSNUM=8\n", 8},
        {"not an integer", "[Interface]\nsysnum=five\n", 1},
        {"empty value", "[Interface]\nsysnum=\n", 1},
    };
    for (const Case& c : cases) {
        const IniFile file = IniFile::fromText(c.text);
        EXPECT_EQ(file.readInteger("Interface", "sysnum", 1), c.sysnum) << c.what;
        EXPECT_NO_THROW((void)file.text()) << c.what;
    }
    EXPECT_EQ(IniFile::fromText(cases[1].text).readString("Interface", "ComPort", ""), "COM3");
    EXPECT_TRUE(IniFile::fromText(cases[2].text).readBool("View", "Test", false));
}

TEST(IniFile, TreatsMissingAndAbsurdlyLargeFilesAsEmpty) {
    test::TempDir dir;
    EXPECT_FALSE(IniFile::load(dir / "missing.ini").hasSection("Interface"));

    std::string huge = "[Interface]\nsysnum=9\n";
    huge.resize(kMaxTextFileSize + 1, ';');
    test::writeAll(dir / "huge.ini", huge);
    EXPECT_EQ(IniFile::load(dir / "huge.ini").readInteger("Interface", "sysnum", 1), 1);

    EXPECT_FALSE(IniFile::load(dir.path()).hasSection("Interface"));  // a folder
}

TEST(IniFile, SaveRoundTripsThroughTheDisk) {
    test::TempDir dir;
    IniFile file = IniFile::fromText("[A]\nk=1\n");
    file.writeBool("B", "flag", true);
    file.save(dir / "x.ini");
    const IniFile again = IniFile::load(dir / "x.ini");
    EXPECT_EQ(again.readInteger("a", "K", 0), 1);
    EXPECT_TRUE(again.readBool("b", "FLAG", false));
    EXPECT_EQ(again.text(), file.text());
}

}  // namespace
}  // namespace horalux::settings
