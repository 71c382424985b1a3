#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "config/RegisterImage.h"
#include "config/WritePlan.h"
#include "link/exchange/BoardState.h"
#include "link/session/BoardOperations.h"

// What is done to one board of a line, on a session whose current address is that board: the
// window of the line's boards and the companion's per-board commands both run these steps. The
// owner hands in its way of waiting for the queued requests (true when all of them completed).
namespace horalux::link::boardset {

using WaitForRing = std::function<bool()>;

// "board-077.cs": the register file of a board in a folder of them.
std::string boardFileName(std::uint8_t address);

// Reads every register of the read list; what the board holds is then its BoardCopy.
bool readAll(BoardOperations& ops, const WaitForRing& wait);

// Saves what the board holds to `folder`/board-NNN.cs as a new file, replacing whatever is
// there as one step (a link there is replaced, not written through); throws
// settings::FileError naming the file.
std::filesystem::path saveBoardFile(const std::filesystem::path& folder, std::uint8_t address,
                                    const config::RegisterImage& image);

// The write of a register file to the board just read: its EditCopy becomes the file, with the
// board's own mode flags and, unless `setAddress`, its own address.
struct FileWrite {
    std::vector<config::RegisterWrite> plan;
    std::optional<std::uint8_t> newAddress;  // when the file moves the board
};
FileWrite prepareFileWrite(BoardState& board, const config::RegisterImage& file, bool setAddress);

// A written register that does not read back as written.
struct ReadBackMismatch {
    std::uint8_t number = 0;
    std::uint8_t written = 0;
    std::uint8_t read = 0;
};
// Reads every written register again; nullopt when the reads did not complete. A board may
// acknowledge a write it did not keep (a value out of its range, a register it lacks).
std::optional<std::vector<ReadBackMismatch>> readBack(
    BoardOperations& ops, BoardState& board, const std::vector<config::RegisterWrite>& plan,
    const WaitForRing& wait);

}  // namespace horalux::link::boardset
