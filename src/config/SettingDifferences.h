#pragma once

#include <string>
#include <vector>

#include "config/RegisterImage.h"

namespace horalux::config {

// One setting that differs between a board and a register file, as the remote settings window
// shows the two: the label of its control and the value it would show for each.
struct SettingDifference {
    std::string label;
    std::string onBoard;
    std::string inFile;

    friend bool operator==(const SettingDifference&, const SettingDifference&) = default;
};

// The registers compareImages finds differing, told in the remote settings window's words: each
// by its control's label with the value shown there ("не выбрано" for a list left without a
// choice, "выключено" for a time whose box is unchecked). A register of check boxes gives one
// line per box that differs. Two values the window shows alike get the registers' own values
// after them, so that no difference reads as none. `decimalSeparator` is the user's, as the
// time-zone list shows it.
std::vector<SettingDifference> settingDifferences(const RegisterImage& board,
                                                  const RegisterImage& file,
                                                  char decimalSeparator = '.');

}  // namespace horalux::config
