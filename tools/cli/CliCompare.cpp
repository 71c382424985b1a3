// compare FILE: what a board holds beside a register file.
#include <cstddef>
#include <ostream>
#include <string>

#include "CliCommands.h"
#include "CliFormat.h"
#include "CliSession.h"
#include "config/RegisterMap.h"

namespace horalux::cli {
namespace {

// What write-registers keeps on every board is no difference: its own address, and its mode,
// which a register file does not carry.
bool compared(const config::RegisterEntry& entry) {
    return entry.half != config::Half::Low && entry.number != config::kAddressRegister &&
           entry.number != config::kModeFlagsRegister;
}

// At least two spaces after each column, however long its text.
void column(std::string& line, const std::string& text, std::size_t width) {
    line += text;
    line.append(text.size() + 2 > width ? 2 : width - text.size(), ' ');
}

}  // namespace

int compareRegisters(CommandContext& c) {
    const std::optional<config::RegisterImage> file = readRegisterFileWhole(c);
    if (!file) {
        return 2;
    }
    CliSession& session = c.session();
    if (!connectAndReadAll(session)) {
        return 1;
    }
    const config::RegisterImage board = session.board().lock()->BoardCopy;
    std::size_t differing = 0;
    for (const std::uint8_t reg : config::kReadList) {
        const config::RegisterEntry* entry = config::findRegister(reg);
        if (entry == nullptr || !compared(*entry)) {
            continue;
        }
        const std::string onBoard = registerValueText(board, *entry);
        const std::string inFile = registerValueText(*file, *entry);
        if (onBoard != inFile) {
            if (differing == 0) {
                c.out << "reg  field             board   file\n";
            }
            std::string line;
            column(line, std::to_string(reg), 5);
            column(line, registerLabel(*entry), 18);
            column(line, onBoard, 8);
            line += inFile;
            c.out << line << "\n";
            ++differing;
        }
    }
    if (differing == 0) {
        c.out << "the board matches the file\n";
        return 0;
    }
    c.out << differing << " register" << (differing == 1 ? " differs" : "s differ")
          << " from the file\n";
    return 1;
}

}  // namespace horalux::cli
