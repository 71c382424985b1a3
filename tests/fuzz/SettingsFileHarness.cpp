#include <cstdlib>

#include "fuzz/Harnesses.h"
#include "fuzz/ScratchFile.h"
#include "settings/ProgramSettings.h"

namespace horalux::fuzz {

void settingsFile(std::span<const std::uint8_t> bytes) {
    ScratchFile file("horalux-fuzz-settings", ".ini", bytes);
    const settings::ProgramSettings loaded = settings::loadSettings(file.path());
    // Whatever the file holds, the program must get a speed it can divide by and a pause
    // within its bounds.
    if (loaded.ComSpeed <= 0 || loaded.DelayTime < settings::kMinDelayTime ||
        loaded.DelayTime > settings::kMaxDelayTime || loaded.SyncPeriodChoice < 0 ||
        loaded.SyncPeriodChoice >= settings::kPeriodChoiceCount) {
        std::abort();
    }
}

}  // namespace horalux::fuzz
