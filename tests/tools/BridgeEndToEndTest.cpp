// horalux-cli bridge run as a program between a real mosquitto broker on loopback and stand-in
// boards on pseudo-terminals, watched with mosquitto_sub. Every wait is for a message or a line;
// the deadline only ends a test that failed.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "link/session/UserFieldPayload.h"
#include "support/BoardProcess.h"
#include "support/ChildProcess.h"
#include "support/CommandRun.h"
#include "support/LoopbackSockets.h"
#include "support/MosquittoProcess.h"

namespace horalux::test {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;

constexpr int kDeadlineMs = 30000;

// A program of the test whose output is read line by line.
class Watched {
  public:
    explicit Watched(const std::vector<std::string>& argv)
        : process_(argv, ChildProcess::Output::Pipe) {}
    // Whether a line holding `part` came, before or within the deadline.
    bool saw(const std::string& part, int timeoutMs = kDeadlineMs) {
        return process_.output().find(part) != std::string::npos ||
               process_.waitForLine(part, timeoutMs).has_value();
    }
    // The next line holding `part`, after the last one taken; empty when none comes.
    std::string next(const std::string& part) {
        return process_.waitForLine(part, kDeadlineMs).value_or("");
    }
    int terminate() { return process_.stop(SIGTERM); }
    const std::string& text() const { return process_.output(); }

  private:
    ChildProcess process_;
};

// Every message of the broker as "topic payload" lines, the retained ones first.
Watched subscriber(const MosquittoProcess& broker, const std::string& user = {},
                   const std::string& password = {}) {
    std::vector<std::string> argv{"/usr/bin/mosquitto_sub",      "-h", "127.0.0.1", "-p",
                                  std::to_string(broker.port()), "-v", "-t",        "#"};
    if (!user.empty()) {
        argv.insert(argv.end(), {"-u", user, "-P", password});
    }
    return Watched(argv);
}

// The node is "testnode" unless the options name one.
Watched bridgeProcess(const std::string& port, const std::vector<std::string>& options,
                      const std::string& addresses = "1") {
    std::vector<std::string> argv{HORALUX_CLI_PATH, "--port", port,        "--speed", "115200",
                                  "--delay",        "0",      "--address", addresses, "bridge"};
    argv.insert(argv.end(), options.begin(), options.end());
    if (std::find(options.begin(), options.end(), "--node-id") == options.end()) {
        argv.insert(argv.end(), {"--node-id", "testnode"});
    }
    return Watched(argv);
}

void publish(const MosquittoProcess& broker, const std::string& topic, const std::string& payload,
             const std::string& credentials = {}) {
    const CommandRun run =
        runCommand("mosquitto_pub -h 127.0.0.1 -p " + std::to_string(broker.port()) + " " +
                   credentials + " -t '" + topic + "' -m '" + payload + "'");
    ASSERT_EQ(run.status, 0) << run.output;
}

std::string fileText(const fs::path& path) {
    std::ifstream in(path);
    return {std::istreambuf_iterator<char>(in), {}};
}

std::size_t occurrences(const std::string& text, const std::string& part) {
    std::size_t count = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
        ++count;
    }
    return count;
}

// The payload of the line on `topic` (the line as mosquitto_sub -v prints it).
json configOf(const std::string& output, const std::string& topic) {
    const std::size_t at = output.find(topic + " {");
    if (at == std::string::npos) {
        return {};
    }
    const std::size_t start = at + topic.size() + 1;
    return json::parse(output.substr(start, output.find('\n', start) - start));
}

class Bridge : public ::testing::Test {
  protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() / ("horalux-bridge-" + std::to_string(::getpid()));
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }

    fs::path passwordFile(const std::string& password, mode_t mode = 0600) {
        const fs::path path = dir_ / "password";
        std::ofstream(path) << password << "\n";
        ::chmod(path.c_str(), mode);
        return path;
    }

    fs::path dir_;
};

