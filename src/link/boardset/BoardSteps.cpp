#include "link/boardset/BoardSteps.h"

#include <cstdio>

#include "config/RegisterFile.h"
#include "link/wire/Commands.h"

namespace horalux::link::boardset {

std::string boardFileName(std::uint8_t address) {
    char name[32];
    std::snprintf(name, sizeof name, "board-%03u.cs", unsigned{address});
    return name;
}

bool readAll(BoardOperations& ops, const WaitForRing& wait) {
    ops.ReadAllRegisters();
    return wait();
}

std::filesystem::path saveBoardFile(const std::filesystem::path& folder, std::uint8_t address,
                                    const config::RegisterImage& image) {
    const std::filesystem::path path = folder / boardFileName(address);
    config::saveNewRegisterFile(path, image);
    return path;
}

FileWrite prepareFileWrite(BoardState& board, const config::RegisterImage& file, bool setAddress) {
    FileWrite result;
    auto data = board.lock();
    config::RegisterImage edit = file;
    // The file carries no mode flags, so the board's stay as they are.
    edit.modeFlags = data->BoardCopy.modeFlags;
    if (!setAddress) {
        edit.address = data->BoardCopy.address;
    }
    result.plan = config::makeWritePlan(edit, data->BoardCopy);
    if (config::addressDiffers(edit, data->BoardCopy)) {
        result.newAddress = edit.address;
    }
    data->EditCopy = edit;
    return result;
}

std::optional<std::vector<ReadBackMismatch>> readBack(
    BoardOperations& ops, BoardState& board, const std::vector<config::RegisterWrite>& plan,
    const WaitForRing& wait) {
    std::vector<ReadBackMismatch> mismatches;
    if (plan.empty()) {
        return mismatches;
    }
    for (const config::RegisterWrite& w : plan) {
        ops.queue(op::kReadTries, op::kReadIntervalMs, cmd::ReadRegister, w.number, 0);
    }
    if (!wait()) {
        return std::nullopt;
    }
    const config::RegisterImage image = board.lock()->BoardCopy;
    for (const config::RegisterWrite& w : plan) {
        const std::optional<std::uint8_t> now = config::readRegister(image, w.number);
        if (now && *now != w.edit) {
            mismatches.push_back({w.number, w.edit, *now});
        }
    }
    return mismatches;
}

}  // namespace horalux::link::boardset
