#pragma once

#include <algorithm>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <span>
#include <vector>

#include "link/exchange/ExchangeEvents.h"
#include "link/wire/Frame.h"
#include "platform/SerialPort.h"
#include "support/ForwardingPort.h"

namespace horalux::test {

// Records what the exchange thread tells the main side; a test may answer failure reports.
class RecordingEvents final : public link::ExchangeEvents {
  public:
    bool onRequestFailed(std::unique_ptr<link::BoardRequest> copy) override {
        ++failures;
        lastFailed = *copy;
        if (answerFailure) {
            answerFailure(std::move(copy));
        }
        return decidesFailures;
    }
    void onBoardMode(std::uint8_t code) override { modes.push_back(code); }
    void onExchangeInfo(const link::TStrMsg& record) override {
        ++records;
        // Polls log one byte or none and replies a few; frames written log their preamble.
        if (record.Text.starts_with("55 55 55 55")) {
            ++framesSent;
        }
        lastRecord = record;
        if (keepRecords) {
            kept.push_back(record);
        }
    }
    bool takesExchangeInfo() const override { return takesRecords; }
    void onRingState(bool empty) override { ringStates.push_back(empty); }
    void refreshBoardView() override {
        ++boardRefreshes;
        if (refreshThrows) {
            throw std::runtime_error("refresh failed");
        }
    }
    void refreshUserFields() override { ++userRefreshes; }
    void onLinkDown() override { ++linkDowns; }

    std::function<void(std::unique_ptr<link::BoardRequest>)> answerFailure;
    // False: the owner says it left a failed request undecided, as one that does not handle
    // failures does.
    bool decidesFailures = true;
    bool refreshThrows = false;
    bool takesRecords = true;  // false: a log that is hidden or switched off
    int failures = 0;
    link::BoardRequest lastFailed;
    std::vector<std::uint8_t> modes;
    int records = 0;
    int framesSent = 0;
    link::TStrMsg lastRecord;
    bool keepRecords = false;
    std::vector<link::TStrMsg> kept;
    std::vector<bool> ringStates;
    int boardRefreshes = 0;
    int userRefreshes = 0;
    int linkDowns = 0;
};

// The bytes of a bare reply header.
inline std::vector<std::uint8_t> replyHeader(std::uint8_t address, std::uint8_t code,
                                             std::uint8_t param1, std::uint8_t param2) {
    const auto header = link::makeReplyHeader({address, 0, code, param1, param2});
    return {header.begin(), header.end()};
}

// A reply with a data block of the given bytes.
inline std::vector<std::uint8_t> replyFrame(std::uint8_t address, std::uint8_t code,
                                            std::span<const std::uint8_t> data) {
    return link::makeReplyFrame({address, 0, code, 0, 0}, data);
}

// A port whose reads fail the chosen way, around another port.
class FaultyPort final : public ForwardingPort {
  public:
    using ForwardingPort::ForwardingPort;

    bool failEveryRead = false;         // every read and poll reports Failed
    bool failBlockReads = false;        // reads of more than one byte report Failed
    std::function<void()> onBlockRead;  // runs before each read of more than one byte

    platform::IoResult read(std::uint8_t* buffer, std::size_t length) override {
        if (onBlockRead && length > 1) {
            onBlockRead();
        }
        if (failEveryRead || (failBlockReads && length > 1)) {
            return {0, platform::IoStatus::Failed};
        }
        return ForwardingPort::read(buffer, length);
    }
    platform::IoResult readSome(std::uint8_t* buffer, std::size_t capacity) override {
        if (failEveryRead) {
            return {0, platform::IoStatus::Failed};
        }
        if (failBlockReads || onBlockRead) {
            // As when the data block is still on its way: a poll finds one byte, so the block
            // is left for the block read.
            capacity = std::min<std::size_t>(capacity, 1);
        }
        return ForwardingPort::readSome(buffer, capacity);
    }
};

// The header fields of a plain request frame as written: address, command, param1, param2.
struct SentFrame {
    std::uint8_t address, command, param1, param2;
};
inline SentFrame sentFrame(const std::vector<std::uint8_t>& frame) {
    // Plain frames carry them at 103..106, frames with a block one byte later.
    const std::size_t at = frame[101] == link::kStartByte ? 103 : 104;
    return {frame[at], frame[at + 1], frame[at + 2], frame[at + 3]};
}

}  // namespace horalux::test
