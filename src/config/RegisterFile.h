#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <string_view>

#include "config/RegisterImage.h"
#include "config/RegisterMap.h"
#include "settings/IniFile.h"

namespace horalux::config {

inline constexpr std::string_view kRegisterSection = "registers";
inline constexpr std::string_view kRegisterFileExtension = ".cs";

// One key of a register file: the register it holds and whether it holds a whole word (the
// register then is the word's high half). modeFlags has no key: a register set carries no
// master role.
struct RegisterKey {
    std::string_view name;
    std::uint8_t number;
    bool word;
};

// The 64 keys in the order they are written and read.
inline constexpr std::array<RegisterKey, 64> kRegisterKeys = {{
    {"p0", displayTimeRegister(0), false},
    {"p1", displayTimeRegister(1), false},
    {"p2", displayTimeRegister(2), false},
    {"p3", displayTimeRegister(3), false},
    {"p4", displayTimeRegister(4), false},
    {"p5", displayTimeRegister(5), false},
    {"p6", displayTimeRegister(6), false},
    {"p7", displayTimeRegister(7), false},
    {"p8", displayTimeRegister(8), false},
    {"s0", 76, false},
    {"s2", 55, false},
    {"s3", 67, false},
    {"s4", 57, true},
    {"s5", 59, true},
    {"s6", 61, false},
    {"s7", 62, true},
    {"s8", 64, true},
    {"s9", 66, false},
    {"sa", 68, false},
    {"sb", 69, false},
    {"sc", 56, false},
    {"sd", 78, false},
    {"se", 80, false},
    {"sf", 81, true},
    {"L0_0", 216, false},
    {"L0_1", 217, false},
    {"L0_2", 218, false},
    {"L0_3", 219, false},
    {"L0_4", 220, false},
    {"L0_5", 221, false},
    {"L0_6", 222, false},
    {"L0_7", 223, false},
    {"L00_0", 224, false},
    {"L00_1", 225, false},
    {"L00_2", 226, false},
    {"L00_3", 227, false},
    {"L00_4", 228, false},
    {"L00_5", 229, false},
    {"L00_6", 230, false},
    {"L00_7", 231, false},
    {"L00_8", 232, false},
    {"L00_9", 233, false},
    {"L00_10", 234, false},
    {"L00_11", 235, false},
    {"L00_12", 236, false},
    {"L00_13", 237, false},
    {"L00_14", 238, false},
    {"L00_15", 239, false},
    {"L00_16", 240, false},
    {"L00_17", 241, false},
    {"L00_18", 242, false},
    {"L00_19", 243, false},
    {"L00_20", 244, false},
    {"L00_21", 245, false},
    {"L00_22", 246, false},
    {"L00_23", 247, false},
    {"L00_24", 248, false},
    {"L00_25", 249, false},
    {"L00_26", 250, false},
    {"L00_27", 251, false},
    {"L00_28", 252, false},
    {"L00_29", 253, false},
    {"L00_30", 254, false},
    {"L00_31", 255, false},
}};

// The name a register file is really saved to or loaded from: the chosen name with its
// extension replaced by ".cs" (or ".cs" appended when it has none).
std::filesystem::path registerFilePath(const std::filesystem::path& chosen);

// Stores a key's value into the image: a byte key's low 8 bits, a word key's low 16 bits split
// over its two registers (high byte first).
void storeRegisterKey(RegisterImage& image, const RegisterKey& key, std::uint32_t value);

// Writes every key into the section "registers", keeping the rest of the file.
void writeRegisterKeys(settings::IniFile& file, const RegisterImage& image);
// Reads every key; a missing key or one that is not an integer gives 0, and values are cut to
// their field's low bits. modeFlags is taken from `current`.
RegisterImage readRegisterKeys(const settings::IniFile& file, const RegisterImage& current);

// Saves `image` to registerFilePath(chosen) as one step, keeping the file's other sections.
// Throws settings::FileError naming the file when it cannot be written, or when an existing
// file of that name cannot be read (so it is not replaced unseen).
void saveRegisterFile(const std::filesystem::path& chosen, const RegisterImage& image);
// Saves `image` as a new file at `path` (its name taken as it is) holding the section
// "registers" alone, replaced as one step. Whatever the name held is replaced, never written
// through: a symbolic link there is replaced by the file rather than followed. For the files
// the program names in a folder it was given (a board's backup), which a link planted there
// must not send elsewhere. Throws settings::FileError naming the file.
void saveNewRegisterFile(const std::filesystem::path& path, const RegisterImage& image);
// Loads registerFilePath(chosen); a missing file gives zeros (modeFlags kept). Throws
// settings::FileReadError naming the file and the reason when it exists but cannot be read:
// zeros taken silently from it would be written to a board later.
RegisterImage loadRegisterFile(const std::filesystem::path& chosen, const RegisterImage& current);

}  // namespace horalux::config
