#include "link/exchange/ExchangeRecord.h"

#include "link/wire/HexText.h"

namespace horalux::link {

void fillExchangeRecord(std::span<const std::uint8_t> bytes, TStrMsg& record) {
    record.Text.clear();
    appendHexBytes(bytes, record.Text);
    record.Count = static_cast<std::int32_t>(bytes.size());
}

TStrMsg makeExchangeRecord(std::span<const std::uint8_t> bytes) {
    TStrMsg record;
    record.Text.reserve(bytes.size() * 3);
    fillExchangeRecord(bytes, record);
    return record;
}

}  // namespace horalux::link