TEST_F(Bridge, OverTlsWithAPasswordTheBoardAppearsWithItsValuesAndTakesGoodCommandsOnly) {
    MosquittoProcess broker({.user = "hass", .password = "s3cret word", .tls = true});
    const fs::path line = dir_ / "line";
    const fs::path boardLog = dir_ / "board.log";
    // The clock runs fast, so that the main field's time changes every second or so.
    BoardProcess board({"--master", "--speed", "115200", "--clock-rate", "60", "--verbose",
                        "--link", line.string()},
                       boardLog.string());
    board.devicePath();
    Watched sub = subscriber(broker, "hass", "s3cret word");
    Watched bridge = bridgeProcess(
        line.string(), {"--broker", "mqtts://127.0.0.1:" + std::to_string(broker.tlsPort()), "--ca",
                        broker.caFile(), "--user", "hass", "--password-file",
                        passwordFile("s3cret word").string()});
    ASSERT_TRUE(bridge.saw("connected to the broker mqtts://127.0.0.1:")) << bridge.text();

    const std::string lineName = "_tmp_" + dir_.filename().string() + "_line";
    const std::string id = "horalux_testnode_" + lineName + "_1";
    const std::string base = "horalux/testnode/" + lineName + "/1";
    for (const char* part :
         {"/temperature_1 21.5", "/temperature_2 -3", "/pressure 745", "/humidity 56",
          "/radiation 0.013", "/mode master", "/field_0 12.34", "/availability online"}) {
        EXPECT_TRUE(sub.saw(base + part)) << part << "\n" << sub.text();
    }
    EXPECT_TRUE(sub.saw("horalux/testnode/" + lineName + "/status online"));
    // The number, not the text the board shows it as.
    EXPECT_EQ(sub.text().find(base + "/temperature_1 21.50"), std::string::npos) << sub.text();
    // Temperature 3 is switched off on the board: no value, and no entity.
    EXPECT_EQ(sub.text().find(base + "/temperature_3 "), std::string::npos);

    // The board's device config: what Home Assistant needs of each kind.
    const std::string configTopic = "homeassistant/device/" + id + "/config";
    ASSERT_TRUE(sub.saw(configTopic + " {")) << sub.text();
    const json config = configOf(sub.text(), configTopic);
    EXPECT_EQ(config["device"]["identifiers"], json::array({id}));
    EXPECT_EQ(config["availability"].size(), 2U);
    const json& cmps = config["cmps"];
    EXPECT_EQ(cmps["temperature_1"].value("device_class", ""), "temperature");
    EXPECT_EQ(cmps["temperature_1"].value("state_topic", ""), base + "/temperature_1");
    EXPECT_EQ(cmps["temperature_3"], json::parse(R"({"p":"sensor"})"));
    const json& field = cmps["field_0"];
    EXPECT_EQ(field.value("command_topic", ""), base + "/field_0/set");
    EXPECT_EQ(field.value("max", 0), 8);  // four digits, each with its point
    EXPECT_EQ(cmps["sync_time"].value("name", ""), "Синхронизировать время");
    EXPECT_EQ(cmps["mode"]["options"], json::array({"master", "slave"}));

    // Each topic once at start: the first connection is no reconnection.
    EXPECT_EQ(occurrences(sub.text(), base + "/pressure 745\n"), 1U) << sub.text();
    EXPECT_EQ(occurrences(sub.text(), configTopic + " {"), 1U);

    // The board's values change: the main field's time is published as it moves on.
    const std::string first = sub.next(base + "/main_text ");
    std::string later = first;
    while (later == first && !later.empty()) {
        later = sub.next(base + "/main_text ");
    }
    EXPECT_NE(later, "") << sub.text();

    // A good text reaches the board as the window's write of every field; a bad one nothing.
    publish(broker, base + "/field_1/set", "42.7", "-u hass -P 's3cret word'");
    ASSERT_TRUE(sub.saw(base + "/field_1 42.7")) << sub.text() << bridge.text();
    const std::array<std::string, 3> texts{"12.34", "42.7", "123456"};
    std::array<std::uint8_t, 32> lengths{4, 4, 6};
    std::string written = "command 00 '?' params 00 0E, data [";
    for (const std::uint8_t byte : link::buildUserFieldPayload(texts, lengths)) {
        char hex[4];
        std::snprintf(hex, sizeof hex, "%02X ", byte);
        written += hex;
    }
    written.back() = ']';
    EXPECT_EQ(occurrences(fileText(boardLog), written), 1U) << written;
    publish(broker, base + "/field_1/set", "ABCDE", "-u hass -P 's3cret word'");
    publish(broker, base + "/field_0/set", "123456", "-u hass -P 's3cret word'");
    EXPECT_TRUE(sub.saw(base + "/error " + base + "/field_1/set")) << sub.text();
    EXPECT_TRUE(sub.saw(base + "/error " + base + "/field_0/set")) << sub.text();
    EXPECT_TRUE(bridge.saw("field_0/set refused")) << bridge.text();
    EXPECT_EQ(occurrences(fileText(boardLog), "command 00 '?'"), 1U);

    // A text with a point reads back as the board shows it, within Home Assistant's rule for a
    // text entity's state: no longer than max, matching the pattern.
    publish(broker, base + "/field_0/set", "7.5", "-u hass -P 's3cret word'");
    const std::string readBack = sub.next(base + "/field_0 7.5");
    ASSERT_NE(readBack, "") << sub.text() << bridge.text();
    const std::string state = readBack.substr((base + "/field_0 ").size());
    EXPECT_EQ(state, "7.5  ");
    EXPECT_LE(state.size(), field.value("max", 0U));
    EXPECT_TRUE(std::regex_match(state, std::regex(field.value("pattern", "")))) << state;

    // The select switches the board to slave; its status frames stop.
    publish(broker, base + "/mode/set", "slave", "-u hass -P 's3cret word'");
    EXPECT_TRUE(sub.saw(base + "/mode slave")) << sub.text() << bridge.text();

    EXPECT_EQ(bridge.terminate(), 143);
    EXPECT_TRUE(sub.saw(base + "/availability offline")) << sub.text();
    EXPECT_TRUE(sub.saw("horalux/testnode/" + lineName + "/status offline")) << sub.text();
    EXPECT_EQ(bridge.text().find("s3cret"), std::string::npos);
}

