#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "config/RegisterImage.h"

namespace horalux::config {

// A register file read strictly, for writing to a board with no window to show the values
// first: either the image or the first problem, naming the key.
struct RegisterFileCheck {
    std::optional<RegisterImage> image;
    std::string problem;
    bool unreadable = false;  // the file itself could not be read; `problem` says why
};

// Accepts only a text whose section "registers" holds each of the 64 keys once, each a whole
// number within its key's width (0..255 for a byte, 0..65535 for a word); the problem named is
// that of the first such key in the order keys are written. modeFlags is taken from `current`;
// keys the table does not know are ignored.
RegisterFileCheck checkRegisterFile(std::string_view text, const RegisterImage& current);
// The file at `path` read and checked whole, as above, with no image to take modeFlags from;
// a missing file is unreadable.
RegisterFileCheck readRegisterFileWhole(const std::filesystem::path& path);

}  // namespace horalux::config
