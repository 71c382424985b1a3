#include "link/wire/PortList.h"

#include <gtest/gtest.h>

namespace horalux::link {
namespace {

std::vector<std::string> labels(const PortList& list) {
    std::vector<std::string> out;
    for (const auto& e : list.entries) {
        out.push_back(e.label);
    }
    return out;
}

TEST(FillPortList, LabelsByPortAndValueNameFromItsNinthCharacter) {
    std::string comPort = "COM2";
    const PortList list =
        FillPortList({{"\\Device\\Serial0", "COM1"}, {"\\Device\\VCP0", "COM2"}}, comPort, false);
    EXPECT_EQ(labels(list), (std::vector<std::string>{"COM1 (Serial0)", "COM2 (VCP0)"}));
    EXPECT_EQ(list.selected, 1);
    EXPECT_EQ(comPort, "COM2");
}

TEST(FillPortList, CutsTheShownValueNameTo50Characters) {
    std::string comPort;
    const PortList list =
        FillPortList({{"\\Device\\" + std::string(60, 'x'), "ttyUSB0"}}, comPort, false);
    EXPECT_EQ(list.entries[0].label, "ttyUSB0 (" + std::string(50, 'x') + ")");
    EXPECT_EQ(portValueName("FT232R USB UART"), "\\Device\\FT232R USB UART");
}

TEST(FillPortList, CollapsesOnlyConsecutiveEntriesOfOnePortIntoTheLaterOne) {
    std::string comPort = "COM4";
    const PortList consecutive =
        FillPortList({{"\\Device\\A", "COM4"}, {"\\Device\\B", "COM4"}}, comPort, false);
    EXPECT_EQ(labels(consecutive), std::vector<std::string>{"COM4 (B)"});

    const PortList apart =
        FillPortList({{"\\Device\\A", "COM4"}, {"\\Device\\C", "COM5"}, {"\\Device\\B", "COM4"}},
                     comPort, false);
    EXPECT_EQ(labels(apart), (std::vector<std::string>{"COM4 (A)", "COM5 (C)", "COM4 (B)"}));
    EXPECT_EQ(apart.selected, 2);  // the last entry of the configured port
}

TEST(FillPortList, UnknownConfiguredPortSelectsTheFirstEntryAndAdoptsIt) {
    std::string comPort = "COM9";
    const PortList list = FillPortList(
        {{"\\Device\\Serial0", "COM1"}, {"\\Device\\Serial1", "COM3"}}, comPort, false);
    EXPECT_EQ(list.selected, 0);
    EXPECT_EQ(comPort, "COM1");
}

TEST(FillPortList, NoPortsLeaveTheListEmptyAndTheSettingAlone) {
    std::string comPort = "ttyS0";
    const PortList list = FillPortList({}, comPort, false);
    EXPECT_TRUE(list.entries.empty());
    EXPECT_EQ(list.selected, -1);
    EXPECT_EQ(comPort, "ttyS0");
}

TEST(FillPortList, AddsAnExistingConfiguredDeviceTheSystemDoesNotList) {
    std::string comPort = "/tmp/board";
    const PortList list = FillPortList({{"\\Device\\Serial0", "ttyS0"}}, comPort, true);
    ASSERT_EQ(list.entries.size(), 2U);
    EXPECT_EQ(list.entries[1].name, "/tmp/board");
    EXPECT_EQ(list.selected, 1);
    EXPECT_EQ(comPort, "/tmp/board");
}

TEST(FillPortList, KeepsAtMost256Entries) {
    std::vector<PortValue> values;
    for (int i = 0; i < 300; ++i) {
        values.push_back({"\\Device\\S" + std::to_string(i), "tty" + std::to_string(i)});
    }
    std::string comPort = "tty299";
    const PortList list = FillPortList(values, comPort, true);
    EXPECT_EQ(list.entries.size(), kMaxPortListEntries);
    EXPECT_EQ(list.selected, 0);
    EXPECT_EQ(comPort, "tty0");
}

}  // namespace
}  // namespace horalux::link

namespace horalux::link {
namespace {

TEST(RememberNetworkPort, KeepsNetworkPortsNewestFirstOnceEachAndAtMostSixteen) {
    std::vector<std::string> remembered{"tcp://a:1", "rfc2217://b:2"};
    RememberNetworkPort(remembered, "rfc2217://b:2");
    RememberNetworkPort(remembered, "ttyUSB0");  // a local port is listed by the system
    EXPECT_EQ(remembered, (std::vector<std::string>{"rfc2217://b:2", "tcp://a:1"}));
    for (int i = 0; i < 20; ++i) {
        RememberNetworkPort(remembered, "tcp://host:" + std::to_string(1000 + i));
    }
    ASSERT_EQ(remembered.size(), kMaxRememberedNetworkPorts);
    EXPECT_EQ(remembered.front(), "tcp://host:1019");
    EXPECT_EQ(remembered.back(), "tcp://host:1004");
}

TEST(ListPorts, OffersRememberedNetworkPortsAfterTheOthersAndSelectsTheConfiguredOne) {
    std::string comPort = "rfc2217://b:2";
    const PortList list = ListPorts(comPort, {"tcp://a:1", "rfc2217://b:2", "ttyS7"});
    ASSERT_GE(list.entries.size(), 2U);
    const std::size_t n = list.entries.size();
    EXPECT_EQ(list.entries[n - 2].name, "rfc2217://b:2");
    EXPECT_EQ(list.entries[n - 1].name, "tcp://a:1");
    EXPECT_EQ(list.selected, static_cast<int>(n - 2));
    EXPECT_EQ(comPort, "rfc2217://b:2");
    for (const PortListEntry& entry : list.entries) {
        EXPECT_NE(entry.name, "ttyS7");
    }
}

TEST(ListPorts, RemembersTlsPortsAsNetworkPortsAndShowsThemBehindALock) {
    std::vector<std::string> remembered;
    RememberNetworkPort(remembered, "tcp+tls://a:1");
    RememberNetworkPort(remembered, "RFC2217+TLS://[fd00::7]:2");
    RememberNetworkPort(remembered, "tcp://c:3");
    ASSERT_EQ(remembered.size(), 3U);
    std::string comPort = "tcp://c:3";
    const PortList list = ListPorts(comPort, remembered);
    ASSERT_GE(list.entries.size(), 3U);
    const std::size_t n = list.entries.size();
    const std::string_view lock = "\xF0\x9F\x94\x92 ";
    EXPECT_EQ(list.entries[n - 3].label, "tcp://c:3");
    EXPECT_EQ(list.entries[n - 3].mark, "");
    EXPECT_EQ(list.entries[n - 2].label, "RFC2217+TLS://[fd00::7]:2");
    EXPECT_EQ(list.entries[n - 2].name, "RFC2217+TLS://[fd00::7]:2");
    EXPECT_EQ(list.entries[n - 2].mark, lock);
    EXPECT_EQ(list.entries[n - 1].label, "tcp+tls://a:1");
    EXPECT_EQ(list.entries[n - 1].mark, lock);
}

}  // namespace
}  // namespace horalux::link
