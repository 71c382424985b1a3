#include "timesync/SyncPeriod.h"

#include <utility>

namespace horalux::timesync {
namespace {

std::size_t indexOf(SyncPeriodChoice choice) {
    return static_cast<std::size_t>(choice);
}

}  // namespace

SyncPeriodChoice syncPeriodChoiceFromInt(int stored) {
    if (stored < 0 || stored >= static_cast<int>(kSyncPeriodItemCount)) {
        return kDefaultSyncPeriodChoice;
    }
    return static_cast<SyncPeriodChoice>(stored);
}

SyncPeriod::SyncPeriod(PeriodTimer& timer, std::function<void()> writeBoardClock)
    : timer_(timer), writeBoardClock_(std::move(writeBoardClock)) {
    checked_[indexOf(choice_)] = true;
}

void SyncPeriod::load(SyncPeriodChoice choice) {
    checked_ = {};
    checked_[indexOf(choice)] = true;
    choice_ = choice;
}

void SyncPeriod::choosePeriod(SyncPeriodChoice item) {
    const std::size_t index = indexOf(item);
    if (index == 0 || index >= kSyncPeriodItemCount) {
        return;  // only the four period items are choices; the submenu opens the list
    }
    checked_[index] = !checked_[index];
    applyFrom(index);
}

void SyncPeriod::applyRememberedChoice() {
    applyFrom(indexOf(choice_));
}

void SyncPeriod::applyFrom(std::size_t item) {
    for (std::size_t i = 0; i < kSyncPeriodItemCount; ++i) {
        if (i != item) {
            checked_[i] = false;
        }
    }
    syncPeriodSeconds_ = 0;
    timer_.stop();
    if (item != 0 && checked_[item]) {
        syncPeriodSeconds_ = kSyncPeriodSeconds[item];
    }
    choice_ = syncPeriodChoice();
    if (syncPeriodSeconds_ > 0) {
        timer_.start(syncPeriodSeconds_ * 1000U);
    }
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
    return index < kSyncPeriodItemCount && checked_[index];
}

SyncPeriodChoice SyncPeriod::syncPeriodChoice() const {
    for (std::size_t i = kSyncPeriodItemCount; i-- > 1;) {
        if (checked_[i]) {
            return static_cast<SyncPeriodChoice>(i);
        }
    }
    return SyncPeriodChoice::None;
}

std::optional<int> SyncPeriod::choiceToSave() const {
    for (std::size_t i = kSyncPeriodItemCount; i-- > 0;) {
        if (checked_[i]) {
            return static_cast<int>(i);
        }
    }
    return std::nullopt;
}

}  // namespace horalux::timesync
