#pragma once

#include <algorithm>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <vector>

#include "platform/SerialPort.h"
#include "platform/Tick.h"

namespace horalux::test {

// An in-memory serial port for single-threaded tests. Bytes the test feeds come out of reads;
// frames the code writes are kept. A read that finds too few bytes advances the fake tick by
// the time-out it would have waited, so time flows as on a real line without any real waiting.
class MemoryLine final : public platform::SerialPort {
  public:
    explicit MemoryLine(platform::Tick* tick = nullptr) : tick_(tick) {}

    void feed(std::initializer_list<std::uint8_t> bytes) { feed(std::vector<std::uint8_t>(bytes)); }
    void feed(const std::vector<std::uint8_t>& bytes) {
        std::lock_guard lock(mutex_);
        incoming_.insert(incoming_.end(), bytes.begin(), bytes.end());
    }
    // Called with each written frame; may feed a reply.
    void onWrite(std::function<void(const std::vector<std::uint8_t>&)> handler) {
        onWrite_ = std::move(handler);
    }
    // The next read reports this status instead of data.
    void failNextRead(platform::IoStatus status) { nextStatus_ = status; }
    void setGone() { gone_ = true; }

    std::vector<std::vector<std::uint8_t>> writes() const {
        std::lock_guard lock(mutex_);
        return writes_;
    }
    std::size_t pending() const {
        std::lock_guard lock(mutex_);
        return incoming_.size();
    }
    int purges() const { return purges_; }
    bool closed() const { return closed_; }

    platform::IoResult read(std::uint8_t* buffer, std::size_t length) override {
        platform::IoResult result;
        if (gone_) {
            result.status = platform::IoStatus::Gone;
            return result;
        }
        if (nextStatus_ != platform::IoStatus::Ok) {
            result.status = nextStatus_;
            nextStatus_ = platform::IoStatus::Ok;
            return result;
        }
        {
            std::lock_guard lock(mutex_);
            while (result.count < length && !incoming_.empty()) {
                buffer[result.count++] = incoming_.front();
                incoming_.pop_front();
            }
        }
        if (result.count < length && tick_ != nullptr) {
            tick_->sleepMs(static_cast<std::uint32_t>(length) * platform::kReadTimeoutPerByteMs);
        }
        return result;
    }
    platform::IoResult readSome(std::uint8_t* buffer, std::size_t capacity) override {
        if (capacity == 0) {
            return {};
        }
        {
            std::lock_guard lock(mutex_);
            if (!gone_ && nextStatus_ == platform::IoStatus::Ok && !incoming_.empty()) {
                const std::size_t count = std::min(capacity, incoming_.size());
                std::copy_n(incoming_.begin(), count, buffer);
                incoming_.erase(incoming_.begin(),
                                incoming_.begin() + static_cast<std::ptrdiff_t>(count));
                return {count, platform::IoStatus::Ok};
            }
        }
        return read(buffer, 1);
    }
    platform::IoResult readSomeWithin(std::uint8_t* buffer, std::size_t capacity,
                                      std::uint32_t waitMs) override {
        bool waiting = false;
        {
            std::lock_guard lock(mutex_);
            waiting = !gone_ && nextStatus_ == platform::IoStatus::Ok && incoming_.empty();
        }
        if (!waiting) {
            return readSome(buffer, capacity);
        }
        // Nothing there: the wait passes on the fake tick.
        if (tick_ != nullptr) {
            tick_->sleepMs(waitMs);
        }
        return {};
    }
    platform::IoResult write(const std::uint8_t* data, std::size_t length) override {
        std::vector<std::uint8_t> frame(data, data + length);
        {
            std::lock_guard lock(mutex_);
            writes_.push_back(frame);
        }
        if (onWrite_) {
            onWrite_(frame);
        }
        return {length, platform::IoStatus::Ok};
    }
    void purge() override {
        ++purges_;
        std::lock_guard lock(mutex_);
        incoming_.clear();
    }
    platform::LineErrorState takeErrors() override { return errors_; }
    void setErrors(platform::LineErrorState errors) { errors_ = errors; }
    void setSpeed(std::uint32_t bitsPerSecond) override { speed_ = bitsPerSecond; }
    std::uint32_t speed() const override { return speed_; }
    void close() override { closed_ = true; }

  private:
    platform::Tick* tick_;
    mutable std::mutex mutex_;
    std::deque<std::uint8_t> incoming_;
    std::vector<std::vector<std::uint8_t>> writes_;
    std::function<void(const std::vector<std::uint8_t>&)> onWrite_;
    platform::IoStatus nextStatus_ = platform::IoStatus::Ok;
    platform::LineErrorState errors_{};
    std::uint32_t speed_ = 9600;
    int purges_ = 0;
    bool gone_ = false;
    bool closed_ = false;
};

}  // namespace horalux::test
