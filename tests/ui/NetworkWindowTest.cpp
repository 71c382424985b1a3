// The main window reaching the stand-in board through a device server: ser2net on the loopback
// interface, the connection dialog answered by the test.
#include <gtest/gtest.h>

#include <QComboBox>
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "WindowHarness.h"
#include "platform/PortOpener.h"
#include "support/Ser2netProcess.h"
#include "support/TestCertificates.h"

namespace horalux::test {
namespace {

const std::vector<std::string> kFastBoard = {"--speed", "115200"};
const std::string kReconnect = "box: Устройство не отвечает! Повторить подключение?";

std::string savedSettings(const std::filesystem::path& path) {
    std::ifstream in(path);
    return {std::istreambuf_iterator<char>(in), {}};
}

// The settings text of a board reached at `port` at 115200 bit/s, with `networkPorts`
// remembered.
std::string networkSettings(const std::string& port, const std::string& networkPorts = {}) {
    std::string text =
        "[Interface]\nComPort=" + port + "\nComSpeed=115200\nsysnum=1\nDelayTime=50\n";
    if (!networkPorts.empty()) {
        text += "NetworkPorts=" + networkPorts + "\n";
    }
    return text + "[View]\nTest=0\n";
}

TEST(MainWindow, ADeviceServerLostMidExchangeAsksOnceAndClosesThePort) {
    WindowHarness h({kFastBoard, {}, false});
    Ser2netProcess server(h.port(), 115200);
    h.destroyWindows();  // which saves the settings it had
    std::ofstream(h.settingsFile()) << networkSettings(server.rfc2217Name());
    h.createWindows();
    h.answerer.answers = {Answer::Connect, Answer::Cancel};
    h.form().show();
    ASSERT_TRUE(WindowHarness::waitUntil([&] { return h.boardRequests().size() >= 3; }));
    server.stop();
    ASSERT_TRUE(WindowHarness::waitUntil(
        [&] { return h.answerer.count(kReconnect) == 1 && !h.form().portOpen(); }));
    EXPECT_EQ(h.answerer.count(kReconnect), 1);
    EXPECT_EQ(h.answerer.count("dialog"), 1);
    EXPECT_TRUE(h.action("N2")->isEnabled());
}

TEST(MainWindow, AnAddressTypedInTheDialogConnectsAndIsOfferedAgainAfterTheLocalPorts) {
    WindowHarness h({kFastBoard, {}, false});
    Ser2netProcess server(h.port(), 115200);
    h.destroyWindows();  // which saves the settings it had
    std::ofstream(h.settingsFile()) << networkSettings(h.port());
    h.createWindows();
    const QString address = QString::fromStdString(server.tcpName());
    h.answerer.beforeAnswer = [&](QWidget* modal) {
        if (auto* box = modal->findChild<QComboBox*>(QStringLiteral("ComboBox1"))) {
            box->setEditText(address);
        }
    };
    h.answerer.answers = {Answer::Connect};
    h.form().show();
    ASSERT_TRUE(WindowHarness::waitUntil(
        [&] { return h.form().portOpen() && h.boardRequests().size() >= 3; }));
    h.form().close();
    const std::string saved = savedSettings(h.settingsFile());
    EXPECT_NE(saved.find("ComPort=" + server.tcpName() + "\n"), std::string::npos) << saved;
    EXPECT_NE(saved.find("NetworkPorts=" + server.tcpName() + "\n"), std::string::npos) << saved;

    // Back on the local port, the address is still offered, after it.
    std::ofstream(h.settingsFile()) << networkSettings(h.port(), server.tcpName());
    h.destroyWindows();
    h.createWindows();
    QStringList offered;
    h.answerer.beforeAnswer = [&](QWidget* modal) {
        if (auto* box = modal->findChild<QComboBox*>(QStringLiteral("ComboBox1"))) {
            for (int i = 0; i < box->count(); ++i) {
                offered << box->itemData(i).toString();
            }
        }
    };
    h.answerer.answers = {Answer::Cancel};
    h.form().show();
    ASSERT_TRUE(WindowHarness::waitUntil([&] { return h.answerer.count("dialog") == 2; }));
    ASSERT_GE(offered.size(), 2);
    EXPECT_EQ(offered.indexOf(QString::fromStdString(h.port())), offered.size() - 2);
    EXPECT_EQ(offered.back(), address);
}

TEST(MainWindow, ATlsAddressTypedInTheDialogConnectsIsRememberedAndIsListedBehindALock) {
    WindowHarness h({kFastBoard, {}, false});
    const std::filesystem::path dir = h.settingsFile().parent_path();
    const TestAuthority authority(dir, "Window CA");
    const CertFiles server =
        authority.issue("server", {.commonName = "board server", .ipAddresses = {"127.0.0.1"}});
    Ser2netProcess ser2net(h.port(), 115200, Ser2netTls{.key = server.key, .cert = server.cert});
    // The program's opener with the CA the settings file would name.
    platform::PortOpener opener;
    opener.setTlsSettings({.caFile = authority.certFile()});
    h.opener = &opener;
    h.destroyWindows();
    std::ofstream(h.settingsFile()) << networkSettings(h.port());
    h.createWindows();
    const std::string address = ser2net.tcpName();
    QStringList labels;
    std::vector<bool> locked;
    h.answerer.beforeAnswer = [&](QWidget* modal) {
        if (auto* box = modal->findChild<QComboBox*>(QStringLiteral("ComboBox1"))) {
            for (int i = 0; i < box->count(); ++i) {
                labels << box->itemText(i);
                locked.push_back(!box->itemIcon(i).isNull());
            }
            box->setEditText(QString::fromStdString(address));
        }
    };
    h.answerer.answers = {Answer::Connect};
    h.form().show();
    ASSERT_TRUE(WindowHarness::waitUntil(
        [&] { return h.form().portOpen() && h.boardRequests().size() >= 3; }));
    h.form().close();
    const std::string saved = savedSettings(h.settingsFile());
    EXPECT_NE(saved.find("NetworkPorts=" + address + "\n"), std::string::npos) << saved;

    std::ofstream(h.settingsFile()) << networkSettings(h.port(), address);
    h.destroyWindows();
    h.createWindows();
    labels.clear();
    locked.clear();
    h.answerer.answers = {Answer::Cancel};
    h.form().show();
    ASSERT_TRUE(WindowHarness::waitUntil([&] { return h.answerer.count("dialog") == 2; }));
    ASSERT_FALSE(labels.isEmpty());
    // The lock is drawn beside the name; the text, which the user may edit, is the name alone.
    EXPECT_EQ(labels.back(), QString::fromStdString(address));
    EXPECT_TRUE(locked.back());
    EXPECT_EQ(std::count(locked.begin(), locked.end(), true), 1);
}

}  // namespace
}  // namespace horalux::test
