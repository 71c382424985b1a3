#pragma once

#include <string>

#include "config/RegisterImage.h"
#include "config/SettingsModel.h"

namespace horalux::config {

// The outcome of encoding: empty error when every field was encoded.
struct EncodeResult {
    std::string error;
    std::string list;  // the control name of the list that stopped it, for the window to show
    bool ok() const { return error.empty(); }
};

// Encodes every setting of the window into `editCopy`. A list without a chosen item stops the
// encoding with a message to show: a text-valued list (trigger levels, daily correction) with
// the conversion error "'<text>' is not a valid integer value", any other with a message naming
// the setting. `editCopy` changes only when every field encoded.
EncodeResult MakeRegistrs(const SettingsModel& model, RegisterImage& editCopy);

// Shows an image in the window: positions, check boxes, times and pickers' enabled state.
// Values that have no item leave the list without a chosen item or on its fallback item; they
// never fail. Stand_fields shows the board's image after a read, Stand_fields_tmp the edited
// image after a register file was loaded (the window repaints after Stand_fields).
void Stand_fields(const RegisterImage& boardCopy, SettingsModel& model);
void Stand_fields_tmp(const RegisterImage& editCopy, SettingsModel& model);

}  // namespace horalux::config
