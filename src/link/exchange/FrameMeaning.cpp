#include "link/exchange/FrameMeaning.h"

#include <cstdio>
#include <string_view>

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

namespace {

// Every request the program sends, as the log shows it and as a message names it.
struct RequestName {
    std::uint8_t command;
    std::string_view log;
    std::string_view message;
};
constexpr RequestName kRequestNames[] = {
    {cmd::ReadRegister, "чтение регистра", "register read"},
    {cmd::WriteRegister, "запись регистра", "register write"},
    {cmd::WriteClock, "запись часов", "clock write"},
    {cmd::ReadClock, "чтение часов", "clock read"},
    {cmd::ReadUserFields, "чтение полей пользователя", "user field read"},
    {cmd::WriteUserFields, "запись полей пользователя", "user field write"},
};

const RequestName* requestName(std::uint8_t command) {
    for (const RequestName& name : kRequestNames) {
        if (name.command == command) {
            return &name;
        }
    }
    return nullptr;
}

bool namesRegister(std::uint8_t command) {
    return command == cmd::ReadRegister || command == cmd::WriteRegister;
}

}  // namespace

std::string describeCommand(std::uint8_t command, std::uint8_t param1, std::uint8_t param2,
                            std::span<const std::uint8_t> data) {
    const RequestName* name = requestName(command);
    if (name == nullptr) {
        return "команда " + codeText(command) + " (" + std::to_string(param1) + ", " +
               std::to_string(param2) + ")";
    }
    std::string text(name->log);
    if (namesRegister(command)) {
        text += " " + std::to_string(param1);
    }
    switch (command) {
        case cmd::WriteRegister:
            return text + " := " + std::to_string(param2);
        case cmd::WriteClock:
            if (const auto time = timesync::decodeBoardTimePayload(data)) {
                return text + " " + dateTimeText(*time);
            }
            return text + ", блок не время";
        case cmd::WriteUserFields:
            return text + ", " + std::to_string(data.size()) + " байт";
        default:
            return text;
    }
}

namespace {

std::string requestText(std::string_view name, std::uint8_t command, std::uint8_t param1,
                        std::uint8_t param2, std::string_view board, std::uint8_t address) {
    std::string text(name);
    if (namesRegister(command)) {
        text += " " + std::to_string(param1);
    }
    char bytes[16];
    std::snprintf(bytes, sizeof bytes, " (%02X %02X %02X)", command, param1, param2);
    return text + bytes + std::string(board) + std::to_string(address);
}

}  // namespace

std::string describeRequest(std::uint8_t address, std::uint8_t command, std::uint8_t param1,
                            std::uint8_t param2) {
    const RequestName* name = requestName(command);
    return requestText(name != nullptr ? name->message : "request", command, param1, param2,
                       " to board ", address);
}

std::string describeRequestInRussian(std::uint8_t address, std::uint8_t command,
                                     std::uint8_t param1, std::uint8_t param2) {
    const RequestName* name = requestName(command);
    return requestText(name != nullptr ? name->log : "команда", command, param1, param2, ", табло ",
                       address);
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
