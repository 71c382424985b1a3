// TLS ports: the companion against the stand-in board behind a real ser2net speaking TLS on the
// loopback interface, with certificates made by the test.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <openssl/pem.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "TlsRelay.h"
#include "platform/PortOpener.h"
#include "platform/Tick.h"
#include "support/BoardProcess.h"
#include "support/ChildProcess.h"
#include "support/CommandRun.h"
#include "support/LoopbackSockets.h"
#include "support/Ser2netProcess.h"
#include "support/TestCertificates.h"

namespace horalux::test {
namespace {

const CertShape kLoopbackServer{
    .commonName = "device server", .dnsNames = {"localhost"}, .ipAddresses = {"127.0.0.1"}};

CommandRun cli(const std::string& port, const std::string& args) {
    const std::string command =
        std::string(HORALUX_CLI_PATH) + " --port '" + port + "' --delay 0 " + args + " 2>&1";
    return finishCommand(::popen(command.c_str(), "r"));
}

// A server on 127.0.0.1 that takes a connection and never says a word.
class SilentServer {
  public:
    SilentServer() { listener_ = test::listeningLoopbackSocket(&port_); }
    ~SilentServer() {
        if (client_ >= 0) {
            ::close(client_);
        }
        ::close(listener_);
    }
    std::string name() const { return "tcp+tls://127.0.0.1:" + std::to_string(port_); }
    // Whether a client connected and began its handshake within 10 s.
    bool helloCame() {
        pollfd waiting{listener_, POLLIN, 0};
        if (::poll(&waiting, 1, 10000) != 1) {
            return false;
        }
        client_ = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        pollfd hello{client_, POLLIN, 0};
        return ::poll(&hello, 1, 10000) == 1;
    }

  private:
    int listener_ = -1;
    int client_ = -1;
    std::uint16_t port_ = 0;
};

// The board with its --verbose log, for what reached its line.
class Board {
  public:
    explicit Board(const std::filesystem::path& log) : log_(log.string()) {
        process_ = std::make_unique<BoardProcess>(std::vector<std::string>{"--verbose"}, log_);
    }
    std::string device() const { return process_->devicePath(); }
    std::string received() const {
        std::ifstream in(log_);
        std::string all;
        for (std::string line; std::getline(in, line);) {
            if (line.rfind("line in: ", 0) == 0) {
                all += (all.empty() ? "" : " ") + line.substr(9);
            }
        }
        return all;
    }

  private:
    std::string log_;
    std::unique_ptr<BoardProcess> process_;
};

// The test's certificates: an authority and what it issued, and the rogue ones.
class TlsPorts : public ::testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/horalux-tls-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        dir_ = pattern;
        authority_ = std::make_unique<TestAuthority>(dir_, "Horalux Test CA");
        server_ = authority_->issue("server", kLoopbackServer);
        client_ = authority_->issue("client", {.commonName = "horalux"});
        // ser2net takes the clients whose certificates its folder for the user vouches for.
        linkByHash(authority_->certFile(), dir_ / "auth" / "horalux" / "allowed_certs");
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }

    std::string ca() const { return " --ca " + authority_->certFile() + " "; }
    std::string logFile(const std::string& name) const { return (dir_ / name).string(); }

    std::filesystem::path dir_;
    std::unique_ptr<TestAuthority> authority_;
    CertFiles server_;
    CertFiles client_;
};

