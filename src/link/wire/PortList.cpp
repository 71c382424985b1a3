#include "link/wire/PortList.h"

#include <algorithm>

#include "platform/PortKind.h"
#include "platform/SerialPortList.h"

namespace horalux::link {
namespace {

constexpr std::size_t kValueNameSkip = 8;  // the length of "\Device\"
constexpr std::size_t kValueNameShown = 50;

// A port offered by its name: labelled by the name, with its kind's mark.
PortListEntry byName(const std::string& name) {
    return {name, name, platform::portKindOf(name).listMark};
}

std::string makeLabel(const PortValue& value) {
    std::string shown;
    if (value.valueName.size() > kValueNameSkip) {
        shown = value.valueName.substr(kValueNameSkip, kValueNameShown);
    }
    return value.portName + " (" + shown + ")";
}

}  // namespace

std::string portValueName(std::string_view description) {
    return "\\Device\\" + std::string(description);
}

PortList FillPortList(const std::vector<PortValue>& values, std::string& comPort,
                      bool comPortExists) {
    PortList list;
    for (const PortValue& value : values) {
        if (!list.entries.empty() && list.entries.back().name == value.portName) {
            list.entries.pop_back();
        } else if (list.entries.size() == kMaxPortListEntries) {
            break;
        }
        list.entries.push_back({value.portName, makeLabel(value)});
    }
    const auto matches = [&](const PortListEntry& e) { return e.name == comPort; };
    if (comPortExists && !comPort.empty() && list.entries.size() < kMaxPortListEntries &&
        std::none_of(list.entries.begin(), list.entries.end(), matches)) {
        list.entries.push_back({comPort, comPort});
    }
    for (std::size_t i = list.entries.size(); i-- > 0;) {
        if (matches(list.entries[i])) {
            list.selected = static_cast<int>(i);
            return list;
        }
    }
    if (!list.entries.empty()) {
        list.selected = 0;
        comPort = list.entries.front().name;
    }
    return list;
}

void RememberNetworkPort(std::vector<std::string>& remembered, const std::string& port) {
    if (!platform::portKindOf(port).remembered) {
        return;
    }
    std::erase(remembered, port);
    remembered.insert(remembered.begin(), port);
    if (remembered.size() > kMaxRememberedNetworkPorts) {
        remembered.resize(kMaxRememberedNetworkPorts);
    }
}

PortList ListPorts(std::string& comPort, const std::vector<std::string>& remembered) {
    std::vector<PortValue> values;
    for (const platform::SystemSerialPort& port : platform::listSystemSerialPorts()) {
        values.push_back({portValueName(port.description), port.name});
    }
    PortList list = FillPortList(values, comPort, platform::unlistedPortExists(comPort));
    for (PortListEntry& entry : list.entries) {
        if (entry.label == entry.name) {  // the configured port, listed by no enumeration
            entry = byName(entry.name);
        }
    }
    for (const std::string& port : remembered) {
        const bool listed = std::any_of(list.entries.begin(), list.entries.end(),
                                        [&](const PortListEntry& e) { return e.name == port; });
        if (!listed && list.entries.size() < kMaxPortListEntries &&
            platform::portKindOf(port).remembered) {
            list.entries.push_back(byName(port));
        }
    }
    if (list.selected < 0 && !list.entries.empty()) {
        list.selected = 0;
        comPort = list.entries.front().name;
    }
    return list;
}

std::vector<std::string_view> addressPortPrefixes() {
    std::vector<std::string_view> prefixes;
    for (const platform::PortKind* kind : platform::portKinds()) {
        if (!kind->prefix.empty()) {
            prefixes.push_back(kind->prefix);
        }
    }
    return prefixes;
}

}  // namespace horalux::link
