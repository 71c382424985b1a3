#include "link/exchange/BoardState.h"

namespace horalux::link {

std::string_view currentMainText(const BoardData& data) {
    if (data.CurrentMainItem >= data.MainFieldTexts.size()) {
        return {};
    }
    return data.MainFieldTexts[data.CurrentMainItem];
}

BoardData BoardState::snapshot() const {
    std::lock_guard lock(mutex_);
    return data_;
}

}  // namespace horalux::link
