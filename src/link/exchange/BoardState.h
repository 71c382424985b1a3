#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "config/RegisterImage.h"
#include "platform/SystemClock.h"

namespace horalux::link {

inline constexpr std::size_t kMainFieldEntries = 18;
inline constexpr std::size_t kSensorFieldEntries = 16;
inline constexpr std::size_t kUserFieldEntries = 64;
inline constexpr std::size_t kMaxUserFields = 32;

// What the boards last told us, with the two register images. Texts are UTF-8.
struct BoardData {
    // 0 time, 1 date, 2 year, 3..5 temperatures, 6 pressure, 7 humidity, 8 radiation.
    std::array<std::string, kMainFieldEntries> MainFieldTexts;
    std::uint8_t CurrentMainItem = 0;  // the entry the board shows now, as the board says
    // 1..3 temperatures, 4 pressure, 5 humidity, 6 radiation, 7 date.
    std::array<std::string, kSensorFieldEntries> SensorFieldTexts;
    std::array<std::string, kUserFieldEntries> UserFieldTexts;
    // The last status frame had "no reading" for temperature 1..3: its texts show 0, which is
    // not a measurement.
    std::array<bool, 3> TemperatureNoReading{};
    int UserFieldCount = 0;
    // The board's date and time from its last clock reply, shifted by its time zone as the
    // field texts show it; empty until one arrives.
    std::optional<platform::LocalDateTime> BoardClock;
    config::RegisterImage BoardCopy;  // what the board was last seen to hold
    config::RegisterImage EditCopy;   // what is to be written
};

// The main-field text the board shows now; empty when the board names an entry past the table.
std::string_view currentMainText(const BoardData& data);

// The time the board's clock keeps, the local time it was written: the clock reply less the
// time zone's shift the decoder adds for show. Nothing when no valid clock reply came.
std::optional<platform::LocalDateTime> boardOwnClock(const BoardData& data);

// The decoded state shared by the exchange thread (which writes it while decoding) and the main
// thread (which shows it, edits user texts and EditCopy, reads BoardCopy). One lock guards all of
// it: BoardCopy and EditCopy.signalFlags are written by the exchange thread too. Never hold the
// lock across a call to the other thread.
class BoardState {
  public:
    // Holds the lock for as long as it lives.
    class Access {
      public:
        BoardData* operator->() const { return data_; }
        BoardData& operator*() const { return *data_; }

      private:
        friend class BoardState;
        Access(std::mutex& mutex, BoardData& data) : lock_(mutex), data_(&data) {}
        std::unique_lock<std::mutex> lock_;
        BoardData* data_;
    };

    Access lock() { return Access(mutex_, data_); }
    // A copy taken under the lock.
    BoardData snapshot() const;

    // Set when a status frame arrives; cleared by the exchange thread's idle rule and by the
    // main side's mode switch.
    std::atomic<bool> StatusFrameSeen{false};

  private:
    mutable std::mutex mutex_;
    BoardData data_;
};

}  // namespace horalux::link
