#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "board/BoardLine.h"

namespace horalux::board {

// The pseudo-terminal the boards serve: the controlling side for the boards, the device for
// the program. The board keeps the device side open itself, so the program can close and
// reopen it without the controlling side seeing a hang-up.
class BoardPty final : public BoardLine {
  public:
    // Throws std::runtime_error when no pseudo-terminal can be had.
    BoardPty();
    ~BoardPty() override;
    BoardPty(const BoardPty&) = delete;
    BoardPty& operator=(const BoardPty&) = delete;

    const std::string& devicePath() const { return path_; }
    // False once the line is closed.
    bool open() const { return controller_ >= 0; }

    // Makes `linkPath` a symlink to the device; a stale symlink there is replaced, anything
    // else is left alone. Throws std::runtime_error when it cannot be made.
    void makeLink(const std::string& linkPath);
    // Removes the symlink if it still points to this device.
    void removeLink();

    Wait wait(std::int64_t timeoutNs, bool forBytes, const sigset_t& signalMask) override;
    std::size_t read(std::span<std::uint8_t> buffer) override;
    std::size_t write(std::span<const std::uint8_t> bytes) override;
    std::size_t unread() const override;
    // Closes both sides.
    void closeLine() override;
    // Clears a stale exclusive mode (see releaseStaleExclusive).
    void upkeep() override { releaseStaleExclusive(); }
    std::uint32_t lineSpeed() const override;

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
