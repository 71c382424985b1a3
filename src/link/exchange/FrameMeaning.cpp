#include "link/exchange/FrameMeaning.h"

#include <cstdio>

#include "link/wire/Commands.h"
#include "link/wire/RequestParser.h"
#include "timesync/BoardTime.h"

namespace horalux::link {

namespace {

std::string codeText(std::uint8_t code) {
    char text[8];
    std::snprintf(text, sizeof text, "0x%02X", code);
    return text;
}

// "14:03:27 07.12.2026"
std::string dateTimeText(const platform::LocalDateTime& t) {
    char text[32];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d %02d.%02d.%04d", t.hour, t.minute, t.second,
                  t.day, t.month, t.year);
    return text;
}

std::string quoted(std::string_view text) {
    std::string out = "«";
    out += text;
    out += "»";
    return out;
}

}  // namespace

std::string describeRequestFrame(std::span<const std::uint8_t> frame) {
    // A written frame is one whole request; the board's own parser finds it among the preamble.
    RequestParser parser;
    for (const std::uint8_t byte : frame) {
        if (auto request = parser.push(byte)) {
            return describeCommand(request->command, request->param1, request->param2,
                                   request->data);
        }
    }
    return {};
}

std::string describeCommand(std::uint8_t command, std::uint8_t param1, std::uint8_t param2,
                            std::span<const std::uint8_t> data) {
    const std::string register1 = std::to_string(param1);
    switch (command) {
        case cmd::ReadRegister:
            return "чтение регистра " + register1;
        case cmd::WriteRegister:
            return "запись регистра " + register1 + " := " + std::to_string(param2);
        case cmd::WriteClock:
            if (const auto time = timesync::decodeBoardTimePayload(data)) {
                return "запись часов " + dateTimeText(*time);
            }
            return "запись часов, блок не время";
        case cmd::ReadClock:
            return "чтение часов";
        case cmd::ReadUserFields:
            return "чтение полей пользователя";
        case cmd::WriteUserFields:
            return "запись полей пользователя, " + std::to_string(data.size()) + " байт";
        default:
            return "команда " + codeText(command) + " (" + register1 + ", " +
                   std::to_string(param2) + ")";
    }
}

std::string describeReplyHeader(const ReplyHeader& header) {
    switch (header.code) {
        case cmd::ReadRegister:
            return "регистр " + std::to_string(header.param1) + " = " +
                   std::to_string(header.param2);
        case cmd::WriteRegister:
            return "запись регистра подтверждена";
        case cmd::WriteClock:
            return "запись часов подтверждена";
        case cmd::WriteUserFields:
            return "запись полей пользователя подтверждена";
        case cmd::DroppedBlock:
            return "кадр " + codeText(header.code) + ", блок пропущен";
        case cmd::Ignored:
            return "кадр " + codeText(header.code) + " пропущен";
        default:
            return "ответ с кодом " + codeText(header.code);
    }
}

std::string describeStatusFrame(std::string_view mainText) {
    return "статусный кадр: мастер, основное поле " + quoted(mainText);
}

std::string describeLayoutFrame(std::size_t fields) {
    return "кадр раскладки: полей пользователя " + std::to_string(fields);
}

std::string describeUserFields(std::span<const std::string> texts) {
    std::string out = "поля пользователя:";
    if (texts.empty()) {
        return out + " нет";
    }
    for (std::size_t i = 0; i < texts.size(); ++i) {
        out += (i == 0 ? " " : ", ");
        out += std::to_string(i) + " " + quoted(texts[i]);
    }
    return out;
}

std::string describeClockReply(const std::optional<platform::LocalDateTime>& time) {
    if (!time) {
        return "часы табло: блок не время";
    }
    return "часы табло " + dateTimeText(*time);
}

}  // namespace horalux::link
