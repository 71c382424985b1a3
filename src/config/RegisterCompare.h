#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "config/RegisterImage.h"
#include "config/RegisterMap.h"

// Registers as a person reads them, and what two register images hold differently.
namespace horalux::config {

// A register's field, as in "alarm1" or "userScreens[3]".
std::string registerLabel(const RegisterEntry& entry);
// A register's value; a word (whose high half `entry` is) as one value: times of day as HH:MM or
// "off", the trigger levels and the daily correction with their sign.
std::string registerValueText(const RegisterImage& image, const RegisterEntry& entry);

struct RegisterDifference {
    std::uint8_t number = 0;
    std::string label;
    std::string onBoard;
    std::string inFile;
};

// The registers of the read list whose values differ between what a board holds and a register
// file, in the read list's order. A board's own address and mode are no difference: a file does
// not carry the mode, and writing a file keeps the board's address.
std::vector<RegisterDifference> compareImages(const RegisterImage& board,
                                              const RegisterImage& file);

}  // namespace horalux::config
