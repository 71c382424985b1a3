#include "CliOptions.h"

#include <gtest/gtest.h>

#include <algorithm>

#include <sstream>

#include "CliCommandTable.h"
#include "CliSession.h"
#include "platform/PortKind.h"

namespace horalux::cli {
namespace {

CliOptions parsed(const std::vector<std::string>& args) {
    auto result = parseCliOptions(args);
    const auto* options = std::get_if<CliOptions>(&result);
    EXPECT_NE(options, nullptr) << (options ? "" : std::get<UsageError>(result).message);
    return options ? *options : CliOptions{};
}

TEST(CliOptions, DefaultsToTheFirstSerialPortAt9600ForBoard1WithTheUsualDelay) {
    const CliOptions o = parsed({"sync-time"});
#ifdef _WIN32
    EXPECT_EQ(o.port, "COM1");
#else
    EXPECT_EQ(o.port, "ttyS0");
#endif
    EXPECT_EQ(o.speed, 9600U);
    EXPECT_EQ(o.address, 1);
    EXPECT_EQ(o.delayMs, 100U);
    EXPECT_EQ(o.command, findCliCommand("sync-time"));
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
    EXPECT_EQ(parsed({"sntp", "localhost"}).sntpPort, 123);
    const CliOptions s = parsed({"sntp", "127.0.0.1:10123"});
    EXPECT_EQ(s.host, "127.0.0.1");
    EXPECT_EQ(s.sntpPort, 10123);
    EXPECT_EQ(parsed({"write-registers", "a.cs"}).file, "a.cs");
    EXPECT_FALSE(parsed({"write-registers", "a.cs"}).setAddress);
    EXPECT_TRUE(parsed({"write-registers", "a.cs", "--set-address"}).setAddress);
}

TEST(CliOptions, TlsOptionsComeBeforeTheCommandAndReachTheSession) {
    const std::string pin = "SHA256:" + std::string(64, 'a');
    const CliOptions o =
        parsed({"--ca", "ca.pem", "--pin", pin, "--cert", "c.pem", "--key", "k.pem", "sync-time"});
    EXPECT_EQ(o.tls, (platform::TlsSettings{
                         .caFile = "ca.pem", .pin = pin, .certFile = "c.pem", .keyFile = "k.pem"}));
    EXPECT_EQ(linkSettingsOf(o).tls, o.tls);
}

TEST(CliOptions, MonitorsTimeAndDecodeEachAddTheirPartAndEitherAddsTheDirection) {
    using settings::LogForm;
    const struct {
        std::vector<std::string> args;
        LogForm form;
    } cases[] = {
        {{"monitor", "--raw"}, {}},
        {{"monitor", "--time"}, {.time = true, .direction = true}},
        {{"monitor", "--decode"}, {.direction = true, .meaning = true}},
        {{"monitor", "--decode", "--raw", "--time"},
         {.time = true, .direction = true, .meaning = true}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(settings::companionForm(parsed(c.args).lineForm), c.form) << c.args.back();
    }
    EXPECT_NE(
        usageText().find("  monitor [--seconds S] [--raw] [--time] [--decode] [--log FILE]\n"),
        std::string::npos)
        << usageText();
    EXPECT_TRUE(std::holds_alternative<UsageError>(parseCliOptions({"monitor", "--direction"})))
        << "the direction has no flag of its own";
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
        {"sntp", "host:"},
        {"sntp", ":123"},
        {"sntp", "host:0"},
        {"sntp", "host:65536"},
        {"sntp", "host:12x"},
        {"write-registers", "a.cs", "--set-addr"},
        {"bridge"},
        {"bridge", "--broker"},
        {"--port", "a", "--port", "b", "bridge", "--broker", "mqtt://h"},
        {"bridge", "--broker", "mqtt://h", "--prefix", "a/+"},
        {"bridge", "--broker", "mqtt://h", "--prefix", "/a"},
        {"bridge", "--broker", "mqtt://h", "--password-file", "f"},
        {"bridge", "--broker", "mqtt://h", "--discovery", "yes"},
        {"bridge", "--broker", "mqtt://h", "--node-id", "a/b"},
        {"bridge", "--broker", "mqtt://h", "--node-id", ""},
        {"bridge", "--broker", "mqtt://h", "--keep-time", "5x"},
        {"--pin", "SHA256:00", "ports"},
        {"--cert", "c.pem", "ports"},
        {"--key", "k.pem", "ports"},
        {"ports", "--ca", "ca.pem"},  // a global option after the command word
    };
    for (const auto& args : bad) {
        const auto result = parseCliOptions(args);
        ASSERT_TRUE(std::holds_alternative<UsageError>(result))
            << (args.empty() ? "(none)" : args.back());
        EXPECT_FALSE(std::get<UsageError>(result).message.empty());
    }
}

TEST(CliOptions, ABridgePrefixTheBrokerOrHomeAssistantWouldNotTakeIsAUsageErrorNamingIt) {
    struct Case {
        std::string prefix;
        const char* problem;
    };
    const Case cases[] = {
        {"a\x01"
         "b",
         "--prefix \"a\\x01b\" holds control characters or bytes that are not UTF-8"},
        {"a\nb", "--prefix \"a\\nb\" holds control characters or bytes that are not UTF-8"},
        {"site\xff", "--prefix \"site\\xff\" holds control characters or bytes that are not UTF-8"},
        {"a/#", "--prefix must be topic levels without wildcards, such as horalux, not \"a/#\""},
        {"a+b", "--prefix must be topic levels without wildcards, such as horalux, not \"a+b\""},
        {"$SYS", "--prefix must not begin with $: topics that do are the broker's own (\"$SYS\")"},
        {"homeassistant",
         "--prefix \"homeassistant\" is Home Assistant's discovery prefix or below it; choose "
         "another, such as horalux"},
        {"homeassistant/boards",
         "--prefix \"homeassistant/boards\" is Home Assistant's discovery prefix or below it; "
         "choose another, such as horalux"},
    };
    for (const Case& c : cases) {
        const auto result =
            parseCliOptions({"bridge", "--broker", "mqtt://h", "--prefix", c.prefix});
        ASSERT_TRUE(std::holds_alternative<UsageError>(result)) << c.problem;
        EXPECT_EQ(std::get<UsageError>(result).message, c.problem);
    }
    for (const char* good : {"horalux", "site/boards", "homeassistant2", "home/assistant", "a$"}) {
        EXPECT_EQ(parsed({"bridge", "--broker", "mqtt://h", "--prefix", good}).topicPrefix, good);
    }
}

TEST(CliOptions, TheBridgeTakesAWholeAddressListOnOnePortAndTheBrokersCaAfterItsName) {
    const CliOptions o = parsed({"--port", "/tmp/b",      "--address",   "1-3,77",
                                 "bridge", "--broker",    "mqtts://h",   "--ca",
                                 "ca.pem", "--user",      "u",           "--password-file",
                                 "pw",     "--prefix",    "site/boards", "--discovery",
                                 "off",    "--keep-time", "1h",          "--trust-pc-clock"});
    EXPECT_EQ(o.addresses, (std::vector<std::uint8_t>{1, 2, 3, 77}));
    EXPECT_EQ(o.broker, "mqtts://h");
    EXPECT_EQ(o.brokerCa, "ca.pem");
    EXPECT_EQ(o.mqttUser, "u");
    EXPECT_EQ(o.passwordFile, "pw");
    EXPECT_EQ(o.topicPrefix, "site/boards");
    EXPECT_EQ(o.discoveryPrefix, "");
    EXPECT_EQ(o.bridgeKeepPeriodS, 3600U);
    EXPECT_TRUE(o.trustPcClock);

    // A TLS port's CA before the command word, the broker's after it: each keeps its own.
    const CliOptions both = parsed({"--port", "rfc2217+tls://h:1", "--ca", "port-ca.pem", "bridge",
                                    "--broker", "mqtts://h", "--ca", "broker-ca.pem"});
    EXPECT_EQ(both.tls.caFile, "port-ca.pem");
    EXPECT_EQ(both.brokerCa, "broker-ca.pem");

    const CliOptions plain = parsed({"bridge", "--broker", "mqtt://h"});
    EXPECT_EQ(plain.topicPrefix, "horalux");
    EXPECT_EQ(plain.discoveryPrefix, "homeassistant");
    EXPECT_FALSE(plain.bridgeKeepPeriodS.has_value());
}

TEST(CliOptions, HelpAndVersionWinOverEverythingElse) {
    const std::vector<std::pair<std::vector<std::string>, Request>> cases = {
        {{"--help"}, Request::Help},
        {{"-h"}, Request::Help},
        {{"--port", "x", "monitor", "--help"}, Request::Help},
        {{"--version"}, Request::Version},
        {{"--version", "-h"}, Request::Help},
        {{"monitor"}, Request::Run},
    };
    for (const auto& [args, request] : cases) {
        EXPECT_EQ(requestOf(args), request) << args.back();
    }
}

TEST(CliUsage, HelpAfterACommandIsThatCommandsAndAUsageErrorPointsThereInALineOrTwo) {
    struct Case {
        std::vector<std::string> args;
        const char* command;  // nullptr: the whole usage
    };
    const Case cases[] = {
        {{"--help"}, nullptr},
        {{"read-time", "--help"}, "read-time"},
        {{"--port", "rfc2217://h:4001", "--address", "3", "keep-time", "-h"}, "keep-time"},
        {{"--port", "read-time", "--help"}, nullptr},  // a port's name, not the command
        {{"frobnicate", "--help"}, nullptr},
    };
    for (const Case& c : cases) {
        const CliCommand* command = helpCommandOf(c.args);
        EXPECT_EQ(command == nullptr ? nullptr : command->name.data(),
                  c.command == nullptr ? nullptr : findCliCommand(c.command)->name.data())
            << c.args.front();
    }
    const std::string one = commandUsageText(*findCliCommand("write-field"));
    EXPECT_EQ(one.rfind("usage: horalux-cli [OPTIONS] write-field N TEXT\n", 0), 0U) << one;
    EXPECT_EQ(one.find("commands:"), std::string::npos) << "one command, not all";

    const auto wrong = parseCliOptions({"write-field", "x"});
    ASSERT_TRUE(std::holds_alternative<UsageError>(wrong));
    const std::string hint = usageHint(std::get<UsageError>(wrong).command);
    EXPECT_EQ(hint,
              "usage: horalux-cli [OPTIONS] write-field N TEXT\n"
              "horalux-cli --help shows the usage, horalux-cli COMMAND --help one command's\n");
    const std::string bare = usageHint(nullptr);
    EXPECT_EQ(std::count(bare.begin(), bare.end(), '\n'), 1) << "no command known: one line";
}

TEST(CliUsage, ThePortOptionDescribesEveryKindOfPortWithinTheUsagesWidth) {
    const std::string text = usageText();
    for (const platform::PortKind* kind : platform::portKinds()) {
        EXPECT_NE(text.find(kind->usageForm), std::string::npos) << kind->usageForm;
    }
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        EXPECT_LE(line.size(), 90U) << line;
    }
}

TEST(KeepTimeOptions, DefaultsToAnHourAndTwoSecondsAndReadsItsOwnOptions) {
    const auto plain = parseCliOptions({"keep-time"});
    ASSERT_TRUE(std::holds_alternative<CliOptions>(plain));
    EXPECT_EQ(std::get<CliOptions>(plain).keepPeriodS, 3600U);
    EXPECT_EQ(std::get<CliOptions>(plain).offsetLimitS, 2U);
    EXPECT_FALSE(std::get<CliOptions>(plain).trustPcClock);

    const auto given =
        parseCliOptions({"keep-time", "--period", "1d", "--offset-limit", "5", "--trust-pc-clock"});
    ASSERT_TRUE(std::holds_alternative<CliOptions>(given));
    EXPECT_EQ(std::get<CliOptions>(given).keepPeriodS, 86400U);
    EXPECT_EQ(std::get<CliOptions>(given).offsetLimitS, 5U);
    EXPECT_TRUE(std::get<CliOptions>(given).trustPcClock);

    for (const std::vector<std::string>& bad : {std::vector<std::string>{"keep-time", "--period"},
                                                {"keep-time", "--period", "1w"},
                                                {"keep-time", "--offset-limit", "0"},
                                                {"keep-time", "--offset-limit", "x"},
                                                {"keep-time", "--forever"}}) {
        EXPECT_TRUE(std::holds_alternative<UsageError>(parseCliOptions(bad))) << bad.back();
    }
}

}  // namespace
}  // namespace horalux::cli
