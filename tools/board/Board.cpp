#include "board/Board.h"

#include <algorithm>

#include "link/wire/Commands.h"
#include "link/wire/Frame.h"
#include "platform/Tick.h"
#include "timesync/BoardTime.h"

namespace horalux::board {

namespace {

constexpr std::size_t kMainItems = 9;
constexpr std::size_t kMaxReplyBlock = 255;

// Temperatures 1..3 (items 3..5) hold their display time in the units digit.
bool isTemperatureItem(std::size_t item) {
    return item >= 3 && item <= 5;
}

}  // namespace

Board::Board(std::uint8_t address, const platform::LocalDateTime& clockStart, std::uint32_t nowMs,
             double clockRate)
    : clock_(clockStart, nowMs, clockRate), startMs_(nowMs) {
    for (const RegisterValue& r : kStartRegisters) {
        registers_[r.number] = r.value;
    }
    registers_[kAddressRegister] = address;
    std::copy(std::begin(kStartFields), std::end(kStartFields), fields_.begin());
}

void Board::setMaster(bool master) {
    if (master) {
        registers_[kModeFlagsRegister] |= kMasterBit;
    } else {
        registers_[kModeFlagsRegister] &= static_cast<std::uint8_t>(~kMasterBit);
    }
}

void Board::loadSettings(std::span<const std::uint8_t, 256> registers) {
    const std::uint8_t address = registers_[kAddressRegister];
    const std::uint8_t mode = registers_[kModeFlagsRegister];
    std::copy(registers.begin(), registers.end(), registers_.begin());
    registers_[kAddressRegister] = address;
    registers_[kModeFlagsRegister] = mode;
}

bool Board::reachedBy(const link::Request& request) const {
    return request.address == address() || request.address == link::kAllBoards;
}

Answer Board::handle(const link::Request& request, std::uint32_t nowMs) {
    if (!reachedBy(request)) {
        return {};
    }
    // The reply comes from the address the request was sent to, even when it moves the board.
    const std::uint8_t from = address();
    const bool toAll = request.address == link::kAllBoards;
    switch (request.command) {
        case link::cmd::ReadRegister:
        case link::cmd::ReadClock:
        case link::cmd::ReadUserFields:
            break;
        case link::cmd::WriteRegister:
            registers_[request.param1] = request.param2;
            break;
        case link::cmd::WriteClock: {
            const auto time = timesync::decodeBoardTimePayload(request.data);
            if (!request.withBlock || !time) {
                return {std::nullopt, "clock payload is no valid date and time"};
            }
            clock_.set(*time, nowMs);
            break;
        }
        case link::cmd::WriteUserFields:
            if (!request.withBlock) {
                return {std::nullopt, "user-field write without data block"};
            }
            storeFields(request.data);
            break;
        default:
            return {std::nullopt, "unknown command"};
    }
    if (toAll) {
        return {};
    }
    return {reply(request, from, nowMs), {}};
}

std::vector<std::uint8_t> Board::reply(const link::Request& request, std::uint8_t from,
                                       std::uint32_t nowMs) {
    link::ReplyHeader header{from, 0, request.command, request.param1, request.param2};
    switch (request.command) {
        case link::cmd::ReadRegister:
            header.param2 = registers_[request.param1];
            break;
        case link::cmd::ReadClock: {
            header.param1 = 0;
            const auto payload = timesync::makeBoardTimePayload(clock_.at(nowMs));
            return link::makeReplyFrame(header, payload);
        }
        case link::cmd::ReadUserFields:
            return link::makeReplyFrame(
                header, fieldBytes(link::replyDataLength(request.command, request.param1,
                                                         request.param2, request.param1 != 0)));
        default:
            break;
    }
    const auto bare = link::makeReplyHeader(header);
    return {bare.begin(), bare.end()};
}

std::size_t Board::fieldLength(std::size_t field) const {
    return registers_[kUserScreensRegister + field];
}

std::size_t Board::fieldsInUse() const {
    std::size_t n = 0;
    while (n < kUserFieldCount && fieldLength(n) != 0) {
        ++n;
    }
    return n;
}

void Board::storeFields(std::span<const std::uint8_t> bytes) {
    std::size_t at = 0;
    for (std::size_t k = 0; k < fieldsInUse() && at < bytes.size(); ++k) {
        const std::size_t length = fieldLength(k);
        // Digit positions beyond what the board has take nothing in.
        for (std::size_t i = 0; i < length && at < bytes.size(); ++i, ++at) {
            if (i < kMaxFieldDigits) {
                fields_[k][i] = bytes[at];
            }
        }
    }
}

std::vector<std::uint8_t> Board::fieldBytes(std::size_t n) const {
    std::vector<std::uint8_t> out;
    out.reserve(n);
    for (std::size_t k = 0; k < fieldsInUse() && out.size() < n; ++k) {
        for (std::size_t i = 0; i < fieldLength(k) && out.size() < n; ++i) {
            out.push_back(i < kMaxFieldDigits ? fields_[k][i] : std::uint8_t{0});
        }
    }
    out.resize(n, 0);
    return out;
}

std::uint8_t Board::currentMainItem(std::uint32_t nowMs) const {
    std::array<std::uint32_t, kMainItems> seconds{};
    std::uint32_t cycle = 0;
    for (std::size_t i = 0; i < kMainItems; ++i) {
        const std::uint8_t value = registers_[displayTimeRegister(i)];
        seconds[i] = isTemperatureItem(i) ? value % 10U : value;
        cycle += seconds[i];
    }
    if (cycle == 0) {
        return 0;
    }
    std::uint32_t at = (platform::elapsedMs(startMs_, nowMs) / 1000U) % cycle;
    for (std::size_t i = 0; i < kMainItems; ++i) {
        if (at < seconds[i]) {
            return static_cast<std::uint8_t>(i);
        }
        at -= seconds[i];
    }
    return 0;
}

std::vector<std::uint8_t> Board::statusFrame(std::uint32_t nowMs) const {
    std::array<std::uint8_t, kStatusBlockLength> b{};
    b[0] = currentMainItem(nowMs);
    for (std::size_t i = 0; i < kMainItems; ++i) {
        const std::uint8_t value = registers_[displayTimeRegister(i)];
        // The status frame swaps the temperatures' digits: display time in the tens.
        b[9 + 2 * i] = isTemperatureItem(i)
                           ? static_cast<std::uint8_t>((value % 10) * 10 + (value / 10) % 10)
                           : value;
    }
    const auto time = timesync::makeBoardTimePayload(clock_.at(nowMs));
    b[41] = time[0];
    for (std::size_t n = 0; n < 3; ++n) {
        b[42 + n] = static_cast<std::uint8_t>(kSensorReadings.temperature[n]);
        b[47 + n] = kSensorReadings.radiation[n];
        b[50 + n] = kSensorReadings.hundredths[n];
    }
    b[45] = kSensorReadings.pressure;
    b[46] = kSensorReadings.humidity;
    b[54] = time[1];
    b[55] = time[2];
    b[56] = time[4];
    b[57] = time[5];
    b[58] = time[6];
    b[62] = registers_[kSignalFlagsRegister];
    return link::makeReplyFrame({address(), 0, link::cmd::StatusFrame, 0, 0}, b);
}

std::vector<std::uint8_t> Board::layoutFrame() const {
    std::vector<std::uint8_t> b(9, 0);
    std::vector<std::uint8_t> segments;
    std::size_t count = 0;
    // Only as many fields as fit into one data block.
    for (; count < fieldsInUse(); ++count) {
        const std::size_t length = fieldLength(count);
        if (b.size() + count + 1 + segments.size() + length > kMaxReplyBlock) {
            break;
        }
        for (std::size_t i = 0; i < length; ++i) {
            segments.push_back(i < kMaxFieldDigits ? fields_[count][i] : std::uint8_t{0});
        }
    }
    b[0] = static_cast<std::uint8_t>(count);
    std::copy_n(registers_.begin() + kDisplayFormatsRegister, 8, b.begin() + 1);
    for (std::size_t k = 0; k < count; ++k) {
        b.push_back(registers_[kUserScreensRegister + k]);
    }
    b.insert(b.end(), segments.begin(), segments.end());
    return link::makeReplyFrame({address(), 0, link::cmd::LayoutFrame, 0, 0}, b);
}

}  // namespace horalux::board
