#include "settings/ProgramSettings.h"

#include <gtest/gtest.h>

#include <fstream>

#include "settings/IniFile.h"
#include "settings/KeptText.h"
#include "settings/TempDir.h"

namespace horalux::settings {
namespace {

TEST(ProgramSettings, MissingFileGivesDefaultsAndFirstSaveWritesAllEightKeys) {
    test::TempDir dir;
    const auto path = dir / "horalux.ini";
    const ProgramSettings s = loadSettings(path);
    EXPECT_EQ(s, ProgramSettings{});
    EXPECT_EQ(s.ComPort, "COM1");
    EXPECT_EQ(s.ComSpeed, 9600);
    EXPECT_EQ(s.sysnum, 1);
    EXPECT_EQ(s.DelayTime, 100);
    EXPECT_FALSE(s.SinhrTime);
    EXPECT_FALSE(s.SinhrTimeServer.empty());
    EXPECT_EQ(s.SyncPeriodChoice, 4);
    EXPECT_FALSE(s.Test);

    saveSettings(path, s);
    const IniFile file = IniFile::load(path);
    for (const char* key : {"ComPort", "ComSpeed", "sysnum", "DelayTime", "SinhrTime",
                            "SinhrTimeServer", "Period_sinhr"}) {
        EXPECT_TRUE(file.value("Interface", key).has_value()) << key;
    }
    EXPECT_EQ(file.value("View", "Test"), "0");
    EXPECT_EQ(loadSettings(path), s);
}

// The file's lines without the empty ones, whose number is the ini library's business.
std::string filledLines(const std::filesystem::path& path) {
    std::string text = test::readAll(path);
    for (std::size_t at; (at = text.find("\n\n")) != std::string::npos;) {
        text.erase(at, 1);
    }
    return text;
}

TEST(ProgramSettings, SaveWritesTheKeysInTheirOrderWithBooleansAsOneAndZero) {
    test::TempDir dir;
    ProgramSettings s;
    s.ComPort = "/dev/ttyS1";
    s.ComSpeed = 115200;
    s.sysnum = 255;
    s.DelayTime = 60;
    s.SinhrTime = true;
    s.SinhrTimeServer = "ntp.example.org";
    s.Test = true;
    s.Log.meaning = true;
    s.SyncPeriodChoice = 3;
    saveSettings(dir / "fresh.ini", s);
    EXPECT_EQ(filledLines(dir / "fresh.ini"),
              "[Interface]\nComPort=/dev/ttyS1\nComSpeed=115200\nDelayTime=60\nsysnum=255\n"
              "SinhrTime=1\nSinhrTimeServer=ntp.example.org\nPeriod_sinhr=3\n[View]\nTest=1\n"
              "LogTime=0\nLogDirection=0\nLogMeaning=1\n");

    // The load writes DelayTime at once, so on a first run it stands first.
    const auto path = dir / "first.ini";
    saveSettings(path, loadSettings(path));
    const std::string text = filledLines(path);
    EXPECT_EQ(text.rfind("[Interface]\nDelayTime=100\nComPort=COM1\nComSpeed=9600\nsysnum=1\n"
                         "SinhrTime=0\n",
                         0),
              0u)
        << text;
}

TEST(ProgramSettings, DelayOutsideFiftyToTenThousandBecomesHundredInMemoryAndInTheFileAtOnce) {
    struct Case {
        const char* inFile;
        std::int32_t expected;
    };
    const Case cases[] = {{"30", 100},      {"49", 100},    {"-5", 100},
                          {"50", 50},       {"250", 250},   {"abc", 100},
                          {"10000", 10000}, {"10001", 100}, {"2000000000", 100}};
    for (const Case& c : cases) {
        test::TempDir dir;
        const auto path = dir / "horalux.ini";
        test::writeAll(path, std::string("[Interface]\nDelayTime=") + c.inFile + "\n");
        EXPECT_EQ(loadSettings(path).DelayTime, c.expected) << c.inFile;
        EXPECT_EQ(IniFile::load(path).readInteger("Interface", "DelayTime", -1), c.expected)
            << c.inFile;
    }
}

TEST(ProgramSettings, InvalidValuesReadAsTheirDefaults) {
    test::TempDir dir;
    const auto path = dir / "horalux.ini";
    test::writeAll(path,
                   "[interface]\ncomport=COM7\nComSpeed=0\nsysnum=300\nSinhrTime=yes\n"
                   "Period_sinhr=9\n[VIEW]\ntest=1\n");
    const ProgramSettings s = loadSettings(path);
    EXPECT_EQ(s.ComPort, "COM7");
    EXPECT_EQ(s.ComSpeed, 9600);
    EXPECT_EQ(s.sysnum, 1);
    EXPECT_FALSE(s.SinhrTime);
    EXPECT_EQ(s.SyncPeriodChoice, 4);
    EXPECT_TRUE(s.Test);

    test::writeAll(path, "[Interface]\nPeriod_sinhr=-1\nsysnum=255\nComSpeed=115200\n");
    const ProgramSettings t = loadSettings(path);
    EXPECT_EQ(t.SyncPeriodChoice, 4);
    EXPECT_EQ(t.sysnum, 255);
    EXPECT_EQ(t.ComSpeed, 115200);
}

TEST(ProgramSettings, SaveKeepsOtherContentAndNeverDestroysAFileItCannotHandle) {
    test::TempDir dir;
    const auto path = dir / "horalux.ini";
    test::writeAll(path, "; mine\n[Extra]\nkeep=yes\n[Interface]\nComPort=COM2\nOwn=1\n");
    ProgramSettings s = loadSettings(path);
    s.ComPort = "/dev/ttyUSB0";
    s.SinhrTime = true;
    s.SinhrTimeServer = "time.example.org";
    s.SyncPeriodChoice = 1;
    saveSettings(path, s);
    const std::string text = test::readAll(path);
    EXPECT_NE(text.find("; mine\n"), std::string::npos) << text;
    EXPECT_NE(text.find("keep=yes\n"), std::string::npos) << text;
    EXPECT_NE(text.find("Own=1\n"), std::string::npos) << text;
    EXPECT_EQ(loadSettings(path), s);

    std::string huge(kMaxTextFileSize + 1, ';');
    test::writeAll(dir / "huge.ini", huge);
    EXPECT_EQ(loadSettings(dir / "huge.ini"), ProgramSettings{});
    EXPECT_THROW(saveSettings(dir / "huge.ini", s), FileError);
    EXPECT_EQ(test::readAll(dir / "huge.ini"), huge);

    test::writeAll(dir / "plain", "x");
    EXPECT_THROW(saveSettings(dir / "plain" / "h.ini", s), FileError);
    EXPECT_EQ(loadSettings(dir / "plain" / "h.ini"), ProgramSettings{});  // no throw at start
}

// 50 KB of bytes of every value, lines and "=" among them, as a file damaged on disk would be.
std::string binaryFile() {
    std::string bytes(50 * 1024, '\0');
    std::uint32_t state = 12345;
    for (char& b : bytes) {
        state = state * 1103515245u + 12345u;
        b = static_cast<char>(state >> 23);
    }
    return bytes;
}

TEST(ProgramSettings, LoadAndSaveChangeOnlyTheirOwnKeysLinesInFilesOfEveryShape) {
    static constexpr char kDamaged[] = "[Interface\nComPort=CO\0M2\n[[x]\n=\n[View]\nTest=1\n";
    struct Case {
        const char* what;
        std::string text;
    };
    const Case cases[] = {
        {"spacing, comments, CRLF, a line without '=', no final line end",
         "; mine\r\n[Interface]\r\n  ComPort = COM2   \r\nOwn\r\n\r\n# other\r\n"
         "[Extra]\r\nkeep = yes"},
        {"duplicate keys", "[Interface]\nComPort=COM2\ncomport=COM3\nsysnum=4\nsysnum=5\n"},
        {"sections differing only in case",
         "[Interface]\nComPort=COM2\n[INTERFACE]\nComSpeed=115200\n[interface]\nComPort=COM3\n"
         "[view]\nTest=1\n"},
        {"byte-order mark and a key before any section",
         "\xEF\xBB\xBFstray=1\n[Interface]\nDelayTime=30\n"},
        {"damaged lines", std::string(kDamaged, sizeof kDamaged - 1)},
        {"50 KB of binary", binaryFile()},
    };
    const std::vector<std::string> keys = {
        "ComPort", "ComSpeed",     "sysnum",  "DelayTime",    "SinhrTime", "SinhrTimeServer",
        "Test",    "Period_sinhr", "LogTime", "LogDirection", "LogMeaning"};
    ProgramSettings s;
    s.ComPort = "/dev/ttyUSB1";
    s.ComSpeed = 115200;
    s.sysnum = 7;
    s.DelayTime = 250;
    s.SinhrTime = true;
    s.SinhrTimeServer = "ntp.example.org";
    s.SyncPeriodChoice = 2;
    s.Test = true;
    s.Log.time = true;
    s.Log.direction = true;
    for (const Case& c : cases) {
        test::TempDir dir;
        const auto path = dir / "horalux.ini";
        test::writeAll(path, c.text);
        (void)loadSettings(path);  // writes DelayTime back at every start
        EXPECT_TRUE(test::keptAllButKeys(c.text, test::readAll(path), keys)) << c.what;
        saveSettings(path, s);
        EXPECT_TRUE(test::keptAllButKeys(c.text, test::readAll(path), keys)) << c.what;
        EXPECT_EQ(loadSettings(path), s) << c.what;
    }
}

}  // namespace
}  // namespace horalux::settings

