#pragma once

#include "platform/net/LineLayer.h"

namespace horalux::platform {

// The line's bytes as they are, over a pipe to a device server's raw port: its line runs at
// whatever speed the server gives it, so a speed is only the nominal one the pauses go by.
class RawLayer final : public LineLayer {
  public:
    std::uint32_t setUpMs(const NetworkTimeouts& timeouts) const override {
        return timeouts.settleMs;
    }
    // Only watches the new connection: a server that already serves someone says so (or just
    // closes) at once.
    bool setUp(LayerLink& link, std::uint32_t) override {
        for (;;) {
            switch (link.await()) {
                case LayerLink::Wait::Came:
                    break;
                case LayerLink::Wait::TimeUp:
                    return true;
                case LayerLink::Wait::Failed:
                    return false;
            }
        }
    }
    void decode(std::span<const std::uint8_t> in, std::vector<std::uint8_t>& data,
                std::vector<std::uint8_t>&) override {
        data.insert(data.end(), in.begin(), in.end());
    }
    void encode(std::span<const std::uint8_t> data, std::vector<std::uint8_t>& out) override {
        out.insert(out.end(), data.begin(), data.end());
    }
};

}  // namespace horalux::platform
