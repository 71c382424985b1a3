#include "link/exchange/ExchangeRecord.h"

#include "link/wire/HexText.h"

namespace horalux::link {

namespace {

constexpr std::int32_t kDayMs = 24 * 60 * 60 * 1000;

void appendDigits(int value, int width, std::string& out) {
    char digits[4] = {};
    for (int i = width - 1; i >= 0; --i) {
        digits[i] = static_cast<char>('0' + value % 10);
        value /= 10;
    }
    out.append(digits, static_cast<std::size_t>(width));
}

}  // namespace

void fillExchangeRecord(const ExchangeBytes& bytes, TStrMsg& record) {
    record.Text.clear();
    appendHexBytes(bytes.bytes, record.Text);
    record.Count = static_cast<std::int32_t>(bytes.bytes.size());
    record.Head = bytes.head;
    record.Meaning.assign(bytes.meaning);
}

TStrMsg makeExchangeRecord(const ExchangeBytes& bytes) {
    TStrMsg record;
    record.Text.reserve(bytes.bytes.size() * 3);
    fillExchangeRecord(bytes, record);
    return record;
}

TStrMsg makeExchangeRecord(std::span<const std::uint8_t> bytes) {
    return makeExchangeRecord(ExchangeBytes{.head = {}, .bytes = bytes, .meaning = {}});
}

void appendTimeOfDay(std::int32_t timeMs, std::string& out) {
    if (timeMs < 0 || timeMs >= kDayMs) {
        out += "--:--:--.---";
        return;
    }
    appendDigits(timeMs / 3600000, 2, out);
    out += ':';
    appendDigits(timeMs / 60000 % 60, 2, out);
    out += ':';
    appendDigits(timeMs / 1000 % 60, 2, out);
    out += '.';
    appendDigits(timeMs % 1000, 3, out);
}

void appendLogLine(std::string_view countAndBytes, const RecordHead& head, std::string_view meaning,
                   LogForm form, std::string& out) {
    if (form.time) {
        appendTimeOfDay(head.timeMs, out);
        out += ' ';
    }
    if (form.direction) {
        out += head.direction == LogDirection::Written ? "> " : "< ";
    }
    out += countAndBytes;
    if (form.meaning && !meaning.empty()) {
        // The plain line ends with a space already.
        out += "| ";
        out += meaning;
    }
}

std::string formatLogLine(const TStrMsg& record, LogForm form) {
    std::string countAndBytes = std::to_string(record.Count);
    countAndBytes += ' ';
    countAndBytes += record.Text;
    std::string line;
    appendLogLine(countAndBytes, record.Head, record.Meaning, form, line);
    return line;
}

}  // namespace horalux::link
