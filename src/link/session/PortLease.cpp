#include "link/session/PortLease.h"

namespace horalux::link {

void PortLease::revoke() {
    std::lock_guard lock(mutex_);
    if (port_ != nullptr) {
        lastSpeed_ = port_->speed();
    }
    port_ = nullptr;
}

platform::IoResult PortLease::read(std::uint8_t* buffer, std::size_t length) {
    std::lock_guard lock(mutex_);
    if (port_ == nullptr) {
        return {0, platform::IoStatus::Gone};
    }
    return port_->read(buffer, length);
}

platform::IoResult PortLease::readSome(std::uint8_t* buffer, std::size_t capacity) {
    std::lock_guard lock(mutex_);
    if (port_ == nullptr) {
        return {0, platform::IoStatus::Gone};
    }
    return port_->readSome(buffer, capacity);
}

platform::IoResult PortLease::readSomeWithin(std::uint8_t* buffer, std::size_t capacity,
                                             std::uint32_t waitMs) {
    std::lock_guard lock(mutex_);
    if (port_ == nullptr) {
        return {0, platform::IoStatus::Gone};
    }
    return port_->readSomeWithin(buffer, capacity, waitMs);
}

std::size_t PortLease::outputQueued() {
    std::lock_guard lock(mutex_);
    return port_ != nullptr ? port_->outputQueued() : 0;
}

platform::IoResult PortLease::write(const std::uint8_t* data, std::size_t length) {
    std::lock_guard lock(mutex_);
    if (port_ == nullptr) {
        return {0, platform::IoStatus::Gone};
    }
    return port_->write(data, length);
}

void PortLease::purge() {
    std::lock_guard lock(mutex_);
    if (port_ != nullptr) {
        port_->purge();
    }
}

platform::LineErrorState PortLease::takeErrors() {
    std::lock_guard lock(mutex_);
    if (port_ == nullptr) {
        return {};
    }
    return port_->takeErrors();
}

void PortLease::setSpeed(std::uint32_t bitsPerSecond) {
    std::lock_guard lock(mutex_);
    if (port_ != nullptr) {
        port_->setSpeed(bitsPerSecond);
    }
}

std::uint32_t PortLease::speed() const {
    std::lock_guard lock(mutex_);
    return port_ != nullptr ? port_->speed() : lastSpeed_;
}

}  // namespace horalux::link