TEST_F(Bridge, TheStateIsBackAfterTheBrokerRestartsAndTheBoardGoesOfflineWhilePulled) {
    MosquittoProcess broker({});
    const fs::path line = dir_ / "line";
    const std::vector<std::string> boardArgs{"--master", "--speed", "115200", "--link",
                                             line.string()};
    std::optional<BoardProcess> board(std::in_place, boardArgs);
    board->devicePath();
    // Board 7 of this line was bridged by an earlier version, one config per entity: they go.
    const std::string lineName = "_tmp_" + dir_.filename().string() + "_line";
    publish(broker, "homeassistant/sensor/horalux_" + lineName + "_7/main_text/config", "{}", "-r");
    // A command left retained would run again at every reconnection: it is refused.
    publish(broker, "horalux/testnode/" + lineName + "/1/field_2/set", "77", "-r");
    Watched bridge = bridgeProcess(
        line.string(), {"--broker", "mqtt://127.0.0.1:" + std::to_string(broker.port())});
    const std::string base = "horalux/testnode/" + lineName + "/1";
    EXPECT_TRUE(bridge.saw("field_2/set refused: a retained command")) << bridge.text();
    {
        Watched sub = subscriber(broker);
        ASSERT_TRUE(sub.saw(base + "/temperature_1 21.5")) << sub.text() << bridge.text();
        EXPECT_TRUE(bridge.saw("_7 (before device discovery) are removed")) << bridge.text();
    }
    // Sent with retain while the bridge runs: known as retained all the same, and refused.
    publish(broker, base + "/field_1/set", "78", "-r");
    EXPECT_TRUE(bridge.saw("field_1/set refused: a retained command")) << bridge.text();
    publish(broker, base + "/field_1/set", "", "-r");
    // What the broker keeps soon has no config of board 7 any more (a retained one would come
    // at once; a second without one is the absence). The removal may still be on its way.
    CommandRun kept;
    for (int look = 0; look < 20; ++look) {
        kept = runCommand("mosquitto_sub -h 127.0.0.1 -p " + std::to_string(broker.port()) +
                          " -C 1 -W 1 -v -t 'homeassistant/sensor/horalux_" + lineName +
                          "_7/main_text/config'");
        if (kept.output.find("{}") == std::string::npos) {
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(250));
    }
    EXPECT_EQ(kept.output.find("{}"), std::string::npos) << kept.output;

    // A broker that lost everything gets it all again once the bridge is back.
    broker.kill();
    ASSERT_TRUE(bridge.saw("the broker mqtt://127.0.0.1:" + std::to_string(broker.port()) + ": "))
        << bridge.text();
    broker.start();
    ASSERT_TRUE(bridge.saw("reconnected to the broker")) << bridge.text();
    Watched sub = subscriber(broker);
    EXPECT_TRUE(sub.saw(base + "/temperature_1 21.5")) << sub.text();
    EXPECT_TRUE(sub.saw("homeassistant/device/horalux_testnode_" + lineName + "_1/config {"))
        << sub.text();
    EXPECT_TRUE(sub.saw(base + "/availability online")) << sub.text();

    // The board pulled: offline; plugged in again: online.
    board.reset();
    EXPECT_TRUE(sub.saw(base + "/availability offline")) << sub.text() << bridge.text();
    board.emplace(boardArgs);
    board->devicePath();
    EXPECT_TRUE(sub.next(base + "/availability online") != "") << sub.text() << bridge.text();
    EXPECT_EQ(bridge.terminate(), 143);
}

