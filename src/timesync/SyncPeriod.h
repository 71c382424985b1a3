#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>

#include "settings/ProgramSettings.h"

namespace horalux::timesync {

// The position of a period menu item: 0 is the submenu "Частота синхронизации" (`N14`, no
// periodic write), 1..4 are "Минута", "Час", "3 часа", "Сутки" (`N15`..`N18`).
enum class SyncPeriodChoice : std::uint8_t {
    None = 0,
    Minute = 1,
    Hour = 2,
    ThreeHours = 3,
    Day = 4
};

// Period in seconds for each choice, by position.
inline constexpr std::array<std::uint32_t, settings::kPeriodChoiceCount> kSyncPeriodSeconds = {
    0, 60, 3600, 10800, 86400};

// The period timer; the window wires it to its own timer.
class PeriodTimer {
  public:
    virtual ~PeriodTimer() = default;
    // (Re)starts the timer: the first tick comes one interval from now.
    virtual void start(std::uint32_t intervalMs) = 0;
    virtual void stop() = 0;
};

// The one owner of the period choice: the items' check marks, the period they select, the period
// timer and the writes of the board clock that the timer and "Синхронизация времени" trigger.
// The choice in force follows the check marks (None when no period item is checked); the value
// to save is the settings' SyncPeriodChoice: the checked item (the submenu item counting as 0),
// or the value loaded from the file while no item is checked.
class SyncPeriod {
  public:
    // `writeBoardClock` queues one board clock write from the PC clock.
    SyncPeriod(PeriodTimer& timer, settings::ProgramSettings& settings,
               std::function<void()> writeBoardClock);

    // Puts the check mark on the item the loaded settings name; the timer stays stopped.
    void load();
    // A click on one of the four period items (1..4): toggles it, unchecks the others and
    // restarts the timer at the new period (or stops it when none is left checked).
    void choosePeriod(SyncPeriodChoice item);
    // Applies the choice in force (after connecting to a single board) without toggling.
    void applyRememberedChoice();
    // "Синхронизация времени": restarts a running period and writes the board clock once.
    void synchronizeNow();
    // The period timer fired.
    void onTimerTick();

    bool isChecked(SyncPeriodChoice item) const;
    // The choice in force: the last checked period item; None when none of the four is.
    SyncPeriodChoice syncPeriodChoice() const;
    std::uint32_t syncPeriodSeconds() const { return syncPeriodSeconds_; }

  private:
    void applyFrom(std::size_t item);
    void keepForSaving();

    PeriodTimer& timer_;
    settings::ProgramSettings& settings_;
    std::function<void()> writeBoardClock_;
    std::array<bool, settings::kPeriodChoiceCount> checked_{};
    int loaded_ =
        settings::kDefaultPeriodChoice;  // what the file held, saved while none is checked
    std::uint32_t syncPeriodSeconds_ = 0;
};

}  // namespace horalux::timesync
