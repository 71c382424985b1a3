#include "config/RegisterFile.h"

#include "config/RegisterFileCheck.h"

#include <gtest/gtest.h>

#include <string>

#include "settings/FileText.h"
#include "settings/KeptText.h"
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

TEST(RegisterFile, KeysS6ToSbLandInTheirOwnRegisters) {
    struct Case {
        const char* key;
        std::uint8_t reg;
        bool word;
    };
    const Case cases[] = {
        {"s6", 61, false}, {"s7", 62, true},  {"s8", 64, true},
        {"s9", 66, false}, {"sa", 68, false}, {"sb", 69, false},
    };
    for (const Case& c : cases) {
        const std::string text =
            std::string("[registers]\n") + c.key + "=" + (c.word ? "4660" : "52");
        const RegisterImage image = readRegisterKeys(settings::IniFile::fromText(text), {});
        for (unsigned reg = 0; reg < 256; ++reg) {
            std::uint8_t expected = 0;
            if (reg == c.reg) {
                expected = c.word ? 0x12 : 52;
            } else if (c.word && reg == c.reg + 1U) {
                expected = 0x34;
            }
            EXPECT_EQ(readRegister(image, static_cast<std::uint8_t>(reg)).value_or(0), expected)
                << c.key << " register " << reg;
        }
    }
}

TEST(RegisterFileCheck, TakesOnlyAFileWithEveryKeyOnceAndInRange) {
    test::TempDir dir;
    RegisterImage board;
    board.modeFlags = 0x81;
    saveRegisterFile(dir / "good.cs", everyFieldSet());
    const std::string good = test::readAll(dir / "good.cs");
    auto with = [&good](const std::string& from, const std::string& to) {
        std::string text = good;
        const std::size_t at = text.find(from);
        EXPECT_NE(at, std::string::npos) << from;
        return at == std::string::npos ? text : text.replace(at, from.size(), to);
    };
    struct Case {
        const char* what;
        std::string text;
        std::string problem;
    };
    const Case cases[] = {
        {"empty", "", "the file has no section [registers]"},
        {"random bytes", std::string("\x01\xFF\0[x\x80=\n\x13", 9),
         "the file has no section [registers]"},
        {"other section only", "[other]\ns0=1\n", "the file has no section [registers]"},
        {"a key missing", with("s3=9\n", ""), "key s3 is missing"},
        {"a key twice", good + "S3=9\n", "key s3 appears 2 times"},
        {"byte over 255", with("s3=9", "s3=256"), "key s3=256 is not a whole number from 0 to 255"},
        {"negative", with("p0=10", "p0=-1"), "key p0=-1 is not a whole number from 0 to 255"},
        {"not a number", with("s0=254", "s0=1x"), "key s0=1x is not a whole number from 0 to 255"},
        {"empty value", with("s0=254", "s0="), "key s0= is not a whole number from 0 to 255"},
        {"word over 65535", with("sf=32773", "sf=65536"),
         "key sf=65536 is not a whole number from 0 to 65535"},
        {"first bad key named", with("s0=254", "s0=x") + "p0=1\n", "key p0 appears 2 times"},
        {"control bytes shown escaped", with("s0=254", "s0=\x1B[2J\x07x"),
         "key s0=\\x1B[2J\\x07x is not a whole number from 0 to 255"},
        {"bytes that are not UTF-8 shown escaped, UTF-8 kept", with("s0=254", "s0=\xFF\xC3°"),
         "key s0=\\xFF\\xC3° is not a whole number from 0 to 255"},
    };
    for (const Case& c : cases) {
        const RegisterFileCheck check = checkRegisterFile(c.text, board);
        EXPECT_FALSE(check.image) << c.what;
        EXPECT_EQ(check.problem, c.problem) << c.what;
    }
    // A byte-order mark before the first line is no part of it.
    const RegisterFileCheck check =
        checkRegisterFile("\xEF\xBB\xBF" + with("s4=8960", " S4 = 65535 "), board);
    ASSERT_TRUE(check.image) << check.problem;
    RegisterImage expected = everyFieldSet();
    expected.dimStart = 0xFFFF;
    expected.modeFlags = 0x81;
    EXPECT_EQ(*check.image, expected);
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
        {"folder.txt", "folder.cs", "Is a directory"},
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

TEST(RegisterFileCheck, AFileReadWholeIsUnreadableMissingOrPartialOrTheImageItHolds) {
    test::TempDir dir;
    saveRegisterFile(dir / "whole.cs", everyFieldSet());
    test::writeAll(dir / "partial.cs", "[registers]\ns0=1\n");
    std::filesystem::create_directory(dir / "folder.cs");
    const struct {
        const char* name;
        bool unreadable;
        const char* problem;  // a part of it; nullptr: the image comes back
    } cases[] = {
        {"missing.cs", true, "No such file"},
        {"folder.cs", true, "Is a directory"},
        {"partial.cs", false, "key p0 is missing"},
        {"whole.cs", false, nullptr},
    };
    for (const auto& c : cases) {
        const RegisterFileCheck check = readRegisterFileWhole(dir / c.name);
        EXPECT_EQ(check.unreadable, c.unreadable) << c.name;
        if (c.problem == nullptr) {
            ASSERT_TRUE(check.image) << c.name << ": " << check.problem;
            RegisterImage expected = everyFieldSet();
            expected.modeFlags = RegisterImage{}.modeFlags;
            EXPECT_EQ(*check.image, expected);
        } else {
            EXPECT_FALSE(check.image) << c.name;
            EXPECT_NE(check.problem.find(c.problem), std::string::npos) << check.problem;
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

TEST(RegisterFile, SaveOverAFileOfAnyShapeChangesOnlyTheKeysLinesAndReadsBack) {
    struct Case {
        const char* what;
        std::string text;
    };
    const Case cases[] = {
        {"duplicate keys and a line without '='", "[registers]\np0=1\np0=2\nnotes\nsf=3\n"},
        {"sections differing only in case", "[REGISTERS]\np0=1\n[other]\nx=1\n[registers]\ns0=9\n"},
        {"spacing, comments, CRLF",
         "; kept\r\n[registers]\r\n  p1 = 7  \r\n# mid\r\n\r\n[x]\r\ny=1"},
        {"byte-order mark, binary tail",
         std::string("\xEF\xBB\xBF[registers]\ns4=1\n\x01\xFF\0=\n[[\n", 28)},
    };
    std::vector<std::string> keys;
    for (const RegisterKey& key : kRegisterKeys) {
        keys.emplace_back(key.name);
    }
    for (const Case& c : cases) {
        test::TempDir dir;
        const auto path = dir / "set.cs";
        test::writeAll(path, c.text);
        saveRegisterFile(path, everyFieldSet());
        EXPECT_TRUE(test::keptAllButKeys(c.text, test::readAll(path), keys)) << c.what;
        RegisterImage expected = everyFieldSet();
        expected.modeFlags = 0;
        EXPECT_EQ(loadRegisterFile(path, RegisterImage{}), expected) << c.what;
    }
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
