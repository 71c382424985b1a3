#pragma once

#include <atomic>
#include <charconv>
#include <iosfwd>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace horalux::cli {

struct CliOptions;
class CliSession;

// The arguments after the command's name, taken one at a time.
class ArgumentReader {
  public:
    ArgumentReader(const std::vector<std::string>& args, std::size_t at) : args_(args), at_(at) {}

    bool more() const { return at_ < args_.size(); }
    const std::string& peek() const { return args_[at_]; }
    std::optional<std::string> take() {
        if (!more()) {
            return std::nullopt;
        }
        return args_[at_++];
    }

  private:
    const std::vector<std::string>& args_;
    std::size_t at_;
};

// A whole decimal number from `low` to `high`; false leaves `out` alone.
template <class T>
bool parseNumber(const std::string& text, T& out, T low, T high) {
    T value{};
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc{} || end != text.data() + text.size() || value < low || value > high) {
        return false;
    }
    out = value;
    return true;
}

// What a command's handler works with. The session on the board's line is made on first use,
// so commands that never open the line (ports, sntp) never make one.
class CommandContext {
  public:
    // With `shared`, the commands of one board after another work on that session (and its open
    // port) instead of one of their own.
    CommandContext(const CliOptions& options, std::ostream& out, std::ostream& err,
                   const std::atomic<bool>& interrupted, CliSession* shared = nullptr);
    ~CommandContext();
    CommandContext(const CommandContext&) = delete;
    CommandContext& operator=(const CommandContext&) = delete;

    CliSession& session();

    const CliOptions& options;
    std::ostream& out;
    std::ostream& err;
    const std::atomic<bool>& interrupted;
    // Set by a command that failed because the board differs from what it was compared with, not
    // because the board did not answer.
    bool differs = false;

  private:
    CliSession* shared_;
    std::unique_ptr<CliSession> session_;
};

// One command of the companion. The usage text (and the manual page made from it), the parsing
// and the running all go by these entries: a new command is one entry and its handler.
struct CliCommand {
    std::string_view name;
    std::string_view arguments;    // after the name in the usage, as in "[--out FILE]"
    std::string_view description;  // for the usage; lines separated by '\n'
    // Reads replies from the board: boards never answer the all-boards address.
    bool needsOneBoard = false;
    // Takes the command's own arguments into the options; the reason when they are wrong.
    // nullptr: the command takes none.
    std::optional<std::string> (*parse)(ArgumentReader& args, CliOptions& options) = nullptr;
    // Returns the exit status.
    int (*run)(CommandContext& context) = nullptr;
    // Runs for each board of an address list, and on several ports at once.
    bool perBoard = false;
    // Takes an address list whole, on one port, rather than board after board.
    bool wholeList = false;
};

// Every command, in the order the usage lists them.
std::span<const CliCommand> cliCommands();
// nullptr when there is no command of that name.
const CliCommand* findCliCommand(std::string_view name);

// The text of --help, with the commands from the table.
std::string usageText();
// The usage of one command: its line and what it does (COMMAND --help).
std::string commandUsageText(const CliCommand& command);
// What a usage error prints after its message: the command's usage line when it is known,
// and where the rest of the usage is, instead of the whole of it.
std::string usageHint(const CliCommand* command);

}  // namespace horalux::cli
