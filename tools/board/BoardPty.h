#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace horalux::board {

// The pseudo-terminal the boards serve: the controlling side for the boards, the device for
// the program. The board keeps the device side open itself, so the program can close and
// reopen it without the controlling side seeing a hang-up.
class BoardPty {
  public:
    // Throws std::runtime_error when no pseudo-terminal can be had.
    BoardPty();
    ~BoardPty();
    BoardPty(const BoardPty&) = delete;
    BoardPty& operator=(const BoardPty&) = delete;

    const std::string& devicePath() const { return path_; }
    // The controlling side, non-blocking; -1 once the line is closed.
    int controller() const { return controller_; }
    bool open() const { return controller_ >= 0; }

    // Makes `linkPath` a symlink to the device; a stale symlink there is replaced, anything
    // else is left alone. Throws std::runtime_error when it cannot be made.
    void makeLink(const std::string& linkPath);
    // Removes the symlink if it still points to this device.
    void removeLink();

    // Writes what the line takes now; returns the count (bytes nobody takes are lost, as on a
    // wire without a listener).
    std::size_t write(std::span<const std::uint8_t> bytes);
    // Bytes written to the line that the program has not read yet.
    std::size_t unread() const;
    // Closes both sides, as an unplugged adapter does.
    void closeLine();

    // The program's exclusive mode outlives its close while the board holds the device open,
    // which would keep it from reopening the device; clears it when no program has the device
    // (no one holds its lock).
    void releaseStaleExclusive();

  private:
    int controller_ = -1;
    int device_ = -1;
    std::string path_;
    std::string link_;
};

}  // namespace horalux::board
