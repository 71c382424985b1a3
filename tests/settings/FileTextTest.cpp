#include "settings/FileText.h"

#ifndef _WIN32
#include <sys/stat.h>
#endif

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "settings/TempDir.h"

namespace horalux::settings {
namespace {

std::size_t entriesIn(const std::filesystem::path& folder) {
    std::size_t n = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(folder)) {
        ++n;
    }
    return n;
}

TEST(AtomicSave, ReplacesTheContentKeepsPermissionsAndLeavesNoTemporaryFile) {
    test::TempDir dir;
    const auto path = dir / "a.ini";
    test::writeAll(path, "old content that is longer than the new one\n");
#ifndef _WIN32
    ::chmod(path.c_str(), 0640);
#endif
    writeFileAtomically(path, "new\n");
    EXPECT_EQ(test::readAll(path), "new\n");
#ifndef _WIN32
    struct stat info {};
    ASSERT_EQ(::stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0640u);
#endif
    EXPECT_EQ(entriesIn(dir.path()), 1u);
}

#ifndef _WIN32  // links are a POSIX matter here

TEST(AtomicSave, WritesThroughASymbolicLinkWhetherItsTargetExistsOrNot) {
    for (const bool targetExists : {true, false}) {
        SCOPED_TRACE(targetExists ? "target exists" : "dangling link");
        test::TempDir dir;
        std::filesystem::create_directory(dir / "real");
        if (targetExists) {
            test::writeAll(dir / "real" / "a.ini", "old\n");
        }
        std::filesystem::create_symlink("real/a.ini", dir / "link.ini");
        writeFileAtomically(dir / "link.ini", "new\n");
        EXPECT_TRUE(std::filesystem::is_symlink(dir / "link.ini"));
        EXPECT_EQ(test::readAll(dir / "real" / "a.ini"), "new\n");
    }
}

TEST(AtomicSave, AFileOfOurOwnReplacesALinkOrAFifoInItsPlaceAndLeavesTheirTargetsAlone) {
    test::TempDir dir;
    test::writeAll(dir / "victim.txt", "someone else's\n");
    ::chmod((dir / "victim.txt").c_str(), 0666);
    std::filesystem::create_symlink("victim.txt", dir / "link.cs");
    ASSERT_EQ(::mkfifo((dir / "fifo.cs").c_str(), 0600), 0);
    for (const char* name : {"link.cs", "fifo.cs"}) {
        SCOPED_TRACE(name);
        writeFileAtomically(dir / name, "ours\n", AtLink::Replace);
        EXPECT_TRUE(std::filesystem::is_regular_file(std::filesystem::symlink_status(dir / name)));
        EXPECT_EQ(test::readAll(dir / name), "ours\n");
        struct stat info {};
        ASSERT_EQ(::stat((dir / name).c_str(), &info), 0);
        EXPECT_EQ(info.st_mode & 0002, 0u) << "no mode taken from what was there";
    }
    EXPECT_EQ(test::readAll(dir / "victim.txt"), "someone else's\n");
    EXPECT_EQ(entriesIn(dir.path()), 3u);
}
#endif

TEST(AtomicSave, FolderThatCannotBeWrittenGivesAnErrorNamingTheFile) {
    test::TempDir dir;
    test::writeAll(dir / "plain", "x");
    const auto path = dir / "plain" / "settings.ini";  // fails for root too
    try {
        writeFileAtomically(path, "data\n");
        FAIL() << "no error";
    } catch (const FileError& error) {
        EXPECT_EQ(error.path(), path);
        EXPECT_NE(std::string(error.what()).find(path.string()), std::string::npos);
    }
}

TEST(AtomicSave, ReadOnlyFolderLeavesTheOldFileWhole) {
    test::SmallTmpfs disk("size=64k");
    if (!disk.available()) {
        GTEST_SKIP() << "cannot mount a tmpfs here: " << disk.reason();
    }
    const auto path = disk.path() / "board.cs";
    test::writeAll(path, "[registers]\np0=1\n");
    ASSERT_TRUE(disk.makeReadOnly());
    EXPECT_THROW(writeFileAtomically(path, "[registers]\np0=2\n"), FileError);
    EXPECT_EQ(test::readAll(path), "[registers]\np0=1\n");
}

TEST(AtomicSave, FullDiskLeavesTheOldFileByteIdentical) {
    test::SmallTmpfs disk("size=16k");
    if (!disk.available()) {
        GTEST_SKIP() << "cannot mount a tmpfs here: " << disk.reason();
    }
    const auto path = disk.path() / "horalux.ini";
    const std::string old(6000, 'a');
    test::writeAll(path, old);
    ASSERT_EQ(test::readAll(path), old);
    const std::string bigger(20000, 'b');
    try {
        writeFileAtomically(path, bigger);
        FAIL() << "no error";
    } catch (const FileError& error) {
        EXPECT_NE(std::string(error.what()).find(path.string()), std::string::npos);
        EXPECT_NE(std::string(error.what()).find(std::strerror(ENOSPC)), std::string::npos)
            << error.what();
    }
    EXPECT_EQ(test::readAll(path), old);
    EXPECT_EQ(entriesIn(disk.path()), 1u);
}

TEST(ReadTextFile, TellsMissingFromUnusable) {
    test::TempDir dir;
    EXPECT_EQ(readTextFile(dir / "none").status, TextFile::Missing);
    EXPECT_EQ(readTextFile(dir.path()).status, TextFile::Unusable);
#ifndef _WIN32
    EXPECT_EQ(readTextFile(dir.path()).reason, std::strerror(EISDIR));
#endif
    test::writeAll(dir / "big", std::string(101, 'x'));
    EXPECT_EQ(readTextFile(dir / "big", 100).status, TextFile::Unusable);
    EXPECT_EQ(readTextFile(dir / "big", 100).reason, "larger than 100 bytes");
    const TextFile small = readTextFile(dir / "big", 101);
    EXPECT_EQ(small.status, TextFile::Read);
    EXPECT_EQ(small.content.size(), 101u);
}

}  // namespace
}  // namespace horalux::settings
