// The project's own link code talking to the stand-in board program over a pseudo-terminal.

#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "link/wire/Commands.h"
#include "link/wire/Frame.h"
#include "link/wire/FrameIo.h"
#include "link/wire/Line.h"
#include "platform/PosixSerialPort.h"
#include "support/BoardProcess.h"
#include "support/FakeTick.h"

namespace horalux {
namespace {

using Bytes = std::vector<std::uint8_t>;

struct Reply {
    link::ReplyHeader header;
    Bytes data;
};

// How many one-byte polls (80 ms each when the line is silent) a wait may take.
constexpr int kPatiencePolls = 60;

// The program's side of the line: a port on the board's device, driven by the link's own
// frame code. The post-write wait runs on a fake tick, so it takes no real time.
class ProgramSide {
  public:
    explicit ProgramSide(const std::string& device, std::uint32_t speed = 9600) {
        port_ = platform::PosixSerialPort::open(device, speed);
        if (!port_) {
            throw std::runtime_error("cannot open " + device);
        }
        port_->purge();
        line_ = std::make_unique<link::Line>(*port_, tick_, 0);
    }

    void send(std::uint8_t address, std::uint8_t command, std::uint8_t p1, std::uint8_t p2) {
        link::SendFrame(*line_, builder_, address, command, p1, p2);
    }
    void send(std::uint8_t address, std::uint8_t command, const Bytes& data) {
        link::SendFrame(*line_, builder_, address, command,
                        static_cast<std::uint8_t>(data.size() / 256),
                        static_cast<std::uint8_t>(data.size() % 256), std::span(data));
    }

    // The next reply the hunt finds, with its data block when its code carries one.
    std::optional<Reply> nextReply() {
        for (int i = 0; i < kPatiencePolls; ++i) {
            const link::Line::Poll poll = line_->pollByte();
            if (poll.status == link::Line::PollStatus::Gone) {
                return std::nullopt;
            }
            if (poll.status != link::Line::PollStatus::Byte) {
                continue;
            }
            const link::HuntResult hunt = link::HuntReplyHeader(*line_, poll.byte);
            if (hunt.status != link::HuntStatus::Found) {
                continue;
            }
            Reply reply{hunt.header, {}};
            if (link::carriesDataBlock(hunt.header.code)) {
                link::ReplyData buffer{};
                EXPECT_TRUE(link::ReadReplyData(*line_, hunt.header.param2, buffer));
                reply.data.assign(buffer.begin(), buffer.begin() + hunt.header.param2);
            }
            return reply;
        }
        return std::nullopt;
    }
    // The next reply with this code, passing over others (such as a master's frames).
    std::optional<Reply> nextReply(std::uint8_t code) {
        for (int i = 0; i < 20; ++i) {
            auto reply = nextReply();
            if (!reply || reply->header.code == code) {
                return reply;
            }
        }
        return std::nullopt;
    }

    std::optional<std::uint8_t> readRegister(std::uint8_t address, std::uint8_t reg) {
        send(address, link::cmd::ReadRegister, reg, 0);
        const auto reply = nextReply();
        if (!reply || reply->header.address != address ||
            reply->header.code != link::cmd::ReadRegister || reply->header.param1 != reg) {
            return std::nullopt;
        }
        return reply->header.param2;
    }
    bool writeRegister(std::uint8_t address, std::uint8_t reg, std::uint8_t value) {
        send(address, link::cmd::WriteRegister, reg, value);
        const auto reply = nextReply();
        return reply &&
               reply->header == link::ReplyHeader{address, 0, link::cmd::WriteRegister, reg, value};
    }

    link::Line& line() { return *line_; }
    void close() { port_->close(); }

