#include "RetainedPublisher.h"

namespace horalux::bridge {

void RetainedPublisher::set(const std::string& topic, const std::string& payload) {
    Slot& slot = slots_[topic];
    if (slot.sent == payload) {
        slot.held.reset();
    } else {
        slot.held = payload;
    }
}

void RetainedPublisher::set(const std::vector<Message>& messages) {
    for (const Message& m : messages) {
        set(m.topic, m.payload);
    }
}

std::vector<Message> RetainedPublisher::due() {
    const std::uint32_t now = tick_.nowMs();
    std::vector<Message> out;
    for (auto& [topic, slot] : slots_) {
        if (!slot.held) {
            continue;
        }
        if (slot.sent && platform::elapsedMs(slot.sentAtMs, now) < kMinGapMs) {
            continue;
        }
        out.push_back({topic, *slot.held});
        slot.sent = std::move(slot.held);
        slot.held.reset();
        slot.sentAtMs = now;
    }
    return out;
}

std::optional<std::uint32_t> RetainedPublisher::nextDueInMs() {
    const std::uint32_t now = tick_.nowMs();
    std::optional<std::uint32_t> next;
    for (const auto& [topic, slot] : slots_) {
        if (!slot.held) {
            continue;
        }
        std::uint32_t wait = 0;
        if (slot.sent) {
            const std::uint32_t elapsed = platform::elapsedMs(slot.sentAtMs, now);
            wait = elapsed < kMinGapMs ? kMinGapMs - elapsed : 0;
        }
        if (!next || wait < *next) {
            next = wait;
        }
    }
    return next;
}

void RetainedPublisher::reconnected() {
    for (auto& [topic, slot] : slots_) {
        if (!slot.held) {
            slot.held = slot.sent;
        }
        // Sent to a broker that may be gone: the next due() sends it at once.
        slot.sent.reset();
    }
}

}  // namespace horalux::bridge
