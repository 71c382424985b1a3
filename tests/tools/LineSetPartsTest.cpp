// The parts of the companion's runs over several boards and ports: the lists, the folder names,
// the summary.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "AddressList.h"
#include "BoardsRun.h"
#include "CliOptions.h"
#include "PerBoardRun.h"

namespace horalux::cli {
namespace {

TEST(AddressList, TakesAddressesRangesAndBothMixedInTheOrderGivenOnceEach) {
    struct Case {
        const char* text;
        std::vector<std::uint8_t> addresses;
    };
    const Case cases[] = {
        {"77", {77}},
        {"255", {255}},
        {"3,77,200", {3, 77, 200}},
        {"1-4", {1, 2, 3, 4}},
        {"1-4,77", {1, 2, 3, 4, 77}},
        {"200,3-4,3", {200, 3, 4}},
        {"0-2", {0, 1, 2}},
        {"254-254", {254}},
    };
    for (const Case& c : cases) {
        std::vector<std::uint8_t> got;
        const auto problem = parseAddressList(c.text, got);
        EXPECT_FALSE(problem) << c.text << ": " << problem.value_or("");
        EXPECT_EQ(got, c.addresses) << c.text;
    }
}

TEST(AddressList, RefusesWhatIsNoAddressAndAllBoardsInsideAList) {
    for (const char* text : {"", ",", "3,", "256", "-1", "4-1", "1-", "x", "3;4", "1-255", "255,3",
                             "@/nonexistent/list"}) {
        std::vector<std::uint8_t> got{9};
        EXPECT_TRUE(parseAddressList(text, got)) << text;
        EXPECT_EQ(got, std::vector<std::uint8_t>{9}) << text << ": left alone";
    }
}

TEST(AddressList, ReadsAFileAsScanWritesItWithCommentsAndBlankLines) {
    const std::filesystem::path file =
        std::filesystem::temp_directory_path() / "horalux-address-list-test.txt";
    std::ofstream(file) << addressFileText("/dev/ttyUSB0",
                                           {{77, 9600, "master"}, {3, 115200, "slave"}})
                        << "\n  # added by hand\n 200 \r\n";
    std::vector<std::uint8_t> got;
    EXPECT_FALSE(parseAddressList("@" + file.string(), got));
    EXPECT_EQ(got, (std::vector<std::uint8_t>{77, 3, 200}));

    std::ofstream(file) << "# nothing but comments\n";
    EXPECT_EQ(parseAddressList("@" + file.string(), got).value_or(""),
              "--address: " + file.string() + " lists no address");
    std::filesystem::remove(file);
}

TEST(AddressList, ShowsWhatIsNoAddressEscapedAndTakesAFileBeginningWithAByteOrderMark) {
    const std::filesystem::path file =
        std::filesystem::temp_directory_path() / "horalux-address-list-raw.txt";
    struct Case {
        std::string text;  // as typed, or "@" and a file's content
        std::string problem;
    };
    const Case cases[] = {
        {"3,\x1b[2J", R"(--address: "\x1b[2J" is no address from 0 to 255)"},
        {"3,7\xff", R"(--address: "7\xff" is no address from 0 to 255)"},
        {"1-\x07", R"(--address: "1-\x07" is no range FROM-TO of addresses)"},
        {"@" + std::string("3\n4\0"
                           "5\n",
                           6),
         R"(--address: "4\x005" is no address from 0 to 255)"},
        {"@\xEF\xBB\xBF"
         "3\n77\n",
         ""},
        {"@\xEF\xBB\xBF# a list\r\n3\r\n", ""},
    };
    for (const Case& c : cases) {
        std::string text = c.text;
        if (text.starts_with("@")) {
            std::ofstream(file, std::ios::binary) << text.substr(1);
            text = "@" + file.string();
        }
        std::vector<std::uint8_t> got;
        EXPECT_EQ(parseAddressList(text, got).value_or(""), c.problem) << c.problem;
        if (c.problem.empty()) {
            EXPECT_EQ(got.front(), 3U);
        }
    }
    std::filesystem::remove(file);
}

TEST(PortFolderName, KeepsLettersDigitsDotsDashesAndUnderscoresAndMakesTheRestUnderscores) {
    struct Case {
        const char* port;
        const char* folder;
    };
    const Case cases[] = {
        {"ttyUSB0", "ttyUSB0"},
        {"/dev/ttyUSB0", "ttyUSB0"},
        {"/dev/pts/4", "pts_4"},
        {"tcp://host:4001", "tcp___host_4001"},
        {"rfc2217://[fd00::7]:4001", "rfc2217____fd00__7__4001"},
        {"COM3", "COM3"},
        {"\\\\.\\COM10", "COM10"},
        {"..", "port.."},
        {"/dev/", "port"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(portFolderName(c.port), c.folder) << c.port;
    }
}

TEST(PortFolderName, PortsWhoseNamesComeOutAlikeGetFoldersOfTheirOwn) {
    struct Case {
        std::vector<std::string> ports;
        std::vector<std::string> folders;
    };
    const Case cases[] = {
        {{"ttyUSB0", "tcp://h:1"}, {"ttyUSB0", "tcp___h_1"}},
        {{"run/a:b", "run/a_b"}, {"run_a_b", "run_a_b-2"}},
        {{"a:b", "a;b", "a?b"}, {"a_b", "a_b-2", "a_b-3"}},
        // A suffix never takes the plain name of a port further on.
        {{"a:b", "a_b", "a_b-2"}, {"a_b", "a_b-3", "a_b-2"}},
        // Folders alike but for case are one folder on some file systems.
        {{"/dev/ttyX", "TTYx"}, {"ttyX", "TTYx-2"}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(portFolderNames(c.ports), c.folders) << c.ports.front();
    }
}

TEST(BoardRunSummary, CountsTheBoardsAndNamesEachFailure) {
    const std::vector<BoardOutcome> boards = {
        {3, BoardOutcome::Done, {}},
        {77, BoardOutcome::Failed, "no answer to register read 38"},
        {200, BoardOutcome::Failed, "the board did not finish in time"},
        {201, BoardOutcome::NotDone, {}},
    };
    EXPECT_EQ(summaryText(boards),
              "4 boards: 1 done, 2 failed ($4D/77: no answer to register "
              "read 38; $C8/200: the board did not finish in time), 1 not "
              "done");
    EXPECT_EQ(summaryText(boards, false), "4 boards: 1 done, 2 failed, 1 not done");
    EXPECT_EQ(summaryText({{1, BoardOutcome::Done, {}}}), "1 board: 1 done, 0 failed");
    EXPECT_EQ(boardFileName(7), "board-007.cs");
}

TEST(LineSetOptions, RefusesWhatOneBoardOrOneFileAloneCanTake) {
    struct Case {
        std::vector<std::string> args;
        const char* problem;
    };
    const Case cases[] = {
        {{"--address", "3,4", "read-fields"},
         "read-fields works on one board of one port: give one --address and one --port"},
        {{"--port", "a", "--port", "b", "monitor"},
         "monitor works on one board of one port: give one --address and one --port"},
        {{"--address", "3,4", "write-registers", "f.cs", "--set-address"},
         "--set-address needs one board: with a list every board keeps its own"},
        {{"--port", "a", "--port", "b", "read-registers", "--out", "f.cs"},
         "--out names one file: with several boards or ports give --out-dir DIR"},
        {{"--port", "a", "--port", "b", "--address", "3,4", "keep-time"},
         "keep-time works on one port: run one for each port"},
    };
    for (const Case& c : cases) {
        const auto result = parseCliOptions(c.args);
        ASSERT_TRUE(std::holds_alternative<UsageError>(result)) << c.problem;
        EXPECT_EQ(std::get<UsageError>(result).message, c.problem);
    }
    const auto several = std::get<CliOptions>(
        parseCliOptions({"--port", "a", "--port", "b", "--port", "a", "--address", "3-4",
                         "read-registers", "--out-dir", "d"}));
    EXPECT_EQ(several.ports, (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(several.port, "a");
    EXPECT_EQ(several.address, 3);
    EXPECT_EQ(several.outDir, "d");
    EXPECT_TRUE(several.perBoard());
    // keep-time takes a list whole, on its one port.
    const auto kept = std::get<CliOptions>(parseCliOptions({"--address", "3,77,200", "keep-time"}));
    EXPECT_EQ(kept.addresses, (std::vector<std::uint8_t>{3, 77, 200}));
}

}  // namespace
}  // namespace horalux::cli
