#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>

namespace horalux::timesync {

// The position of the checked period menu item: 0 is the submenu "Частота синхронизации"
// (`N14`, no periodic write), 1..4 are "Минута", "Час", "3 часа", "Сутки" (`N15`..`N18`).
enum class SyncPeriodChoice : std::uint8_t {
    None = 0,
    Minute = 1,
    Hour = 2,
    ThreeHours = 3,
    Day = 4
};

inline constexpr std::size_t kSyncPeriodItemCount = 5;
inline constexpr SyncPeriodChoice kDefaultSyncPeriodChoice = SyncPeriodChoice::Day;

// Period in seconds for each choice, by position.
inline constexpr std::array<std::uint32_t, kSyncPeriodItemCount> kSyncPeriodSeconds = {
    0, 60, 3600, 10800, 86400};

// The choice stored in the settings file as a number; values that name no item give the
// default, so a hand-edited file cannot stop the program.
SyncPeriodChoice syncPeriodChoiceFromInt(int stored);

// The period timer; the window wires it to its own timer.
class PeriodTimer {
  public:
    virtual ~PeriodTimer() = default;
    // (Re)starts the timer: the first tick comes one interval from now.
    virtual void start(std::uint32_t intervalMs) = 0;
    virtual void stop() = 0;
};

// The period items' check marks, the period they select, the period timer and the writes of
// the board clock that the timer and "Синхронизация времени" trigger.
class SyncPeriod {
  public:
    // `writeBoardClock` queues one board clock write from the PC clock.
    SyncPeriod(PeriodTimer& timer, std::function<void()> writeBoardClock);

    // The choice loaded from the settings file: sets the check mark only, the timer stays
    // stopped.
    void load(SyncPeriodChoice choice);
    // A click on one of the four period items (1..4): toggles it, unchecks the others and
    // restarts the timer at the new period (or stops it when none is left checked).
    void choosePeriod(SyncPeriodChoice item);
    // Applies the remembered choice (after connecting to a single board) without toggling.
    void applyRememberedChoice();
    // "Синхронизация времени": restarts a running period and writes the board clock once.
    void synchronizeNow();
    // The period timer fired.
    void onTimerTick();

    bool isChecked(SyncPeriodChoice item) const;
    // The choice the check marks show: the last checked item; None when nothing is checked.
    SyncPeriodChoice syncPeriodChoice() const;
    // The value to store under "Period_sinhr": the last checked item, the submenu item itself
    // counting as 0; empty when nothing is checked, so the stored value stays as it was.
    std::optional<int> choiceToSave() const;
    std::uint32_t syncPeriodSeconds() const { return syncPeriodSeconds_; }

  private:
    void applyFrom(std::size_t item);

    PeriodTimer& timer_;
    std::function<void()> writeBoardClock_;
    std::array<bool, kSyncPeriodItemCount> checked_{};
    SyncPeriodChoice choice_ = kDefaultSyncPeriodChoice;
    std::uint32_t syncPeriodSeconds_ = 0;
};

}  // namespace horalux::timesync
