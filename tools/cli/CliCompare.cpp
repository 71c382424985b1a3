// compare FILE: what a board holds beside a register file.
#include <cstddef>
#include <ostream>
#include <string>
#include <vector>

#include "CliCommands.h"
#include "CliFormat.h"
#include "CliSession.h"
#include "config/RegisterCompare.h"

namespace horalux::cli {
namespace {

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
    const std::vector<config::RegisterDifference> differences = config::compareImages(board, *file);
    for (const config::RegisterDifference& d : differences) {
        if (&d == &differences.front()) {
            c.out << "reg  field             board   file\n";
        }
        std::string line;
        column(line, std::to_string(d.number), 5);
        column(line, d.label, 18);
        column(line, d.onBoard, 8);
        line += d.inFile;
        c.out << line << "\n";
    }
    const std::size_t differing = differences.size();
    if (differing == 0) {
        c.out << "the board matches the file\n";
        return 0;
    }
    c.out << differing << " register" << (differing == 1 ? " differs" : "s differ")
          << " from the file\n";
    c.differs = true;
    return 1;
}

}  // namespace horalux::cli