TEST_F(Bridge, ALineOfBoardsGetsADeviceEachTheStatusValuesGoToTheMasterAndClocksAreKept) {
    MosquittoProcess broker({});
    // Boards that show the time two hours ahead: their own clocks still keep the PC's time.
    {
        BoardProcess plain({"--address", "1", "--master", "--speed", "115200"});
        const CommandRun read = runCommand(
            std::string(HORALUX_CLI_PATH) + " --port " + plain.devicePath() +
            " --speed 115200 --delay 0 read-registers --out " + (dir_ / "zone.cs").string());
        ASSERT_EQ(read.status, 0) << read.output;
        std::string text = fileText(dir_ / "zone.cs");
        text.replace(text.find("\ns2=0\n"), 6, "\ns2=2\n");
        std::ofstream(dir_ / "zone.cs") << text;
    }
    BoardProcess board({"--address", "1", "--address", "2", "--master", "--speed", "115200",
                        "--registers", (dir_ / "zone.cs").string()});
    // Keep-time's clock keeping in the same process: all boards of the list at once.
    Watched bridge = bridgeProcess(board.devicePath(),
                                   {"--broker", "mqtt://127.0.0.1:" + std::to_string(broker.port()),
                                    "--keep-time", "1h", "--trust-pc-clock"},
                                   "1,2");
    Watched sub = subscriber(broker);
    // "/dev/pts/3" is the line "pts_3".
    std::string lineName = board.devicePath().substr(5);
    std::replace(lineName.begin(), lineName.end(), '/', '_');
    const std::string topicLine = "horalux/testnode/" + lineName;
    // A field command for board 2 while the boards are first read: it waits for the board's
    // field layout and is not lost.
    ASSERT_TRUE(sub.saw(topicLine + "/status online")) << sub.text();
    publish(broker, topicLine + "/2/field_0/set", "9.9");
    EXPECT_TRUE(sub.saw(topicLine + "/2/field_0 9.9")) << sub.text() << bridge.text();
    for (const std::string part :
         {"/1/temperature_1 21", "/1/mode master", "/2/mode slave", "/1/field_0 12.34",
          "/1/availability online", "/2/availability online"}) {
        EXPECT_TRUE(sub.saw(topicLine + part)) << part << "\n" << sub.text();
    }
    const CommandRun kept = runCommand("mosquitto_sub -h 127.0.0.1 -p " +
                                       std::to_string(broker.port()) + " -W 1 -v -t '" + topicLine +
                                       "/2/temperature_1' -t '" + topicLine + "/2/main_text'");
    EXPECT_EQ(kept.output.find(topicLine), std::string::npos) << kept.output;
    EXPECT_TRUE(bridge.saw("time written to all boards (on connecting)")) << bridge.text();
    for (const std::string address : {"1", "2"}) {
        const std::string topic = topicLine + "/" + address + "/clock_difference ";
        ASSERT_TRUE(sub.saw(topic)) << sub.text();
        const std::size_t at = sub.text().find(topic) + topic.size();
        const int difference = std::stoi(sub.text().substr(at, sub.text().find('\n', at) - at));
        EXPECT_LE(std::abs(difference), 2) << "the zone's shift is not a clock difference";
    }
    EXPECT_EQ(bridge.terminate(), 143);
}

