#include "platform/PosixSerialPort.h"

#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <string>
#include <thread>

#include "support/PtyPair.h"

namespace horalux::platform {
namespace {

TEST(SerialDevicePath, BareNamesLiveInDevAndPathsStandAsTheyAre) {
    EXPECT_EQ(serialDevicePath("ttyUSB0"), "/dev/ttyUSB0");
    EXPECT_EQ(serialDevicePath("/tmp/board"), "/tmp/board");
    EXPECT_EQ(serialDevicePath("./pts"), "./pts");
}

TEST(SpeedConstant, KnowsTheStandardSpeedsOnly) {
    EXPECT_EQ(speedConstant(9600), B9600);
    EXPECT_EQ(speedConstant(115200), B115200);
    EXPECT_EQ(speedConstant(12345), B0);
}

TEST(PosixSerialPort, MissingDeviceCannotBeOpened) {
    EXPECT_EQ(PosixSerialPort::open("/dev/horalux-no-such-device", 9600), nullptr);
    EXPECT_EQ(PosixSerialPort::open("horalux-no-such-device", 9600), nullptr);
}

TEST(PosixSerialPort, AFailedOpenNamesTheDeviceAndTheCause) {
    test::PtyPair pty;
    auto holder = PosixSerialPort::open(pty.devicePath(), 9600);
    ASSERT_NE(holder, nullptr);
    const std::string folder = ::testing::TempDir();
    struct Case {
        std::string name;
        std::string cause;
    };
    const Case cases[] = {
        {"horalux-no-such-device", "/dev/horalux-no-such-device: no such device"},
        {pty.devicePath(), pty.devicePath() + ": in use by another program"},
        {"/dev/null", "/dev/null: not a serial device"},
        {folder, folder + ": not a serial device"},
    };
    for (const Case& c : cases) {
        std::string failure;
        EXPECT_EQ(PosixSerialPort::open(c.name, 9600, &failure), nullptr) << c.name;
        EXPECT_EQ(failure, c.cause);
    }
}

TEST(PosixSerialPort, PermissionDeniedNamesTheDevicesGroupAndHowToJoinIt) {
    // The test runs as whoever it runs as, so the refusal is given rather than provoked.
    const std::string device = ::testing::TempDir() + "horalux-device-of-group";
    const int fd = ::open(device.c_str(), O_CREAT | O_WRONLY, 0660);
    ASSERT_GE(fd, 0);
    ::close(fd);
    if (::chown(device.c_str(), static_cast<uid_t>(-1), 20) != 0) {  // 20: dialout on Debian
        ::unlink(device.c_str());
        GTEST_SKIP() << "cannot give the file another group";
    }
    ::chmod(device.c_str(), 0600);
    const std::string ownerOnly = serialOpenFailureText(device, EACCES);
    ::chmod(device.c_str(), 0660);
    const std::string text = serialOpenFailureText(device, EACCES);
    ::unlink(device.c_str());
    EXPECT_EQ(ownerOnly, device +
                             ": permission denied; no group may use the device: ask the "
                             "administrator for access");
    EXPECT_EQ(text.rfind(device + ": permission denied; the device belongs to the group ", 0), 0U)
        << text;
    const group* dialout = ::getgrgid(20);
    const std::string name = dialout != nullptr ? dialout->gr_name : "20";
    EXPECT_NE(text.find("group " + name + ": join it with \"sudo usermod -aG " + name + " $USER\""),
              std::string::npos)
        << text;
}

// Control characters a terminal would act on (XON/XOFF, CR/LF, DEL, interrupt) are data here.
TEST(PosixSerialPort, EveryByteValuePassesTheLineUnchangedBothWays) {
    test::PtyPair pty;
    auto port = PosixSerialPort::open(pty.devicePath(), 9600);
    ASSERT_NE(port, nullptr);
    std::array<std::uint8_t, 256> all{};
    for (std::size_t i = 0; i < all.size(); ++i) {
        all[i] = static_cast<std::uint8_t>(i);
    }
    ASSERT_EQ(port->write(all.data(), all.size()).count, all.size());
    const std::string out = pty.receive(all.size(), 2000);
    EXPECT_EQ(out, std::string(all.begin(), all.end()));

    pty.send(all.data(), all.size());
    std::string in;
    for (int empty = 0; in.size() < all.size() && empty < 20;) {
        std::array<std::uint8_t, 64> piece{};
        const IoResult got = port->readSome(piece.data(), piece.size());
        ASSERT_EQ(got.status, IoStatus::Ok);
        empty += got.count == 0 ? 1 : 0;
        in.append(piece.begin(), piece.begin() + static_cast<std::ptrdiff_t>(got.count));
    }
    EXPECT_EQ(in, std::string(all.begin(), all.end()));
}

TEST(PosixSerialPort, NonStandardSpeedIsAnErrorSettingPortState) {
    test::PtyPair pty;
    EXPECT_THROW(PosixSerialPort::open(pty.devicePath(), 12345), PortError);
}

TEST(PosixSerialPort, WritesReachTheOtherSideAndRepliesComeBack) {
    test::PtyPair pty;
    auto port = PosixSerialPort::open(pty.devicePath(), 115200);
    ASSERT_NE(port, nullptr);
    EXPECT_EQ(port->speed(), 115200U);
    std::array<std::uint8_t, 109> frame{};
    frame.fill(0x55);
    frame[101] = 0xE0;
    const IoResult written = port->write(frame.data(), frame.size());
    EXPECT_EQ(written.status, IoStatus::Ok);
    EXPECT_EQ(written.count, frame.size());
    const std::string got = pty.receive(frame.size(), 2000);
    ASSERT_EQ(got.size(), frame.size());
    EXPECT_EQ(static_cast<std::uint8_t>(got[101]), 0xE0);

    pty.send("\xE0\x01\x02", 3);
    std::array<std::uint8_t, 3> reply{};
    const IoResult read = port->read(reply.data(), reply.size());
    EXPECT_EQ(read.status, IoStatus::Ok);
    ASSERT_EQ(read.count, 3U);
    EXPECT_EQ(reply[0], 0xE0);
    EXPECT_EQ(reply[2], 0x02);
}

TEST(PosixSerialPort, ReadOnASilentLineTimesOutWithNothing) {
    test::PtyPair pty;
    auto port = PosixSerialPort::open(pty.devicePath(), 9600);
    ASSERT_NE(port, nullptr);
    std::uint8_t byte = 0;
    const IoResult result = port->read(&byte, 1);
    EXPECT_EQ(result.status, IoStatus::Ok);
    EXPECT_EQ(result.count, 0U);
}

TEST(PosixSerialPort, SecondOpenOfTheSameDeviceFailsUntilTheFirstCloses) {
    test::PtyPair pty;
    auto first = PosixSerialPort::open(pty.devicePath(), 9600);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(PosixSerialPort::open(pty.devicePath(), 9600), nullptr);
    first->close();
    EXPECT_NE(PosixSerialPort::open(pty.devicePath(), 9600), nullptr);
}

TEST(PosixSerialPort, ClosingLeavesTheDeviceOpenableForUsersOtherThanRoot) {
    test::PtyPair pty;
    const int other = ::open(pty.devicePath().c_str(), O_RDWR | O_NOCTTY);  // as the board holds it
    ASSERT_GE(other, 0);
    auto port = PosixSerialPort::open(pty.devicePath(), 9600);
    ASSERT_NE(port, nullptr);
    int exclusive = 0;
    ASSERT_EQ(ioctl(other, TIOCGEXCL, &exclusive), 0);
    EXPECT_EQ(exclusive, 1);
    port->close();
    ASSERT_EQ(ioctl(other, TIOCGEXCL, &exclusive), 0);
    EXPECT_EQ(exclusive, 0);
    ::close(other);
}

TEST(PosixSerialPort, ClosingPutsBackTheLineSettingsTheDeviceHad) {
    test::PtyPair pty;
    const int other = ::open(pty.devicePath().c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(other, 0);
    termios before{};
    ASSERT_EQ(tcgetattr(other, &before), 0);
    before.c_lflag |= ICANON | ECHO;  // as a terminal a person types into
    ASSERT_EQ(tcsetattr(other, TCSANOW, &before), 0);
    ASSERT_EQ(tcgetattr(other, &before), 0);
    auto port = PosixSerialPort::open(pty.devicePath(), 9600);
    ASSERT_NE(port, nullptr);
    port->setSpeed(115200);
    termios during{};
    ASSERT_EQ(tcgetattr(other, &during), 0);
    EXPECT_EQ(during.c_lflag & ICANON, 0U);
    port->close();
    termios after{};
    ASSERT_EQ(tcgetattr(other, &after), 0);
    EXPECT_EQ(0, std::memcmp(&after, &before, sizeof before));
    ::close(other);
}

TEST(PosixSerialPort, RefusesTheTerminalItRunsInByEitherName) {
    test::PtyPair pty;
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // A session of its own whose controlling terminal is the pseudo-terminal.
        if (::setsid() < 0 || ::open(pty.devicePath().c_str(), O_RDWR) < 0) {
            ::_exit(10);
        }
        int refused = 0;
        for (const std::string& name : {std::string("/dev/tty"), pty.devicePath()}) {
            std::string failure;
            if (PosixSerialPort::open(name, 9600, &failure) == nullptr &&
                failure == name + ": this is the terminal the program runs in, not a serial port") {
                ++refused;
            }
        }
        ::_exit(refused);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 2) << "both names refused";
}

TEST(PosixSerialPort, ClosingTheOtherSideIsReportedAsTheDeviceGone) {
    test::PtyPair pty;
    auto port = PosixSerialPort::open(pty.devicePath(), 9600);
    ASSERT_NE(port, nullptr);
    pty.closeController();
    std::uint8_t byte = 0;
    EXPECT_EQ(port->read(&byte, 1).status, IoStatus::Gone);
}

TEST(PosixSerialPort, SpeedChangeKeepsThePortUsable) {
    test::PtyPair pty;
    auto port = PosixSerialPort::open(pty.devicePath(), 9600);
    ASSERT_NE(port, nullptr);
    port->setSpeed(115200);
    EXPECT_EQ(port->speed(), 115200U);
    EXPECT_THROW(port->setSpeed(12345), PortError);
    EXPECT_EQ(port->speed(), 115200U);
    EXPECT_TRUE(port->takeErrors().queryOk);
    port->purge();
}

}  // namespace
}  // namespace horalux::platform