TEST_F(TlsPorts, AFullRegisterReadCrossesTlsByteForByteAsOnALocalPort) {
    Board local(logFile("local.log"));
    const CommandRun direct = cli(local.device(), "--speed 115200 read-registers");
    ASSERT_EQ(direct.status, 0) << direct.output;
    const CertFiles selfSigned = TestAuthority::selfSigned(dir_, "self", {.commonName = "ser2net"});
    struct Case {
        const char* what;
        CertFiles server;
        bool telnet;
        std::string options;
    };
    const Case cases[] = {
        {"tcp+tls, by the CA", server_, false, ca()},
        {"rfc2217+tls, by the CA", server_, true, ca()},
        {"tcp+tls, a self-signed server by its pin", selfSigned, false,
         " --pin " + pinOf(selfSigned.cert) + " "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Board remote(logFile(std::string("remote.log")));
        Ser2netProcess ser2net(remote.device(), 115200,
                               Ser2netTls{.key = c.server.key, .cert = c.server.cert});
        const std::string port = c.telnet ? ser2net.rfc2217Name() : ser2net.tcpName();
        const CommandRun through = cli(port, c.options + "--speed 115200 read-registers");
        EXPECT_EQ(through.status, 0) << through.output;
        EXPECT_EQ(through.output, direct.output);
        EXPECT_FALSE(remote.received().empty());
        EXPECT_EQ(remote.received(), local.received());
        std::filesystem::remove(logFile("remote.log"));
    }
}

TEST_F(TlsPorts, ServersThatCannotBeTrustedGiveErrorOpeningPortWithTheCause) {
    const TestAuthority rogue(dir_, "Rogue CA");
    const CertFiles unknown = rogue.issue("unknown", kLoopbackServer);
    const CertFiles otherName = authority_->issue(
        "other",
        {.commonName = "other", .dnsNames = {"other.example"}, .ipAddresses = {"10.9.8.7"}});
    const CertFiles expired = authority_->issue(
        "expired",
        {.commonName = "old", .ipAddresses = {"127.0.0.1"}, .fromDay = -30, .toDay = -2});
    const CertFiles selfSigned = TestAuthority::selfSigned(dir_, "self", kLoopbackServer);
    const CertFiles another = TestAuthority::selfSigned(dir_, "another", kLoopbackServer);
    struct Case {
        const char* what;
        CertFiles server;
        std::string options;
        std::string cause;    // after "Error opening port\nPORT: "
        bool byName = false;  // the port names the host "localhost", not its address
    };
    const Case cases[] = {
        {"an authority we do not trust", unknown, ca(),
         "the device server's certificate is not trusted (subject CN = device server, issuer "
         "CN = Rogue CA)"},
        {"a self-signed one, no pin", selfSigned, "",
         "the device server's certificate is not trusted (subject CN = device server, issuer "
         "CN = device server)"},
        {"another name", otherName, ca(),
         "the device server's certificate is for other.example, 10.9.8.7, not for 127.0.0.1"},
        {"another name, the host named", otherName, ca(),
         "the device server's certificate is for other.example, 10.9.8.7, not for localhost", true},
        {"expired", expired, ca(), "the device server's certificate expired on 20"},
        {"another certificate than the pinned one", selfSigned,
         " --pin " + pinOf(another.cert) + " ",
         "the device server's certificate is not the pinned one (its digest is " +
             pinOf(selfSigned.cert) + ")"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Board board(logFile("board.log"));
        Ser2netProcess ser2net(board.device(), 9600,
                               Ser2netTls{.key = c.server.key, .cert = c.server.cert});
        const std::string port = c.byName
                                     ? "tcp+tls://localhost:" + std::to_string(ser2net.rawPort())
                                     : ser2net.tcpName();
        const CommandRun run = cli(port, c.options + "sync-time");
        EXPECT_EQ(run.status, 1) << run.output;
        EXPECT_NE(run.output.find("Error opening port\n" + port + ": " + c.cause),
                  std::string::npos)
            << run.output;
        EXPECT_EQ(board.received(), "");
    }
    // The name the certificate holds is taken as its address is.
    Board board(logFile("board.log"));
    Ser2netProcess ser2net(board.device(), 9600,
                           Ser2netTls{.key = server_.key, .cert = server_.cert});
    const CommandRun byName =
        cli("tcp+tls://localhost:" + std::to_string(ser2net.rawPort()), ca() + "sync-time");
    EXPECT_EQ(byName.status, 0) << byName.output;
    EXPECT_NE(board.received(), "");
}

TEST_F(TlsPorts, AMutualTlsServerTakesUsOnlyWithACertificateItKnows) {
    const TestAuthority rogue(dir_, "Rogue CA");
    const CertFiles stranger = rogue.issue("stranger", {.commonName = "horalux"});
    Board board(logFile("board.log"));
    Ser2netProcess ser2net(
        board.device(), 9600,
        Ser2netTls{
            .key = server_.key, .cert = server_.cert, .clientAuthDir = (dir_ / "auth").string()});
    struct Case {
        const char* what;
        std::string options;
        std::string cause;  // empty: taken
    };
    const Case cases[] = {
        {"no certificate", ca(),
         "the device server asks for a client certificate, and none is set"},
        {"a certificate it does not know",
         ca() + "--cert " + stranger.cert + " --key " + stranger.key + " ",
         "the device server refused our certificate"},
        {"ours", ca() + "--cert " + client_.cert + " --key " + client_.key + " ", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        // The refused never reach the line; the one taken is the last (ser2net lets the line
        // go some time after a client left).
        const std::vector<std::string> ports =
            c.cause.empty() ? std::vector<std::string>{ser2net.rfc2217Name()}
                            : std::vector<std::string>{ser2net.tcpName(), ser2net.rfc2217Name()};
        for (const std::string& port : ports) {
            const CommandRun run = cli(port, c.options + "sync-time");
            if (c.cause.empty()) {
                EXPECT_EQ(run.status, 0) << run.output;
            } else {
                EXPECT_EQ(run.status, 1) << run.output;
                EXPECT_NE(run.output.find("Error opening port\n" + port + ": " + c.cause),
                          std::string::npos)
                    << run.output;
            }
        }
    }
    EXPECT_NE(board.received(), "");
}

TEST_F(TlsPorts, APrivateKeyOthersCanReadIsRefusedByName) {
    ::chmod(client_.key.c_str(), 0644);
    const CommandRun run = cli("tcp+tls://127.0.0.1:9", ca() + "--cert " + client_.cert +
                                                            " --key " + client_.key + " sync-time");
    EXPECT_EQ(run.status, 1) << run.output;
    EXPECT_NE(run.output.find("Error opening port\ntcp+tls://127.0.0.1:9: " + client_.key +
                              ": the private key is readable by others than its owner"),
              std::string::npos)
        << run.output;
}

// `key` written again encrypted with a pass phrase, in the PKCS #8 form or the older one.
std::string encryptedCopy(const std::string& key, const std::filesystem::path& to, bool pkcs8) {
    FILE* in = std::fopen(key.c_str(), "r");
    EVP_PKEY* pkey = in != nullptr ? PEM_read_PrivateKey(in, nullptr, nullptr, nullptr) : nullptr;
    if (in != nullptr) {
        std::fclose(in);
    }
    BIO* out = BIO_new_file(to.c_str(), "w");
    unsigned char phrase[] = "pass phrase";
    if (pkey != nullptr && out != nullptr) {
        if (pkcs8) {
            PEM_write_bio_PrivateKey(out, pkey, EVP_aes_256_cbc(), phrase, 11, nullptr, nullptr);
        } else {
            PEM_write_bio_PrivateKey_traditional(out, pkey, EVP_aes_256_cbc(), phrase, 11, nullptr,
                                                 nullptr);
        }
    }
    BIO_free(out);
    EVP_PKEY_free(pkey);
    ::chmod(to.c_str(), 0600);
    return to.string();
}

TEST_F(TlsPorts, FilesThatAreNoRegularFilesAndEncryptedKeysAreRefusedAtOnceByName) {
    const std::string fifo = (dir_ / "fifo.pem").string();
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const std::string pkcs8 = encryptedCopy(client_.key, dir_ / "pkcs8.key", true);
    const std::string older = encryptedCopy(client_.key, dir_ / "older.key", false);
    struct Case {
        std::string options;
        std::string cause;
    };
    const Case cases[] = {
        {"--ca " + fifo, fifo + ": not a regular file"},
        {"--ca /dev/zero", "/dev/zero: not a regular file"},
        {ca() + "--cert " + fifo + " --key " + client_.key, fifo + ": not a regular file"},
        {ca() + "--cert " + client_.cert + " --key " + fifo, fifo + ": not a regular file"},
        {ca() + "--cert " + client_.cert + " --key " + pkcs8,
         pkcs8 + " is encrypted; give an unencrypted key, readable only by its owner"},
        {ca() + "--cert " + client_.cert + " --key " + older,
         older + " is encrypted; give an unencrypted key, readable only by its owner"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.options);
        // Without a terminal, so nothing can prompt; the time-out ends only a companion that
        // waits on the FIFO, which this one must not.
        const CommandRun run =
            runCommand("timeout 20 setsid " + std::string(HORALUX_CLI_PATH) +
                       " --port tcp+tls://127.0.0.1:9 " + c.options + " sync-time </dev/null 2>&1");
        EXPECT_EQ(run.status, 1) << run.output;
        EXPECT_NE(run.output.find("Error opening port\ntcp+tls://127.0.0.1:9: " + c.cause),
                  std::string::npos)
            << run.output;
    }
}

TEST_F(TlsPorts, AManInTheMiddleAPortInClearAndAnOutdatedServerAreRefused) {
    Board board(logFile("board.log"));
    Ser2netProcess ser2net(board.device());
    // The relay passes on what it reads in clear: only the check of its certificate stops it.
    const TestAuthority rogue(dir_, "Rogue CA");
    const CertFiles own = rogue.issue("middle", kLoopbackServer);
    const TlsRelay middle(own.cert, own.key, ser2net.rawPort());
    const CommandRun refused = cli(middle.name("tcp+tls://"), ca() + "sync-time");
    EXPECT_EQ(refused.status, 1) << refused.output;
    EXPECT_NE(refused.output.find(": the device server's certificate is not trusted"),
              std::string::npos)
        << refused.output;
    EXPECT_EQ(board.received(), "");
    // The relay works: trusted by its pin, it carries the line.
    const CommandRun pinned =
        cli(middle.name("tcp+tls://"), "--pin " + pinOf(own.cert) + " sync-time");
    EXPECT_EQ(pinned.status, 0) << pinned.output;
    EXPECT_NE(board.received(), "");

    // A port in clear: its Telnet server speaks first, and not TLS.
    const std::string clear = "rfc2217+tls://" + ser2net.rfc2217Name().substr(10);
    const CommandRun plain = cli(clear, ca() + "sync-time");
    EXPECT_EQ(plain.status, 1) << plain.output;
    EXPECT_NE(plain.output.find(clear + ": the device server does not speak TLS on this port"),
              std::string::npos)
        << plain.output;

    const TlsRelay outdated(server_.cert, server_.key, 0, TLS1_1_VERSION);
    const CommandRun old = cli(outdated.name("tcp+tls://"), ca() + "sync-time");
    EXPECT_EQ(old.status, 1) << old.output;
    EXPECT_NE(old.output.find(outdated.name("tcp+tls://") +
                              ": the device server offers only TLS versions older than 1.2"),
              std::string::npos)
        << old.output;
}

TEST_F(TlsPorts, ATlsPortNamedWithoutTlsSaysWhichNameToUse) {
    Board board(logFile("board.log"));
    Ser2netProcess ser2net(board.device(), 9600,
                           Ser2netTls{.key = server_.key, .cert = server_.cert});
    const std::string clear = "rfc2217://" + ser2net.rfc2217Name().substr(14);
    const CommandRun run = cli(clear, "sync-time");
    EXPECT_EQ(run.status, 1) << run.output;
    EXPECT_NE(run.output.find(clear + ": the device server closed the connection during set-up "
                                      "(is it a TLS port? then rfc2217+tls://)"),
              std::string::npos)
        << run.output;
    EXPECT_EQ(board.received(), "");
}

TEST(TlsHandshake, ASilentServerIsGivenUpAtTheSetUpLimitAndCtrlCEndsTheWaitAtOnce) {
    {
        SilentServer server;
        platform::PortOpener opener;
        opener.setNetworkTimeouts({.setupMs = 300});
        const std::int64_t start = platform::monotonicMs();
        EXPECT_EQ(opener.open(server.name(), 9600), nullptr);
        EXPECT_GE(platform::monotonicMs() - start, 300);
        EXPECT_EQ(opener.lastFailureCause(),
                  server.name() +
                      ": the device server did not complete the TLS handshake (is it a TLS port?)");
    }
    SilentServer server;
    ChildProcess cli({HORALUX_CLI_PATH, "--port", server.name(), "sync-time"},
                     ChildProcess::Output::Pipe);
    ASSERT_TRUE(server.helloCame());
    // Well within the handshake's 3 s. A signal that lands just before the wait begins is
    // caught by the next, as a user's second Ctrl+C would be.
    const std::int64_t start = platform::monotonicMs();
    std::optional<int> status;
    while (!status && platform::monotonicMs() - start < 2000) {
        ::kill(cli.pid(), SIGINT);
        status = cli.waitForExit(100);
    }
    EXPECT_EQ(status, 130);
    EXPECT_LT(platform::monotonicMs() - start, 2000);
}

}  // namespace
}  // namespace horalux::test