TEST_F(Bridge, TwoHostsWithTheSameLineNameKeepTwoDevicesAndARenamedLinesDeviceIsRemoved) {
    MosquittoProcess broker({});
    const std::string url = "mqtt://127.0.0.1:" + std::to_string(broker.port());
    // "a_b" and "a/b" make the same line name: as ttyUSB0 on two hosts.
    fs::create_directories(dir_ / "a");
    const fs::path first = dir_ / "a_b";
    const fs::path second = dir_ / "a" / "b";
    BoardProcess boardA({"--master", "--speed", "115200", "--link", first.string()});
    BoardProcess boardB({"--master", "--speed", "115200", "--link", second.string()});
    boardA.devicePath();
    boardB.devicePath();
    const std::string lineName = "_tmp_" + dir_.filename().string() + "_a_b";
    Watched sub = subscriber(broker);
    Watched kitchen = bridgeProcess(first.string(), {"--broker", url, "--node-id", "kitchen"});
    Watched hall = bridgeProcess(second.string(), {"--broker", url, "--node-id", "hall"});
    for (const std::string node : {"kitchen", "hall"}) {
        EXPECT_TRUE(
            sub.saw("homeassistant/device/horalux_" + node + "_" + lineName + "_1/config {"))
            << sub.text();
        EXPECT_TRUE(sub.saw("horalux/" + node + "/" + lineName + "/1/pressure 745")) << sub.text();
    }
    // A look later both are still there: neither took the other's session or devices.
    ASSERT_TRUE(sub.saw("horalux/hall/" + lineName + "/1/availability online"));
    EXPECT_EQ(kitchen.text().find("removed"), std::string::npos) << kitchen.text();
    EXPECT_EQ(hall.text().find("removed"), std::string::npos) << hall.text();
    EXPECT_EQ(broker.logCount("already connected"), 0U);
    EXPECT_EQ(occurrences(sub.text(), "/status offline"), 0U) << sub.text();

    // The kitchen's board moves to another port: its device of the old line goes.
    EXPECT_EQ(kitchen.terminate(), 143);
    const fs::path moved = dir_ / "moved";
    fs::create_symlink(boardA.devicePath(), moved);
    Watched again = bridgeProcess(moved.string(), {"--broker", url, "--node-id", "kitchen"});
    const std::string oldId = "horalux_kitchen_" + lineName + "_1";
    EXPECT_TRUE(again.saw(oldId + " of a line bridged no more")) << again.text();
    EXPECT_TRUE(sub.saw("homeassistant/device/horalux_kitchen__tmp_" + dir_.filename().string() +
                        "_moved_1/config {"))
        << sub.text();
    // The hall's device, its bridge running, stays.
    EXPECT_EQ(again.text().find("horalux_hall_"), std::string::npos) << again.text();
    const CommandRun kept =
        runCommand("mosquitto_sub -h 127.0.0.1 -p " + std::to_string(broker.port()) +
                   " -W 1 -v -t 'homeassistant/device/+/config'");
    EXPECT_NE(kept.output.find("horalux_hall_" + lineName + "_1/config {"), std::string::npos)
        << kept.output;
    EXPECT_EQ(kept.output.find(oldId + "/config {"), std::string::npos) << kept.output;
    EXPECT_EQ(again.terminate(), 143);
    EXPECT_EQ(hall.terminate(), 143);
}

