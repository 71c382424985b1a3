#include "platform/SerialPortList.h"

#include <algorithm>
#include <filesystem>
#include <fstream>

namespace horalux::platform {
namespace {

namespace fs = std::filesystem;

std::string firstLine(const fs::path& file) {
    std::ifstream in(file);
    std::string line;
    std::getline(in, line);
    return line;
}

std::string describe(const fs::path& ttyDir) {
    std::error_code ec;
    // USB adapters name themselves a few levels above the tty's device.
    fs::path dir = fs::canonical(ttyDir / "device", ec);
    for (int level = 0; !ec && level < 4 && !dir.empty(); ++level, dir = dir.parent_path()) {
        for (const char* name : {"interface", "product"}) {
            const std::string text = firstLine(dir / name);
            if (!text.empty()) {
                return text;
            }
        }
    }
    return fs::read_symlink(ttyDir / "device" / "driver", ec).filename().string();
}

}  // namespace

std::vector<SystemSerialPort> listSystemSerialPorts(const std::string& sysfsTtyDir) {
    std::vector<SystemSerialPort> ports;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(sysfsTtyDir, ec)) {
        const fs::path dir = entry.path();
        if (!fs::exists(dir / "device", ec)) {
            continue;  // virtual terminals and pseudo-terminals have no device
        }
        // Legacy UART slots without hardware behind them report type 0.
        const std::string type = firstLine(dir / "type");
        if (!type.empty() && type == "0") {
            continue;
        }
        ports.push_back({dir.filename().string(), describe(dir)});
    }
    std::sort(ports.begin(), ports.end(),
              [](const auto& a, const auto& b) { return a.name < b.name; });
    return ports;
}

}  // namespace horalux::platform