  private:
    test::FakeTick tick_;
    std::unique_ptr<platform::PosixSerialPort> port_;
    std::unique_ptr<link::Line> line_;
    link::RequestFrameBuilder builder_;
};

TEST(BoardLine, RegistersAreReadAndWritten) {
    test::BoardProcess board;
    ProgramSide program(board.devicePath());
    EXPECT_EQ(program.readRegister(1, 76), 1);
    EXPECT_EQ(program.readRegister(1, 224), 4);
    EXPECT_TRUE(program.writeRegister(1, 67, 8));
    EXPECT_EQ(program.readRegister(1, 67), 8);
    EXPECT_EQ(board.stop(), 0);
}

TEST(BoardLine, ClockWrittenIsReadBackRunning) {
    test::BoardProcess board;
    ProgramSide program(board.devicePath());
    // 9:05:07 on Sunday 1 March 2009.
    program.send(1, link::cmd::WriteClock, Bytes{0x07, 0x05, 0x09, 8, 0x01, 0x03, 0x09});
    const auto ack = program.nextReply();
    ASSERT_TRUE(ack);
    EXPECT_EQ(ack->header, (link::ReplyHeader{1, 0, link::cmd::WriteClock, 0, 7}));

    program.send(1, link::cmd::ReadClock, 0, 7);
    const auto clock = program.nextReply();
    ASSERT_TRUE(clock);
    EXPECT_EQ(clock->header.code, link::cmd::ReadClock);
    ASSERT_EQ(clock->data.size(), 7U);
    // The clock runs on from the time written; well within the minute here.
    EXPECT_GE(clock->data[0], 0x07);
    EXPECT_EQ(Bytes(clock->data.begin() + 1, clock->data.end()),
              (Bytes{0x05, 0x09, 8, 0x01, 0x03, 0x09}));
}

TEST(BoardLine, UserFieldsWrittenAreReadBack) {
    test::BoardProcess board;
    ProgramSide program(board.devicePath());
    const Bytes fields{0x06, 0xDB, 0x6D, 0x00, 0x40, 0x08, 0x00,
                       0x00, 0x3F, 0x06, 0x5B, 0x4F, 0x66, 0x6D};
    program.send(1, link::cmd::WriteUserFields, fields);
    const auto ack = program.nextReply();
    ASSERT_TRUE(ack);
    EXPECT_EQ(ack->header, (link::ReplyHeader{1, 0, link::cmd::WriteUserFields, 0, 14}));

    program.send(1, link::cmd::ReadUserFields, 0, 14);
    const auto read = program.nextReply();
    ASSERT_TRUE(read);
    EXPECT_EQ(read->header.code, link::cmd::ReadUserFields);
    EXPECT_EQ(read->data, fields);
}

TEST(BoardLine, RequestToAllBoardsIsAppliedByEachAndAnsweredByNone) {
    test::BoardProcess board({"--address", "1", "--address", "2"});
    ProgramSide program(board.devicePath());
    program.send(255, link::cmd::WriteRegister, 66, 0x11);
    program.send(255, link::cmd::ReadRegister, 66, 0);
    // Had anyone answered the requests to all boards, that reply would come first.
    EXPECT_EQ(program.readRegister(2, 66), 0x11);
    EXPECT_EQ(program.readRegister(1, 66), 0x11);
}

TEST(BoardLine, TwoBoardsAnswerEachAtItsOwnAddress) {
    test::BoardProcess board({"--address", "1", "--address", "2"});
    ProgramSide program(board.devicePath());
    EXPECT_TRUE(program.writeRegister(2, 67, 3));
    EXPECT_EQ(program.readRegister(1, 67), 5);
    EXPECT_EQ(program.readRegister(2, 67), 3);
    EXPECT_EQ(program.readRegister(2, 76), 2);
    // Register 76 moves a board; it answers at its new address from then on.
    EXPECT_TRUE(program.writeRegister(2, 76, 9));
    EXPECT_EQ(program.readRegister(9, 76), 9);
}

TEST(BoardLine, ProgramMayCloseAndReopenTheDevice) {
    test::BoardProcess board({"--link", "horalux-board-link"});
    const std::filesystem::path link = std::filesystem::current_path() / "horalux-board-link";
    EXPECT_EQ(std::filesystem::read_symlink(link), board.devicePath());
    {
        ProgramSide program(link.string());
        EXPECT_EQ(program.readRegister(1, 76), 1);
    }
    // The program's exclusive mode is lifted once it has closed the device, so that a user
    // without special rights can open it again.
    const int fd = ::open(board.devicePath().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    int exclusive = 1;
    for (int i = 0; i < 100 && exclusive != 0; ++i) {
        ASSERT_EQ(ioctl(fd, TIOCGEXCL, &exclusive), 0);
        if (exclusive != 0) {
            usleep(20000);
        }
    }
    ::close(fd);
    EXPECT_EQ(exclusive, 0);
    {
        ProgramSide program(link.string());
        EXPECT_EQ(program.readRegister(1, 76), 1);
    }
    EXPECT_EQ(board.stop(), 0);
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(link)));
}

TEST(BoardLine, RegisterFileGivesTheStartingSettings) {
    const std::filesystem::path file = std::filesystem::current_path() / "horalux-board-test.cs";
    {
        std::ofstream out(file);
        out << "[registers]\ns0=40\ns3=7\ns4=8960\nL00_0=9\n";
    }
    test::BoardProcess board({"--registers", file.string(), "--address", "3"});
    ProgramSide program(board.devicePath());
    EXPECT_EQ(program.readRegister(3, 67), 7);
    EXPECT_EQ(program.readRegister(3, 57), 0x23);
    EXPECT_EQ(program.readRegister(3, 224), 9);
    EXPECT_EQ(program.readRegister(3, 76), 3);
    std::filesystem::remove(file);
}

TEST(BoardLine, MasterSendsStatusAndLayoutFrames) {
    test::BoardProcess board({"--master", "--address", "1", "--address", "2"});
    ProgramSide program(board.devicePath());
    // A layout frame comes with every few status frames.
    const auto layout = program.nextReply(link::cmd::LayoutFrame);
    ASSERT_TRUE(layout);
    EXPECT_EQ(layout->header.address, 1);
    EXPECT_EQ(layout->data[0], 3);  // user fields
    const auto status = program.nextReply(link::cmd::StatusFrame);
    ASSERT_TRUE(status);
    EXPECT_EQ(status->header.address, 1);
    ASSERT_EQ(status->data.size(), 64U);
    EXPECT_EQ(status->data[9], 10);   // display time of the time item
    EXPECT_EQ(status->data[46], 56);  // humidity

    // A board made master by bit 7 of register 77 starts sending too.
    program.send(2, link::cmd::WriteRegister, 77, 0x80);
    std::optional<Reply> fromSecond;
    for (int i = 0; i < 20 && !fromSecond; ++i) {
        auto r = program.nextReply(link::cmd::StatusFrame);
        ASSERT_TRUE(r);
        if (r->header.address == 2) {
            fromSecond = r;
        }
    }
    EXPECT_TRUE(fromSecond);
}

TEST(BoardLine, LineTimingStillServesRequests) {
    for (const char* speed : {"9600", "115200"}) {
        test::BoardProcess board({"--speed", speed, "--line-timing"});
        ProgramSide program(board.devicePath(), static_cast<std::uint32_t>(std::stoul(speed)));
        EXPECT_EQ(program.readRegister(1, 76), 1) << speed;
        program.send(1, link::cmd::ReadClock, 0, 7);
        const auto clock = program.nextReply();
        ASSERT_TRUE(clock) << speed;
        EXPECT_EQ(clock->data.size(), 7U);
    }
}

TEST(BoardLine, MutedBoardNeverAnswers) {
    test::BoardProcess board({"--address", "1", "--address", "2", "--mute", "2"});
    ProgramSide program(board.devicePath());
    program.send(2, link::cmd::ReadRegister, 76, 0);
    // The first reply on the line is board 1's, to the request sent after.
    EXPECT_EQ(program.readRegister(1, 76), 1);
}

TEST(BoardLine, DroppedRequestsAreAnsweredWhenRepeated) {
    test::BoardProcess board({"--drop-first", "1"});
    ProgramSide program(board.devicePath());
    program.send(1, link::cmd::ReadRegister, 77, 0);  // lost
    program.send(1, link::cmd::ReadRegister, 76, 0);  // lost
    EXPECT_EQ(program.readRegister(1, 76), 1);        // the retry gets through
    EXPECT_EQ(program.readRegister(1, 77), 0);
    program.send(1, link::cmd::ReadRegister, 76, 0);  // lost again: a new exchange
    EXPECT_EQ(program.readRegister(1, 76), 1);
}

TEST(BoardLine, EveryKthReplyHasABadHeaderChecksum) {
    test::BoardProcess board({"--corrupt-every", "2"});
    ProgramSide program(board.devicePath());
    EXPECT_EQ(program.readRegister(1, 76), 1);
    program.send(1, link::cmd::ReadRegister, 66, 0);
    std::array<std::uint8_t, 8> raw{};
    ASSERT_EQ(program.line().readBlock(raw), raw.size());
    EXPECT_EQ((Bytes{raw[0], raw[1], raw[3], raw[4]}), (Bytes{0xE0, 1, 0x74, 66}));
    EXPECT_FALSE(link::isReplyHeader(raw));
    EXPECT_EQ(program.readRegister(1, 67), 5);
}

TEST(BoardLine, NoiseOnTheLineDoesNotStopExchanges) {
    test::BoardProcess board({"--noise", "5"});
    ProgramSide program(board.devicePath());
    std::size_t noise = 0;
    for (int i = 0; i < kPatiencePolls && noise < 16; ++i) {
        noise += program.line().pollByte().status == link::Line::PollStatus::Byte ? 1U : 0U;
    }
    EXPECT_GE(noise, 16U);
    for (const std::uint8_t reg : std::initializer_list<std::uint8_t>{76, 224, 66}) {
        std::optional<std::uint8_t> value;
        // A noise byte may spoil a frame now and then; the retry covers it.
        for (int attempt = 0; attempt < 5 && !value; ++attempt) {
            value = program.readRegister(1, reg);
        }
        EXPECT_TRUE(value) << int{reg};
    }
}

TEST(BoardLine, HangupClosesTheLineAfterKRequestsAndTheBoardEnds) {
    test::BoardProcess board({"--hangup-after", "2"});
    ProgramSide program(board.devicePath());
    EXPECT_EQ(program.readRegister(1, 76), 1);
    EXPECT_EQ(program.readRegister(1, 77), 0);
    link::Line::PollStatus status = link::Line::PollStatus::Empty;
    for (int i = 0; i < kPatiencePolls && status != link::Line::PollStatus::Gone; ++i) {
        status = program.line().pollByte().status;
    }
    EXPECT_EQ(status, link::Line::PollStatus::Gone);
    EXPECT_EQ(board.waitForExit(10000), 0);
}

TEST(BoardLine, BadArgumentsEndWithStatusTwo) {
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"--address", "300"}, {"--bogus"}, {"--registers", "/no/such"}}) {
        test::BoardProcess board(args);
        EXPECT_THROW(board.devicePath(), std::runtime_error);
        EXPECT_EQ(board.waitForExit(10000), 2) << args.front();
    }
}

}  // namespace
}  // namespace horalux