TEST_F(Bridge, ABrokerWhoseCertificateIsNotTrustedIsSaidSoAndTriedAgain) {
    MosquittoProcess broker({.user = {}, .password = {}, .tls = true});
    BoardProcess board({"--speed", "115200"});
    // The system's authorities do not know the test's CA.
    Watched bridge = bridgeProcess(
        board.devicePath(), {"--broker", "mqtts://127.0.0.1:" + std::to_string(broker.tlsPort())});
    EXPECT_TRUE(bridge.saw(": cannot connect (the broker's certificate is not trusted (subject "))
        << bridge.text();
    const auto start = std::chrono::steady_clock::now();
    while (broker.logCount("New connection from") < 3 &&
           std::chrono::steady_clock::now() - start < std::chrono::milliseconds(kDeadlineMs)) {
        ::usleep(20000);
    }
    // Its own check and the client's, then the client's again after a pause.
    EXPECT_GE(broker.logCount("New connection from"), 3U);
    EXPECT_EQ(occurrences(bridge.text(), "not trusted"), 1U) << bridge.text();
    EXPECT_EQ(bridge.terminate(), 143);
}

TEST_F(Bridge, ABrokerNeverReachedIsSaidSoNotLost) {
    BoardProcess board({"--speed", "115200"});
    // A port number held for UDP, where nothing listens for TCP: every connection is refused.
    std::uint16_t port = 0;
    const int bound = boundLoopbackSocket(&port);
    ASSERT_GE(bound, 0);
    Watched bridge =
        bridgeProcess(board.devicePath(), {"--broker", "mqtt://127.0.0.1:" + std::to_string(port)});
    EXPECT_TRUE(bridge.saw("mqtt://127.0.0.1:" + std::to_string(port) + ": cannot connect ("))
        << bridge.text();
    EXPECT_EQ(bridge.terminate(), 143);
    EXPECT_EQ(bridge.text().find("was lost"), std::string::npos) << bridge.text();
    ::close(bound);
}

