#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "BrokerSettings.h"

namespace horalux::bridge {
namespace {

namespace fs = std::filesystem;

TEST(BrokerSettings, BrokerUrlsGiveHostPortAndTlsOrAReason) {
    const struct {
        const char* url;
        const char* host;
        std::uint16_t port;
        bool tls;
    } good[] = {
        {"mqtt://broker.lan", "broker.lan", 1883, false},
        {"mqtt://10.0.0.5:1884", "10.0.0.5", 1884, false},
        {"mqtts://broker.lan", "broker.lan", 8883, true},
        {"mqtts://broker.lan:9883/", "broker.lan", 9883, true},
        {"mqtt://[::1]:1999", "::1", 1999, false},
        {"mqtts://[fd00::2]", "fd00::2", 8883, true},
    };
    for (const auto& c : good) {
        const auto parsed = parseBrokerUrl(c.url);
        ASSERT_TRUE(std::holds_alternative<BrokerSettings>(parsed)) << c.url;
        const auto& b = std::get<BrokerSettings>(parsed);
        EXPECT_EQ(b.host, c.host) << c.url;
        EXPECT_EQ(b.port, c.port) << c.url;
        EXPECT_EQ(b.tls, c.tls) << c.url;
    }
    EXPECT_EQ(brokerText(std::get<BrokerSettings>(parseBrokerUrl("mqtt://[::1]"))),
              "mqtt://[::1]:1883");
    for (const char* bad :
         {"broker.lan", "tcp://h:1", "mqtt://", "mqtt://h:", "mqtt://h:0", "mqtt://h:65536",
          "mqtt://h:1x", "mqtt://u@h", "mqtt://[::1", "mqtt://[::1]x"}) {
        EXPECT_TRUE(std::holds_alternative<std::string>(parseBrokerUrl(bad))) << bad;
    }
}

TEST(BrokerSettings, ThePasswordIsTheFirstLineOfAPrivateFileAndNeverInAReason) {
    const fs::path dir = fs::temp_directory_path() / ("horalux-pw-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    const fs::path file = dir / "pw";
    auto write = [&](const std::string& text, mode_t mode) {
        std::ofstream(file, std::ios::trunc) << text;
        ::chmod(file.c_str(), mode);
    };

    write("s3cret\r\nsecond line\n", 0600);
    EXPECT_EQ(readPasswordFile(file.string()).password, "s3cret");
    write("s3cret", 0400);
    EXPECT_EQ(readPasswordFile(file.string()).password, "s3cret");

    write("s3cret\n", 0640);
    PasswordRead read = readPasswordFile(file.string());
    EXPECT_FALSE(read.password);
    EXPECT_NE(read.problem.find(file.string()), std::string::npos);
    EXPECT_NE(read.problem.find("others"), std::string::npos);
    EXPECT_EQ(read.problem.find("s3cret"), std::string::npos);

    write("\nlater\n", 0600);
    read = readPasswordFile(file.string());
    EXPECT_FALSE(read.password);
    EXPECT_NE(read.problem.find("no password"), std::string::npos);
    write("", 0600);
    EXPECT_FALSE(readPasswordFile(file.string()).password);

    read = readPasswordFile((dir / "missing").string());
    EXPECT_FALSE(read.password);
    EXPECT_NE(read.problem.find((dir / "missing").string()), std::string::npos);
    fs::remove_all(dir);
}

TEST(BrokerSettings, APasswordOrCaFileThatIsNoRegularFileOfBoundedSizeIsRefusedNamingIt) {
    const fs::path dir = fs::temp_directory_path() / ("horalux-pw2-" + std::to_string(::getpid()));
    fs::create_directories(dir);
    // A FIFO with a password waiting in it: read, it would give that password; a FIFO with none
    // would block the bridge's start for good.
    const fs::path fifo = dir / "fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const int writer = ::open(fifo.c_str(), O_RDWR | O_NONBLOCK);
    ASSERT_GE(writer, 0);
    ASSERT_EQ(::write(writer, "s3cret\n", 7), 7);
    const fs::path large = dir / "large";
    std::ofstream(large) << "s3cret\n" << std::string(100 * 1024, 'x') << "\n";
    ::chmod(large.c_str(), 0600);
    struct Case {
        fs::path file;
        std::string reason;
    };
    const Case cases[] = {
        {fifo, "not a regular file"},
        {large, "larger than 65536 bytes"},
    };
    for (const Case& c : cases) {
        const PasswordRead read = readPasswordFile(c.file.string());
        EXPECT_FALSE(read.password) << c.file;
        EXPECT_EQ(read.problem,
                  "cannot read the password file " + c.file.string() + ": " + c.reason);
    }
    EXPECT_EQ(caFileProblem(fifo.string()),
              "cannot use the CA file " + fifo.string() + ": not a regular file");
    EXPECT_EQ(caFileProblem("/dev/zero"), "cannot use the CA file /dev/zero: not a regular file");
    EXPECT_EQ(caFileProblem(large.string()), "");
    ::close(writer);
    fs::remove_all(dir);
}

}  // namespace
}  // namespace horalux::bridge
