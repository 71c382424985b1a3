#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "config/RegisterImage.h"
#include "platform/SystemClock.h"

namespace horalux::link {

inline constexpr std::size_t kMainFieldEntries = 18;
inline constexpr std::size_t kSensorFieldEntries = 16;
inline constexpr std::size_t kUserFieldEntries = 64;
inline constexpr std::size_t kMaxUserFields = 32;

// What a board's status frame measured, as numbers whatever style the board shows them in;
// nothing until a status frame came, or when the frame said "no reading".
struct Readings {
    // Hundredths of a degree: 21.50 °C is 2150.
    std::array<std::optional<int>, 3> temperatureHundredths;
    std::optional<int> pressureMmHg;
    std::optional<int> humidityPercent;
    std::optional<int> radiationThousandths;  // 0.013 is 13
};

// What one board last told us, with the two register images. Texts are UTF-8.
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
    Readings Measured;
    bool SentStatus = false;  // a status frame came from this board: it is a time master
};

// The main-field text the board shows now; empty when the board names an entry past the table.
std::string_view currentMainText(const BoardData& data);

// The time the board's clock keeps, the local time it was written: the clock reply less the
// time zone's shift the decoder adds for show. Nothing when no valid clock reply came.
std::optional<platform::LocalDateTime> boardOwnClock(const BoardData& data);

// The decoded state of every board of a line, one entry per address heard or asked, shared by
// the exchange thread (which writes the entry of the board a frame came from) and the main
// thread (which shows an entry, edits user texts and EditCopy, reads BoardCopy). One lock guards
// all of it. Never hold the lock across a call to the other thread.
class BoardState {
  public:
    // Holds the lock for as long as it lives.
    class Access {
      public:
        BoardData* operator->() const { return data_; }
        BoardData& operator*() const { return *data_; }

      private:
        friend class BoardState;
        Access(std::unique_lock<std::mutex> lock, BoardData& data)
            : lock_(std::move(lock)), data_(&data) {}
        std::unique_lock<std::mutex> lock_;
        BoardData* data_;
    };

    // The entry of `address`, empty until something of that board is known.
    Access lock(std::uint8_t address);
    // The entry of the board the requests go to; with every board addressed (255), the entry of
    // the board heard last.
    Access lock();
    // The entry whose status frames the line carries while a master is heard (a slave's window
    // shows the master's time), otherwise lock()'s.
    Access lineStatus();
    // Copies taken under the lock.
    BoardData snapshot() const;
    BoardData snapshot(std::uint8_t address) const;

    // The board the requests go to (the operations keep it in step with the current address).
    void setCurrent(std::uint8_t address) { current_.store(address); }
    std::uint8_t current() const { return current_.load(); }
    // Whether what `address` sent concerns the board the requests go to.
    bool isCurrent(std::uint8_t address) const;
    // Forgets everything known of `address`.
    void forget(std::uint8_t address);
    // The addresses with an entry, in order.
    std::vector<std::uint8_t> known() const;

    // Set when a status frame arrives; cleared by the exchange thread's idle rule and by the
    // main side's mode switch.
    std::atomic<bool> StatusFrameSeen{false};

    // Exchange thread, under the lock's Access: the entry a frame from `address` goes to.
    Access received(std::uint8_t address, bool statusFrame);

  private:
    static constexpr int kNoBoard = -1;

    BoardData& entry(std::uint8_t address) { return boards_[address]; }
    // The address lock() gives; the caller holds the lock.
    std::uint8_t viewedAddress() const;

    mutable std::mutex mutex_;
    std::map<std::uint8_t, BoardData> boards_;
    std::atomic<std::uint8_t> current_{255};
    int lastHeard_ = kNoBoard;
    int statusSender_ = kNoBoard;
};

}  // namespace horalux::link
