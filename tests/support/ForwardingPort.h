#pragma once

#include <memory>

#include "platform/SerialPort.h"

namespace horalux::test {

// Passes every call of the port interface on to another port, also the calls that have a
// default of their own, so a double that changes one call still takes the program's path for
// all the others (a poll reaches the real readSome, not the interface's one-byte default).
// Doubles derive from it and override only what they change.
class ForwardingPort : public platform::SerialPort {
  public:
    explicit ForwardingPort(platform::SerialPort& inner) : inner_(&inner) {}
    explicit ForwardingPort(std::unique_ptr<platform::SerialPort> owned)
        : owned_(std::move(owned)), inner_(owned_.get()) {}

    platform::IoResult read(std::uint8_t* buffer, std::size_t length) override {
        return inner_->read(buffer, length);
    }
    platform::IoResult readSome(std::uint8_t* buffer, std::size_t capacity) override {
        return inner_->readSome(buffer, capacity);
    }
    platform::IoResult readSomeWithin(std::uint8_t* buffer, std::size_t capacity,
                                      std::uint32_t waitMs) override {
        return inner_->readSomeWithin(buffer, capacity, waitMs);
    }
    platform::IoResult write(const std::uint8_t* data, std::size_t length) override {
        return inner_->write(data, length);
    }
    std::size_t outputQueued() override { return inner_->outputQueued(); }
    void purge() override { inner_->purge(); }
    void close() override { inner_->close(); }
    platform::LineErrorState takeErrors() override { return inner_->takeErrors(); }
    void setSpeed(std::uint32_t bitsPerSecond) override { inner_->setSpeed(bitsPerSecond); }
    std::uint32_t speed() const override { return inner_->speed(); }

  private:
    std::unique_ptr<platform::SerialPort> owned_;
    platform::SerialPort* inner_;
};

}  // namespace horalux::test