TEST_F(Bridge, AWrongPasswordIsToldOnceAndRetriedWithGrowingPauses) {
    MosquittoProcess broker({.user = "hass", .password = "right"});
    BoardProcess board({"--speed", "115200"});
    // A password file others may read is refused before anything, without showing it.
    const CommandRun open = runCommand(
        std::string(HORALUX_CLI_PATH) + " --port " + board.devicePath() +
        " bridge --broker mqtt://127.0.0.1:" + std::to_string(broker.port()) +
        " --user hass --password-file " + passwordFile("open-secret", 0644).string() + " 2>&1");
    EXPECT_EQ(open.status, 2);
    EXPECT_NE(open.output.find("may be read by others"), std::string::npos) << open.output;
    EXPECT_EQ(open.output.find("open-secret"), std::string::npos) << open.output;

    const auto start = std::chrono::steady_clock::now();
    Watched bridge =
        bridgeProcess(board.devicePath(),
                      {"--broker", "mqtt://127.0.0.1:" + std::to_string(broker.port()), "--user",
                       "hass", "--password-file", passwordFile("bad-pass-9").string()});
    ASSERT_TRUE(bridge.saw("not authorised")) << bridge.text();
    // The first try and two more, after pauses of a second and then longer: a busy loop would
    // have made hundreds in that time.
    while (broker.logCount("New connection from") < 3 &&
           std::chrono::steady_clock::now() - start < std::chrono::milliseconds(kDeadlineMs)) {
        ::usleep(20000);
    }
    const auto spent = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(broker.logCount("New connection from"), 3U);
    EXPECT_GE(spent, std::chrono::milliseconds(2500));
    EXPECT_EQ(occurrences(bridge.text(), "not authorised"), 1U) << bridge.text();
    EXPECT_NE(bridge.text().find("mqtt://127.0.0.1:" + std::to_string(broker.port())),
              std::string::npos);
    EXPECT_EQ(bridge.terminate(), 143);
    EXPECT_EQ(bridge.text().find("bad-pass-9"), std::string::npos);
}

// A time master (1) with two 4-digit fields and a 6-digit one sends its frames every second; a
// slave (2) has other registers and one 2-digit field. Each board is looked at after each command
// to it, and what is published of each stays its own.
TEST_F(Bridge, OnALineOfAMasterAndASlaveEachBoardKeepsItsOwnValuesFieldsAndShape) {
    MosquittoProcess broker({});
    {
        BoardProcess plain({"--address", "1", "--speed", "115200"});
        ASSERT_EQ(runCommand(std::string(HORALUX_CLI_PATH) + " --port " + plain.devicePath() +
                             " --speed 115200 --delay 0 read-registers --out " +
                             (dir_ / "master.cs").string())
                      .status,
                  0);
    }
    std::string slave = fileText(dir_ / "master.cs");
    for (const auto& [key, value] :
         {std::pair{"p0", "7"}, {"L00_0", "2"}, {"L00_1", "0"}, {"L00_2", "0"}}) {
        const std::string from = std::string("\n") + key + "=";
        const std::size_t at = slave.find(from) + from.size();
        slave.replace(at, slave.find('\n', at) - at, value);
    }
    std::ofstream(dir_ / "slave.cs") << slave;
    BoardProcess board({"--address", "1", "--address", "2", "--master", "--speed", "115200",
                        "--registers", (dir_ / "master.cs").string(), "--registers",
                        (dir_ / "slave.cs").string()});
    Watched bridge =
        bridgeProcess(board.devicePath(),
                      {"--broker", "mqtt://127.0.0.1:" + std::to_string(broker.port())}, "1,2");
    Watched sub = subscriber(broker);
    std::string lineName = board.devicePath().substr(5);
    std::replace(lineName.begin(), lineName.end(), '/', '_');
    const std::string one = "horalux/testnode/" + lineName + "/1";
    const std::string two = "horalux/testnode/" + lineName + "/2";
    const std::string field1 = sub.next(one + "/field_1 ");
    ASSERT_NE(field1, "") << sub.text() << bridge.text();
    for (const std::string& part : {one + "/field_0 12.34", one + "/mode master",
                                    two + "/mode slave", two + "/availability online"}) {
        ASSERT_TRUE(sub.saw(part)) << part << "\n" << sub.text() << bridge.text();
    }

    ASSERT_TRUE(bridge.saw("connected to the broker")) << bridge.text();
    // A write to one of the master's fields goes with the master's own layout.
    publish(broker, one + "/field_0/set", "9");
    ASSERT_TRUE(sub.saw(one + "/field_0 9")) << sub.text() << bridge.text();
    // Five looks of each board, one after each command.
    for (int look = 0; look < 5; ++look) {
        publish(broker, one + "/sync_time/set", "PRESS");
        publish(broker, two + "/sync_time/set", "PRESS");
    }
    // The field write and ten presses, each answered and followed by a look of its board.
    for (int done = 0; done < 11; ++done) {
        ASSERT_NE(bridge.next("/set done"), "") << done << "\n" << bridge.text();
    }
    const std::string last = sub.next(one + "/main_text ");
    EXPECT_NE(last, "") << "the master's values keep coming";

    const std::string seen = sub.text();
    EXPECT_EQ(occurrences(seen, one + "/field_1 "), occurrences(seen, field1))
        << "the master's other field kept";
    EXPECT_EQ(occurrences(seen, one + "/mode slave"), 0U) << seen;
    EXPECT_EQ(occurrences(seen, two + "/mode master"), 0U) << seen;
    // Offline until first read, then online throughout.
    EXPECT_EQ(seen.find(one + "/availability offline", seen.find(one + "/availability online")),
              std::string::npos)
        << seen;
    for (const char* entity : {"temperature_1", "pressure", "humidity", "main_text"}) {
        EXPECT_EQ(occurrences(seen, two + "/" + entity + " "), 0U) << "a slave has no " << entity;
    }
    // Neither board's entities changed shape: the master's fields keep their place and size, and
    // the slave has no sensors.
    for (const char* address : {"1", "2"}) {
        const std::string config =
            "homeassistant/device/horalux_testnode_" + lineName + "_" + address + "/config";
        for (std::size_t at = seen.find(config + " {"); at != std::string::npos;
             at = seen.find(config + " {", at + 1)) {
            const json cmps = configOf(seen.substr(at), config)["cmps"];
            if (std::string(address) == "1") {
                EXPECT_EQ(cmps["field_0"].value("max", 0), 8) << config;
                EXPECT_EQ(cmps["field_1"].value("max", 0), 8) << config;
            } else {
                EXPECT_EQ(cmps["temperature_1"], json::parse(R"({"p":"sensor"})")) << config;
                EXPECT_EQ(cmps["pressure"], json::parse(R"({"p":"sensor"})")) << config;
                EXPECT_EQ(cmps["field_0"].value("max", 0), 4) << config;
            }
        }
    }
    EXPECT_EQ(bridge.terminate(), 143);
}

