#include "settings/SettingsPath.h"

#include <gtest/gtest.h>

#include "settings/TempDir.h"

namespace horalux::settings {
namespace {

TEST(SettingsPath, IsBesideTheProgramWhenItsFolderCanBeWritten) {
    test::TempDir dir;
    EXPECT_EQ(settingsFilePath(dir / "horalux", {"/nowhere", "/nowhere"}), dir / "horalux.ini");
    EXPECT_EQ(settingsFilePath(dir / "horalux.exe", {}), dir / "horalux.ini");
}

TEST(SettingsPath, FallsBackToTheUserConfigFolderWhenTheProgramFolderIsNotWritable) {
    test::TempDir dir;
    test::writeAll(dir / "file", "x");
    const auto program = dir / "file" / "bin" / "horalux";  // fails for root too

    const auto xdg = settingsFilePath(program, {(dir / "xdg").string(), (dir / "home").string()});
    EXPECT_EQ(xdg, dir / "xdg" / "horalux" / "horalux.ini");
    EXPECT_TRUE(std::filesystem::is_directory(dir / "xdg" / "horalux"));

    const auto home = settingsFilePath(program, {"relative/xdg", (dir / "home").string()});
    EXPECT_EQ(home, dir / "home" / ".config" / "horalux" / "horalux.ini");

    EXPECT_EQ(settingsFilePath(program, {"", ""}), dir / "file" / "bin" / "horalux.ini");
}

#ifdef _WIN32
TEST(SettingsPath, ProgramUnderProgramFilesKeepsSettingsInTheUsersApplicationData) {
    test::TempDir dir;
    std::filesystem::create_directories(dir / "Program Files" / "Horalux");
    ASSERT_EQ(::_putenv_s("ProgramFiles", (dir / "Program Files").string().c_str()), 0);
    const ConfigFolders folders{(dir / "AppData").string(), (dir / "User").string()};
    EXPECT_EQ(settingsFilePath(dir / "PROGRAM FILES" / "Horalux" / "horalux.exe", folders),
              dir / "AppData" / "horalux" / "horalux.ini");
    EXPECT_EQ(settingsFilePath(dir / "Tools" / ".." / "horalux.exe", folders),
              dir / "Tools" / ".." / "horalux.ini");
}
#else
TEST(SettingsPath, SystemWideProgramKeepsSettingsPerUserEvenWhenItsFolderIsWritable) {
    test::TempDir dir;
    const ConfigFolders folders{(dir / "xdg").string(), (dir / "home").string()};
    for (const char* program :
         {"/usr/bin/horalux", "/usr/local/bin/horalux", "/opt/horalux/horalux"}) {
        EXPECT_EQ(settingsFilePath(program, folders), dir / "xdg" / "horalux" / "horalux.ini")
            << program;
    }
}

#endif

TEST(SettingsPath, ReadOnlyMountedProgramFolderFallsBack) {
    test::SmallTmpfs disk;
    if (!disk.available()) {
        GTEST_SKIP() << "cannot mount a tmpfs here: " << disk.reason();
    }
    ASSERT_TRUE(disk.makeReadOnly());
    test::TempDir home;
    EXPECT_EQ(settingsFilePath(disk.path() / "horalux", {"", home.path().string()}),
              home / ".config" / "horalux" / "horalux.ini");
}

TEST(SettingsPath, CurrentProgramIsTheRunningExecutable) {
    EXPECT_EQ(currentProgramPath().stem(), "settings_tests");
}

}  // namespace
}  // namespace horalux::settings