namespace horalux::settings {
namespace {

TEST(ProgramSettings, RememberedNetworkPortsRoundTripAndAreWrittenOnlyOnceThereAreAny) {
    test::TempDir dir;
    const auto path = dir / "horalux.ini";
    ProgramSettings s = loadSettings(path);
    saveSettings(path, s);
    EXPECT_FALSE(IniFile::load(path).value("Interface", "NetworkPorts").has_value());

    s.ComPort = "rfc2217://[fd00::7]:4001";
    s.NetworkPorts = {"rfc2217://[fd00::7]:4001", "tcp://board.local:4002"};
    saveSettings(path, s);
    EXPECT_EQ(IniFile::load(path).value("Interface", "NetworkPorts"),
              "rfc2217://[fd00::7]:4001;tcp://board.local:4002");
    EXPECT_EQ(loadSettings(path), s);

    s.NetworkPorts.clear();  // an emptied list is written as such, not left as it was
    saveSettings(path, s);
    EXPECT_TRUE(loadSettings(path).NetworkPorts.empty());
}

TEST(ProgramSettings, TlsFilesAndPinWrittenByHandAreReadAndKeptButNeverAddedUnset) {
    test::TempDir dir;
    const auto path = dir / "horalux.ini";
    saveSettings(path, loadSettings(path));
    for (const char* key : {"TlsCaFile", "TlsPin", "TlsCertFile", "TlsKeyFile"}) {
        EXPECT_FALSE(IniFile::load(path).value("Interface", key).has_value()) << key;
    }
    IniFile byHand = IniFile::load(path);
    byHand.writeString("Interface", "TlsCaFile", "/etc/horalux/ca.pem");
    byHand.writeString("Interface", "TlsPin", "SHA256:ab");
    byHand.writeString("Interface", "TlsCertFile", "/etc/horalux/me.pem");
    byHand.writeString("Interface", "TlsKeyFile", "/etc/horalux/me.key");
    byHand.save(path);
    ProgramSettings s = loadSettings(path);
    EXPECT_EQ(s.TlsCaFile, "/etc/horalux/ca.pem");
    EXPECT_EQ(s.TlsPin, "SHA256:ab");
    EXPECT_EQ(s.TlsCertFile, "/etc/horalux/me.pem");
    EXPECT_EQ(s.TlsKeyFile, "/etc/horalux/me.key");
    s.ComSpeed = 115200;
    saveSettings(path, s);
    EXPECT_EQ(loadSettings(path), s);
}

TEST(ProgramSettings, LastScansPerPortRoundTripSkipDamagedBoardsAndAreWrittenOnlyOnceThereAreAny) {
    test::TempDir dir;
    const auto path = dir / "horalux.ini";
    ProgramSettings s = loadSettings(path);
    saveSettings(path, s);
    EXPECT_FALSE(IniFile::load(path).hasSection("LineBoards"));

    s.LineScans = {{"/dev/ttyUSB0",
                    {{3, 9600, ScannedBoard::Master, 2}, {77, 115200, ScannedBoard::Slave, -41}}},
                   {"tcp://10.0.0.5:4002", {{200, 9600, ScannedBoard::Unknown, std::nullopt}}},
                   {"/dev/ttyS1", {}}};
    saveSettings(path, s);
    EXPECT_EQ(IniFile::load(path).value("LineBoards", "Boards1"), "3:9600:M:+2;77:115200:S:-41");
    EXPECT_EQ(loadSettings(path), s);

    // Hand-edited: an address out of range, a missing field and words are passed over.
    std::ofstream(path)
        << "[LineBoards]\nPorts=COM3\nBoards1=0:9600:M:;5:9600:S;x:y:z:;9:9600:S:\n";
    const ProgramSettings edited = loadSettings(path);
    ASSERT_EQ(edited.LineScans.size(), 1U);
    EXPECT_EQ(edited.LineScans[0].boards,
              (std::vector<ScannedBoard>{{9, 9600, ScannedBoard::Slave, std::nullopt}}));
}

TEST(ProgramSettings, AnyCharacterAPortNameMayHoldSurvivesTheListsAndNoSpareScanIsWritten) {
    test::TempDir dir;
    const auto path = dir / "horalux.ini";
    struct Case {
        std::string port;
        std::string stored;  // as the list holds it
    };
    const Case cases[] = {
        {"x;y", "x%3By"},
        {"100%", "100%25"},
        {"tty\nUSB0\r", "tty%0AUSB0%0D"},
        {" /dev/my port ", "%20/dev/my port%20"},
        {R"(\\.\COM10)", R"(\\.\COM10)"},
        {"/dev/порт", "/dev/порт"},
        {"%3B", "%253B"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.stored);
        std::filesystem::remove(path);
        ProgramSettings s = loadSettings(path);
        s.LineScans = {{c.port, {{3, 9600, ScannedBoard::Master, 2}}}};
        s.NetworkPorts = {c.port, "tcp://h:1"};
        saveSettings(path, s);
        const IniFile file = IniFile::load(path);
        EXPECT_EQ(file.value("LineBoards", "Ports"), c.stored);
        EXPECT_EQ(file.value("Interface", "NetworkPorts"), c.stored + ";tcp://h:1");
        EXPECT_FALSE(file.value("LineBoards", "Boards2"));
        const ProgramSettings back = loadSettings(path);
        EXPECT_EQ(back.LineScans, s.LineScans);
        EXPECT_EQ(back.NetworkPorts, s.NetworkPorts);
        saveSettings(path, back);
        EXPECT_FALSE(IniFile::load(path).value("LineBoards", "Boards2"));
    }
    // Lists written before names were escaped read as they did.
    std::ofstream(path) << "[Interface]\nNetworkPorts=tcp://a:1;rfc2217://b:2\n"
                        << "[LineBoards]\nPorts=COM3;/dev/my port\nBoards1=9:9600:S:\n";
    const ProgramSettings old = loadSettings(path);
    EXPECT_EQ(old.NetworkPorts, (std::vector<std::string>{"tcp://a:1", "rfc2217://b:2"}));
    ASSERT_EQ(old.LineScans.size(), 2U);
    EXPECT_EQ(old.LineScans[1].port, "/dev/my port");
}

TEST(ProgramSettings, TheLineScansStayBoundedTheOldestGoingFirstAndTheirKeysWithThem) {
    test::TempDir dir;
    const auto path = dir / "horalux.ini";
    ProgramSettings s = loadSettings(path);
    // Every port scanned full: 254 boards with long clock differences.
    for (int port = 0; port < 200; ++port) {
        LineScan scan{"/dev/ttyUSB" + std::to_string(port), {}};
        for (int a = 1; a <= 254; ++a) {
            scan.boards.push_back(
                {static_cast<std::uint8_t>(a), 115200, ScannedBoard::Slave, -1234567890LL});
        }
        s.LineScans.push_back(std::move(scan));
    }
    saveSettings(path, s);
    EXPECT_LT(std::filesystem::file_size(path), kMaxLineScanBytes + 4096);
    const ProgramSettings back = loadSettings(path);
    ASSERT_FALSE(back.LineScans.empty());
    EXPECT_LT(back.LineScans.size(), s.LineScans.size());
    EXPECT_EQ(back.LineScans.back(), s.LineScans.back()) << "the newest kept";
    EXPECT_EQ(back.LineScans.front(), s.LineScans[s.LineScans.size() - back.LineScans.size()]);

    // Fewer ports: the keys of those gone are gone too.
    s.LineScans.resize(1);
    saveSettings(path, s);
    EXPECT_EQ(loadSettings(path).LineScans, s.LineScans);
    EXPECT_EQ(IniFile::load(path).value("LineBoards", "Boards2"), std::nullopt);
    EXPECT_LT(std::filesystem::file_size(path), 8192U);

    // Many ports with no boards are bounded in number.
    s.LineScans.assign(500, LineScan{"COM1", {}});
    EXPECT_EQ(boundedLineScans(s.LineScans).size(), kMaxLineScans);
}

TEST(ProgramSettings, AFileTooLargeToReadGivesTheDefaultsSaysWhyAndIsLeftAlone) {
    test::TempDir dir;
    const auto path = dir / "horalux.ini";
    const std::string text = "[Interface]\nComPort=ttyUSB7\n[LineBoards]\nBoards1=" +
                             std::string(kMaxTextFileSize, '1') + "\n";
    std::ofstream(path, std::ios::binary) << text;
    std::string unread;
    const ProgramSettings s = loadSettings(path, &unread);
    EXPECT_EQ(s.ComPort, ProgramSettings{}.ComPort);
    EXPECT_EQ(unread, "Cannot read file \"" + path.string() + "\": larger than 1048576 bytes");
    EXPECT_EQ(test::readAll(path), text);

    std::string none = "untouched";
    loadSettings(dir / "missing.ini", &none);
    EXPECT_EQ(none, "untouched");
}

}  // namespace
}  // namespace horalux::settings
