#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace horalux::link {

// One port as the system lists it: the name of the entry (as in "\Device\Serial0") and the
// port name it holds (as in "COM1" or "ttyUSB0").
struct PortValue {
    std::string valueName;
    std::string portName;
};

// One port the user may choose: the name to open it by, what the list shows, and its kind's mark
// (a lock for an encrypted line), which a text list puts before the label and a window draws
// beside it, never in the text a user edits.
struct PortListEntry {
    std::string name;
    std::string label;
    std::string_view mark{};
};

struct PortList {
    std::vector<PortListEntry> entries;
    int selected = -1;  // -1: nothing selected (the list is empty)
};

inline constexpr std::size_t kMaxPortListEntries = 256;

// The entry name of a port found by enumeration, so its label reads "name (description)".
std::string portValueName(std::string_view description);

// Builds the port list: labels "port (value name from its ninth character, at most 50)",
// consecutive entries of the same port collapsed into the later one, at most 256 entries. The
// configured port is added when it exists but the system did not list it (pseudo-terminals and
// links are never enumerated). Selects the last entry of `comPort`, or else the first entry,
// whose port name then becomes `comPort`.
PortList FillPortList(const std::vector<PortValue>& values, std::string& comPort,
                      bool comPortExists);

inline constexpr std::size_t kMaxRememberedNetworkPorts = 16;

// Puts `port` first among the remembered network ports (those that connected once), when its
// kind is one the settings file remembers; the oldest beyond 16 are forgotten.
void RememberNetworkPort(std::vector<std::string>& remembered, const std::string& port);

// The ports this machine offers now, for the connection dialog and the companion: the serial
// devices the system lists and the configured port when it can be opened unlisted, through
// FillPortList; then the remembered network ports not listed yet. A port offered by its name is
// labelled by it and carries its kind's mark.
PortList ListPorts(std::string& comPort, const std::vector<std::string>& remembered = {});

// How the names of ports reached by an address begin, for every kind there is ("tcp://", …).
std::vector<std::string_view> addressPortPrefixes();

}  // namespace horalux::link