TEST_F(Bridge, AtAStopQueuedCommandsAreDroppedAndNoneThatReachedTheBoardIsCalledRefused) {
    MosquittoProcess broker({});
    const fs::path boardLog = dir_ / "board.log";
    // A pause after each frame: every press takes a while, so the stop finds many queued.
    BoardProcess board({"--master", "--speed", "115200", "--line-timing", "--verbose"},
                       boardLog.string());
    Watched bridge = bridgeProcess(
        board.devicePath(), {"--broker", "mqtt://127.0.0.1:" + std::to_string(broker.port())});
    ASSERT_TRUE(bridge.saw("connected to the broker")) << bridge.text();
    std::string lineName = board.devicePath().substr(5);
    std::replace(lineName.begin(), lineName.end(), '/', '_');
    const CommandRun flood = runCommand(
        "yes PRESS | head -n 200 | mosquitto_pub -h 127.0.0.1 -p " + std::to_string(broker.port()) +
        " -l -t 'horalux/testnode/" + lineName + "/1/sync_time/set'");
    ASSERT_EQ(flood.status, 0) << flood.output;
    for (int done = 0; done < 3; ++done) {
        ASSERT_NE(bridge.next("/set done"), "") << bridge.text();
    }
    EXPECT_EQ(bridge.terminate(), 143);
    const std::string said = bridge.text();
    EXPECT_EQ(occurrences(said, "did not take it"), 0U) << said;
    const std::size_t writes = occurrences(fileText(boardLog), "request to 1: command 70 'p'");
    EXPECT_LE(writes, occurrences(said, "/set done") + occurrences(said, "cut short by the stop"))
        << said;
    EXPECT_LT(occurrences(said, "/set done"), 200U);
}

}  // namespace
}  // namespace horalux::test
