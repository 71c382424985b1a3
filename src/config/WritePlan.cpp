#include "config/WritePlan.h"

#include "config/RegisterMap.h"

namespace horalux::config {

namespace {

constexpr std::array<std::uint8_t, kWriteOrderLength> makeWriteOrder() {
    constexpr std::uint8_t kSingles[] = {55, 67, 57, 58, 59, 60, 61, 62, 63, 64,
                                         65, 66, 68, 69, 56, 78, 80, 81, 82};
    std::array<std::uint8_t, kWriteOrderLength> order{};
    std::size_t n = 0;
    for (std::size_t i = 0; i < 9; ++i) {
        order[n++] = displayTimeRegister(i);
    }
    for (std::uint8_t r : kSingles) {
        order[n++] = r;
    }
    for (unsigned r = kDisplayFormatsRegister; r <= 255; ++r) {
        order[n++] = static_cast<std::uint8_t>(r);
    }
    order[n++] = kModeFlagsRegister;
    return order;
}

}  // namespace

constinit const std::array<std::uint8_t, kWriteOrderLength> kWriteOrder = makeWriteOrder();

std::vector<RegisterWrite> makeWritePlan(const RegisterImage& edit, const RegisterImage& board) {
    std::vector<RegisterWrite> plan;
    for (std::uint8_t number : kWriteOrder) {
        const std::uint8_t wanted = *readRegister(edit, number);
        const std::uint8_t held = *readRegister(board, number);
        if (wanted != held) {
            plan.push_back({number, wanted, held});
        }
    }
    return plan;
}

}  // namespace horalux::config
