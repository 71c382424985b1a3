#include "platform/SerialPortList.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace horalux::platform {
namespace {

namespace fs = std::filesystem;

class FakeSysfs : public ::testing::Test {
  protected:
    void SetUp() override {
        root_ = fs::temp_directory_path() / ("horalux-sysfs-" + std::to_string(::getpid()));
        fs::remove_all(root_);
        fs::create_directories(root_ / "devices");
        fs::create_directories(root_ / "tty");
    }
    void TearDown() override { fs::remove_all(root_); }

    void write(const fs::path& file, const std::string& text) {
        fs::create_directories(file.parent_path());
        std::ofstream(file) << text << "\n";
    }
    void addTty(const std::string& name, const std::string& deviceDir) {
        fs::create_directories(root_ / "tty" / name);
        if (!deviceDir.empty()) {
            fs::create_directories(root_ / "devices" / deviceDir);
            fs::create_directory_symlink(root_ / "devices" / deviceDir,
                                         root_ / "tty" / name / "device");
        }
    }
    fs::path root_;
};

TEST_F(FakeSysfs, ListsDevicesWithTheirNamesAndSkipsVirtualOnesAndEmptyUartSlots) {
    addTty("tty1", "");          // a virtual terminal: no device
    addTty("ttyS1", "serial1");  // a UART slot without hardware
    write(root_ / "tty" / "ttyS1" / "type", "0");
    addTty("ttyS0", "serial0");
    write(root_ / "tty" / "ttyS0" / "type", "4");
    fs::create_directories(root_ / "drivers" / "serial8250");
    fs::create_directory_symlink(root_ / "drivers" / "serial8250",
                                 root_ / "devices" / "serial0" / "driver");
    addTty("ttyUSB0", "usb1/1-1/1-1:1.0/ttyUSB0");
    write(root_ / "devices" / "usb1" / "1-1" / "product", "FT232R USB UART");

    const auto ports = listSystemSerialPorts((root_ / "tty").string());
    ASSERT_EQ(ports.size(), 2U);
    EXPECT_EQ(ports[0].name, "ttyS0");
    EXPECT_EQ(ports[0].description, "serial8250");
    EXPECT_EQ(ports[1].name, "ttyUSB0");
    EXPECT_EQ(ports[1].description, "FT232R USB UART");
}

TEST_F(FakeSysfs, AMissingDirectoryGivesNoPorts) {
    EXPECT_TRUE(listSystemSerialPorts((root_ / "nowhere").string()).empty());
}

}  // namespace
}  // namespace horalux::platform
