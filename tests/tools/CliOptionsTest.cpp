#include "CliOptions.h"

#include <gtest/gtest.h>

namespace horalux::cli {
namespace {

CliOptions parsed(const std::vector<std::string>& args) {
    auto result = parseCliOptions(args);
    const auto* options = std::get_if<CliOptions>(&result);
    EXPECT_NE(options, nullptr) << (options ? "" : std::get<UsageError>(result).message);
    return options ? *options : CliOptions{};
}

TEST(CliOptions, DefaultsToTtyS0At9600ForBoard1WithTheUsualDelay) {
    const CliOptions o = parsed({"sync-time"});
    EXPECT_EQ(o.port, "ttyS0");
    EXPECT_EQ(o.speed, 9600U);
    EXPECT_EQ(o.address, 1);
    EXPECT_EQ(o.delayMs, 100U);
    EXPECT_EQ(o.command, Command::SyncTime);
}

TEST(CliOptions, ReadsGlobalOptionsAndEachCommandsOwnArguments) {
    const CliOptions a = parsed({"--port", "/tmp/b", "--speed", "115200", "--address", "255",
                                 "--delay", "0", "read-registers", "--out", "x.cs"});
    EXPECT_EQ(a.port, "/tmp/b");
    EXPECT_EQ(a.speed, 115200U);
    EXPECT_EQ(a.address, 255);
    EXPECT_EQ(a.delayMs, 0U);
    EXPECT_EQ(a.file, "x.cs");

    const CliOptions w = parsed({"write-field", "31", "-1.5"});
    EXPECT_EQ(w.fieldIndex, 31U);
    EXPECT_EQ(w.text, "-1.5");

    EXPECT_TRUE(parsed({"set-mode", "master"}).master);
    EXPECT_FALSE(parsed({"set-mode", "slave"}).master);

    const CliOptions m = parsed({"monitor", "--raw", "--seconds", "5"});
    EXPECT_TRUE(m.raw);
    EXPECT_EQ(m.seconds, 5U);
    EXPECT_FALSE(parsed({"monitor"}).seconds.has_value());

    EXPECT_EQ(parsed({"sntp", "localhost"}).host, "localhost");
    EXPECT_EQ(parsed({"write-registers", "a.cs"}).file, "a.cs");
}

TEST(CliOptions, RejectsBadUsageWithAReason) {
    const std::vector<std::vector<std::string>> bad = {
        {},
        {"--speed", "4800", "ports"},
        {"--address", "256", "ports"},
        {"--address", "1x", "ports"},
        {"--delay", "-1", "ports"},
        {"--port"},
        {"--colour", "red", "ports"},
        {"frobnicate"},
        {"write-registers"},
        {"write-field", "32", "1"},
        {"write-field", "1"},
        {"set-mode", "boss"},
        {"monitor", "--seconds", "0"},
        {"sntp"},
        {"ports", "extra"},
        {"read-registers", "--out"},
    };
    for (const auto& args : bad) {
        const auto result = parseCliOptions(args);
        ASSERT_TRUE(std::holds_alternative<UsageError>(result))
            << (args.empty() ? "(none)" : args.back());
        EXPECT_FALSE(std::get<UsageError>(result).message.empty());
    }
}

}  // namespace
}  // namespace horalux::cli
