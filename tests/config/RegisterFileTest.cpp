#include "config/RegisterFile.h"

#include <gtest/gtest.h>

#include <string>

#include "settings/FileText.h"
#include "settings/TempDir.h"

namespace horalux::config {
namespace {

RegisterImage everyFieldSet() {
    RegisterImage image;
    for (std::size_t i = 0; i < image.displayTimes.size(); ++i) {
        image.displayTimes[i] = static_cast<std::uint8_t>(10 + i);
    }
    image.timeZone = 0xC0;
    image.lowerLevel = 0xFF;
    image.dimStart = 0x2300;
    image.dimEnd = 0x2500;
    image.freeS6 = 200;
    image.alarm1 = 0x0705;
    image.alarm2 = 0x2359;
    image.signalFlags = 0x5A;
    image.volume = 9;
    image.dimLevel = 1;
    image.normalLevel = 0;
    image.address = 254;
    image.modeFlags = 0x81;
    image.upperLevel = 0x9D;
    image.freeSE = 1;
    image.dailyCorrection = 0x8005;
    image.displayFormats = {8, 5, 4, 3, 5, 2, 4, 3};
    for (std::size_t i = 0; i < image.userScreens.size(); ++i) {
        image.userScreens[i] = static_cast<std::uint8_t>(i < 16 ? i + 1 : 0);
    }
    return image;
}

TEST(RegisterFile, NameGetsTheCsExtension) {
    EXPECT_EQ(registerFilePath("/x/board.txt"), "/x/board.cs");
    EXPECT_EQ(registerFilePath("/x/board"), "/x/board.cs");
    EXPECT_EQ(registerFilePath("/x/board.cs"), "/x/board.cs");
    EXPECT_EQ(registerFilePath("/x.d/board.v2.ini"), "/x.d/board.v2.cs");
}

TEST(RegisterFile, RoundTripsEveryFieldExceptModeFlags) {
    test::TempDir dir;
    const RegisterImage saved = everyFieldSet();
    saveRegisterFile(dir / "board.txt", saved);
    EXPECT_TRUE(std::filesystem::exists(dir / "board.cs"));
    EXPECT_FALSE(std::filesystem::exists(dir / "board.txt"));

    RegisterImage current;
    current.modeFlags = 0x10;
    RegisterImage expected = saved;
    expected.modeFlags = 0x10;
    EXPECT_EQ(loadRegisterFile(dir / "board.txt", current), expected);
}

TEST(RegisterFile, WritesAllSixtyFourKeysInOrderAsPlainDecimals) {
    settings::IniFile file;
    writeRegisterKeys(file, everyFieldSet());
    const std::string text = file.text();
    EXPECT_NE(text.find("[registers]\np0=10\np1=11\n"), std::string::npos) << text;
    EXPECT_NE(text.find("p8=18\ns0=254\ns2=192\ns3=9\ns4=8960\ns5=9472\n"), std::string::npos);
    EXPECT_NE(text.find("\nsc=255\nsd=157\nse=1\nsf=32773\nL0_0=8\n"), std::string::npos);
    EXPECT_NE(text.find("L0_7=3\nL00_0=1\n"), std::string::npos);
    EXPECT_NE(text.find("L00_31=0\n"), std::string::npos);
    EXPECT_EQ(text.find("s1="), std::string::npos);
    EXPECT_EQ(std::count(text.begin(), text.end(), '='), 64);

    RegisterImage plus;
    plus.dailyCorrection = 0x0005;
    settings::IniFile second;
    writeRegisterKeys(second, plus);
    EXPECT_EQ(second.value("registers", "sf"), "5");
}

TEST(RegisterFile, MissingOrBadValuesLoadAsZeroAndWideValuesAreCut) {
    RegisterImage current = everyFieldSet();
    RegisterImage zeros;
    zeros.modeFlags = current.modeFlags;
    EXPECT_EQ(readRegisterKeys(settings::IniFile::fromText("[other]\np0=5\n"), current), zeros);

    const RegisterImage loaded = readRegisterKeys(
        settings::IniFile::fromText(
            "[Registers]\nP0=300\np1=abc\np2=-1\ns4=70000\nsf=-1\nL00_3=17\nsc=2147483648\n"),
        current);
    EXPECT_EQ(loaded.displayTimes[0], 44);
    EXPECT_EQ(loaded.displayTimes[1], 0);
    EXPECT_EQ(loaded.displayTimes[2], 255);
    EXPECT_EQ(loaded.dimStart, 70000 & 0xFFFF);
    EXPECT_EQ(loaded.dailyCorrection, 0xFFFF);
    EXPECT_EQ(loaded.userScreens[3], 17);
    EXPECT_EQ(loaded.lowerLevel, 0);
    EXPECT_EQ(loaded.modeFlags, current.modeFlags);

    test::TempDir dir;
    EXPECT_EQ(loadRegisterFile(dir / "none.cs", current), zeros);
}

// Zeros taken from a file that is there but cannot be read would be written to the next board.
TEST(RegisterFile, ExistingFileThatCannotBeReadIsReportedWithNameAndReason) {
    test::TempDir dir;
    std::filesystem::create_directory(dir / "folder.cs");
    test::writeAll(dir / "big.cs", std::string(settings::kMaxTextFileSize + 1, '1'));
    const struct {
        const char* chosen;
        const char* loaded;
        const char* reason;
    } cases[] = {
        {"folder.txt", "folder.cs", "not a regular file"},
        {"big.cs", "big.cs", "larger than"},
        {"plain.cs/inside.cs", "plain.cs/inside.cs", "Not a directory"},
    };
    test::writeAll(dir / "plain.cs", "x");
    for (const auto& c : cases) {
        try {
            loadRegisterFile(dir / c.chosen, everyFieldSet());
            ADD_FAILURE() << c.chosen << ": no error";
        } catch (const settings::FileReadError& error) {
            const std::string what = error.what();
            EXPECT_NE(what.find((dir / c.loaded).string()), std::string::npos) << what;
            EXPECT_NE(what.find(c.reason), std::string::npos) << what;
        }
    }
}

TEST(RegisterFile, SaveKeepsOtherSectionsAndReplacesOldKeys) {
    test::TempDir dir;
    const auto path = dir / "set.cs";
    test::writeAll(path, "; board 3\n[notes]\nplace=hall\n[registers]\np0=99\nextra=1\n");
    saveRegisterFile(path, everyFieldSet());
    const std::string text = test::readAll(path);
    EXPECT_NE(text.find("; board 3\n"), std::string::npos) << text;
    EXPECT_NE(text.find("[notes]\nplace=hall\n"), std::string::npos) << text;
    EXPECT_NE(text.find("p0=10\n"), std::string::npos) << text;
    EXPECT_NE(text.find("extra=1\n"), std::string::npos) << text;
}

TEST(RegisterFile, FailedSaveNamesTheFileAndLeavesTheOldOneWhole) {
    test::TempDir dir;
    test::writeAll(dir / "plain", "x");
    try {
        saveRegisterFile(dir / "plain" / "board.txt", everyFieldSet());
        FAIL() << "no error";
    } catch (const settings::FileError& error) {
        EXPECT_NE(std::string(error.what()).find((dir / "plain" / "board.cs").string()),
                  std::string::npos);
    }
    std::filesystem::create_directory(dir / "folder.cs");  // an existing name that is no file
    EXPECT_THROW(saveRegisterFile(dir / "folder.cs", everyFieldSet()), settings::FileError);

    test::SmallTmpfs disk("size=16k");
    if (!disk.available()) {
        GTEST_SKIP() << "cannot mount a tmpfs here: " << disk.reason();
    }
    const auto path = disk.path() / "board.cs";
    saveRegisterFile(path, RegisterImage{});
    const std::string old = test::readAll(path);
    test::writeAll(disk.path() / "filler", std::string(16 * 1024, 'f'));
    EXPECT_THROW(saveRegisterFile(path, everyFieldSet()), settings::FileError);
    EXPECT_EQ(test::readAll(path), old);
}

}  // namespace
}  // namespace horalux::config
