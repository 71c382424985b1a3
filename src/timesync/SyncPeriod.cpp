#include "timesync/SyncPeriod.h"

#include <utility>

namespace horalux::timesync {
namespace {

constexpr std::size_t kItems = settings::kPeriodChoiceCount;

std::size_t indexOf(SyncPeriodChoice choice) {
    return static_cast<std::size_t>(choice);
}

}  // namespace

SyncPeriod::SyncPeriod(PeriodTimer& timer, settings::ProgramSettings& settings,
                       std::function<void()> writeBoardClock)
    : timer_(timer), settings_(settings), writeBoardClock_(std::move(writeBoardClock)) {
    load();
}

void SyncPeriod::load() {
    int stored = settings_.SyncPeriodChoice;
    if (stored < 0 || stored >= settings::kPeriodChoiceCount) {
        // A value that names no item; the settings loader never gives one, a caller might.
        stored = settings::kDefaultPeriodChoice;
    }
    loaded_ = stored;
    checked_ = {};
    checked_[static_cast<std::size_t>(stored)] = true;
    keepForSaving();
}

void SyncPeriod::choosePeriod(SyncPeriodChoice item) {
    const std::size_t index = indexOf(item);
    if (index == 0 || index >= kItems) {
        return;  // only the four period items are choices; the submenu opens the list
    }
    checked_[index] = !checked_[index];
    applyFrom(index);
}

void SyncPeriod::applyRememberedChoice() {
    applyFrom(indexOf(syncPeriodChoice()));
}

void SyncPeriod::applyFrom(std::size_t item) {
    for (std::size_t i = 0; i < kItems; ++i) {
        if (i != item) {
            checked_[i] = false;
        }
    }
    syncPeriodSeconds_ = 0;
    timer_.stop();
    if (item != 0 && checked_[item]) {
        syncPeriodSeconds_ = kSyncPeriodSeconds[item];
    }
    keepForSaving();
    if (syncPeriodSeconds_ > 0) {
        timer_.start(syncPeriodSeconds_ * 1000U);
    }
}

void SyncPeriod::keepForSaving() {
    // The checked item; with none checked the file keeps what it held.
    for (std::size_t i = kItems; i-- > 0;) {
        if (checked_[i]) {
            settings_.SyncPeriodChoice = static_cast<int>(i);
            return;
        }
    }
    settings_.SyncPeriodChoice = loaded_;
}

void SyncPeriod::synchronizeNow() {
    if (syncPeriodSeconds_ > 0) {
        timer_.stop();
        timer_.start(syncPeriodSeconds_ * 1000U);
    }
    writeBoardClock_();
}

void SyncPeriod::onTimerTick() {
    writeBoardClock_();
}

bool SyncPeriod::isChecked(SyncPeriodChoice item) const {
    const std::size_t index = indexOf(item);
    return index < kItems && checked_[index];
}

SyncPeriodChoice SyncPeriod::syncPeriodChoice() const {
    for (std::size_t i = kItems; i-- > 1;) {
        if (checked_[i]) {
            return static_cast<SyncPeriodChoice>(i);
        }
    }
    return SyncPeriodChoice::None;
}

}  // namespace horalux::timesync
