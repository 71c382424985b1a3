#include <windows.h>

#include <algorithm>
#include <cctype>

#include "platform/SerialPortList.h"

namespace horalux::platform {
namespace {

// COM2 before COM10: names compared with their trailing numbers as numbers.
bool portNameBefore(const std::string& a, const std::string& b) {
    auto split = [](const std::string& name) {
        std::size_t digits = name.size();
        while (digits > 0 && std::isdigit(static_cast<unsigned char>(name[digits - 1])) != 0) {
            --digits;
        }
        return std::pair{name.substr(0, digits), name.substr(digits)};
    };
    const auto [stemA, numberA] = split(a);
    const auto [stemB, numberB] = split(b);
    if (stemA != stemB) {
        return stemA < stemB;
    }
    if (numberA.size() != numberB.size()) {
        return numberA.size() < numberB.size();
    }
    return numberA < numberB;
}

}  // namespace

// The drivers enter each port they serve under this key: the value's name is the driver's
// device ("\Device\Serial0"), its data the port's name ("COM1").
std::vector<SystemSerialPort> listSystemSerialPorts(const std::string&) {
    std::vector<SystemSerialPort> ports;
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "hardware\\devicemap\\serialcomm", 0, KEY_READ, &key) !=
        ERROR_SUCCESS) {
        return ports;
    }
    for (DWORD index = 0;; ++index) {
        char valueName[256];
        DWORD nameLength = sizeof valueName;
        BYTE data[256];
        DWORD dataLength = sizeof data - 1;
        DWORD type = 0;
        const LONG status =
            RegEnumValueA(key, index, valueName, &nameLength, nullptr, &type, data, &dataLength);
        if (status == ERROR_NO_MORE_ITEMS) {
            break;
        }
        if (status != ERROR_SUCCESS || type != REG_SZ) {
            continue;
        }
        data[dataLength] = 0;
        std::string name(reinterpret_cast<const char*>(data));
        while (!name.empty() && name.back() == '\0') {
            name.pop_back();
        }
        if (name.empty()) {
            continue;
        }
        // "\Device\Serial0" is shown as "Serial0".
        std::string description(valueName, nameLength);
        constexpr std::string_view kDevicePrefix = "\\Device\\";
        if (description.starts_with(kDevicePrefix)) {
            description.erase(0, kDevicePrefix.size());
        }
        description.resize(std::min<std::size_t>(description.size(), 50));
        // One entry per port: a port entered twice keeps its later entry.
        std::erase_if(ports, [&](const SystemSerialPort& p) { return p.name == name; });
        ports.push_back({name, description});
    }
    RegCloseKey(key);
    std::sort(ports.begin(), ports.end(),
              [](const auto& a, const auto& b) { return portNameBefore(a.name, b.name); });
    return ports;
}

}  // namespace horalux::platform
