#include "PerBoardRun.h"

#include <cctype>
#include <filesystem>
#include <set>
#include <thread>
#include <vector>

#include "BoardsRun.h"
#include "platform/PortNameText.h"

namespace horalux::cli {

std::string portFolderName(std::string_view port) {
    std::string name = platform::safePortWord(port, ".");
    // "." and ".." would name a folder that already is one.
    if (name.empty() || name.find_first_not_of('.') == std::string::npos) {
        name.insert(0, "port");
    }
    return name;
}

namespace {

std::string folded(std::string_view name) {
    std::string out(name);
    for (char& ch : out) {
        ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    }
    return out;
}

}  // namespace

std::vector<std::string> portFolderNames(const std::vector<std::string>& ports) {
    std::vector<std::string> names;
    std::set<std::string> plain;
    for (const std::string& port : ports) {
        plain.insert(folded(portFolderName(port)));
    }
    // Two ports in one folder would save each board file over the other's.
    std::set<std::string> taken;
    for (const std::string& port : ports) {
        const std::string name = portFolderName(port);
        std::string chosen = name;
        for (int n = 2;
             taken.contains(folded(chosen)) || (chosen != name && plain.contains(folded(chosen)));
             ++n) {
            chosen = name + "-" + std::to_string(n);
        }
        taken.insert(folded(chosen));
        names.push_back(chosen);
    }
    return names;
}

int runPerBoard(const CliOptions& options, std::ostream& out, std::ostream& err,
                const std::atomic<bool>& interrupted) {
    const std::vector<std::string> ports =
        options.ports.empty() ? std::vector<std::string>{options.port} : options.ports;
    const bool several = ports.size() > 1;
    std::vector<CliOptions> perPort(ports.size(), options);
    const std::vector<std::string> folders = portFolderNames(ports);
    for (std::size_t i = 0; i < ports.size(); ++i) {
        perPort[i].port = ports[i];
        perPort[i].ports = {ports[i]};
        if (perPort[i].addresses.empty()) {
            perPort[i].addresses = {options.address};
        }
        if (several && !options.outDir.empty()) {
            perPort[i].outDir = (std::filesystem::path(options.outDir) / folders[i]).string();
        }
    }
    LineSink sink(out, err);
    std::vector<PortOutcome> outcomes(ports.size());
    auto runPort = [&](std::size_t i) {
        const std::string shown = several ? platform::shownPortName(ports[i]) + " " : "";
        outcomes[i] = runBoards(perPort[i], shown, sink, interrupted);
        sink.write(several ? platform::shownPortName(ports[i]) + ": " : "",
                   summaryText(outcomes[i]) + "\n", {});
    };
    if (several) {
        // Each port's session is driven from the thread that owns it.
        std::vector<std::jthread> threads;
        for (std::size_t i = 0; i < ports.size(); ++i) {
            threads.emplace_back(runPort, i);
        }
    } else {
        runPort(0);
    }
    bool badUsage = false;
    std::vector<BoardOutcome> all;
    for (const PortOutcome& o : outcomes) {
        badUsage = badUsage || o.badUsage;
        all.insert(all.end(), o.boards.begin(), o.boards.end());
    }
    if (several) {
        // The reasons were given per port; the total counts.
        sink.write({}, std::to_string(ports.size()) + " ports, " + summaryText(all, false) + "\n",
                   {});
    }
    if (badUsage) {
        return 2;
    }
    for (const BoardOutcome& b : all) {
        if (b.state != BoardOutcome::Done) {
            return 1;
        }
    }
    return 0;
}

}  // namespace horalux::cli
