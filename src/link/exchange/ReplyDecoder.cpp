#include "link/exchange/ReplyDecoder.h"

#include <cstdlib>

#include "config/Codes.h"
#include "config/RegisterMap.h"
#include "link/exchange/FrameMeaning.h"
#include "link/exchange/Messages.h"
#include "link/exchange/SegmentCode.h"
#include "link/wire/Commands.h"
#include "link/wire/PortAccess.h"
#include "timesync/BoardTime.h"
#include "timesync/CivilTime.h"

namespace horalux::link {
namespace {

// Offsets in the status frame's data block.
namespace status {
constexpr std::size_t kCurrentItem = 0;
constexpr std::size_t kDisplayTimes[9] = {9, 11, 13, 15, 17, 19, 21, 23, 25};
constexpr std::size_t kTemperatures = 42;  // 42, 43, 44
constexpr std::size_t kPressure = 45;
constexpr std::size_t kHumidity = 46;
constexpr std::size_t kRadiation = 47;   // 47, 48, 49
constexpr std::size_t kHundredths = 50;  // 50, 51, 52
constexpr std::size_t kMinute = 54;
constexpr std::size_t kHour = 55;
constexpr std::size_t kDay = 56;
constexpr std::size_t kMonth = 57;
constexpr std::size_t kYear = 58;
constexpr std::size_t kSignalFlags = 62;
// The pressure byte is what the board shows after "P7": the hundreds are always 7.
constexpr int kPressureBase = 700;
}  // namespace status

// Offsets in the layout frame's data block.
namespace layout {
constexpr std::size_t kFieldCount = 0;
constexpr std::size_t kFormats = 1;  // 1..8
constexpr std::size_t kDigitCounts = 9;
}  // namespace layout

// Main-field entries.
constexpr std::size_t kTime = 0, kDate = 1, kYear = 2, kFirstTemperature = 3, kPressure = 6,
                      kHumidity = 7, kRadiation = 8;
// Sensor entries.
constexpr std::size_t kSensorPressure = 4, kSensorHumidity = 5, kSensorRadiation = 6,
                      kSensorDate = 7;

void applyLayout(std::span<const CodeLayout> table, std::uint8_t code, const LayoutValues& values,
                 std::string& text) {
    if (const auto found = findLayout(table, code)) {
        expandLayout(*found, values, text);
    }
}

// Entries 0, 1, 2 of the main field by the view, and the date sensor text.
void buildDateTexts(BoardData& data, const LayoutValues& values) {
    if (const MainFieldLayout* row = findMainFieldLayout(data.BoardCopy.displayFormats[0])) {
        expandLayout(row->time, values, data.MainFieldTexts[kTime]);
        expandLayout(row->date, values, data.MainFieldTexts[kDate]);
        expandLayout(row->year, values, data.MainFieldTexts[kYear]);
    }
    applyLayout(kDateLayouts, data.BoardCopy.displayFormats[7], values,
                data.SensorFieldTexts[kSensorDate]);
}

}  // namespace

DecodeOutcome ReplyDecoder::decodeIncoming(std::uint8_t wakingByte) {
    const HuntResult hunt = HuntReplyHeader(line_, wakingByte, &hunt_, giveWay_);
    switch (hunt.status) {
        case HuntStatus::Found:
            break;
        case HuntStatus::Quiet:
        case HuntStatus::GaveWay:
            return DecodeOutcome::NoFrame;
        case HuntStatus::Stopped:
            return DecodeOutcome::Stopped;
        case HuntStatus::Gone:
            return DecodeOutcome::LinkLost;
    }
    const ReplyHeader& header = hunt.header;
    // Asked before the completion moves the ring on: only our own request for more than 255
    // positions makes byte 4 part of a user-field reply's length.
    const bool askedOver255 = askedForOver255Positions(header);
    completeCurrent(header);
    length_ = 0;
    bool blockSound = true;
    if (carriesDataBlock(header.code)) {
        const std::size_t length =
            replyDataLength(header.code, header.param1, header.param2, askedOver255);
        try {
            blockSound = ReadReplyData(line_, length, data_);
        } catch (const platform::PortError&) {
            return DecodeOutcome::LinkLost;
        }
        if (line_.stopRequested()) {
            // The read was cut short by the stop: what it holds is not what the board sent, and
            // decoding it would overwrite the state with zeros.
            return DecodeOutcome::Stopped;
        }
        length_ = length;
    }
    decode(header);
    std::string meaning = describe(header);
    if (!blockSound) {
        meaning.insert(0, kBadBlockNote);
    }
    main_.describeLastRead(std::move(meaning));
    CheckPortErrors(line_.port(), main_);
    return DecodeOutcome::Decoded;
}

std::string ReplyDecoder::describe(const ReplyHeader& header) const {
    switch (header.code) {
        case cmd::StatusFrame:
            return describeStatusFrame(currentMainText(*board_.lock(header.address)));
        case cmd::LayoutFrame:
            return describeLayoutFrame(
                static_cast<std::size_t>(board_.lock(header.address)->UserFieldCount));
        case cmd::ReadUserFields: {
            auto data = board_.lock(header.address);
            return describeUserFields(std::span<const std::string>(data->UserFieldTexts)
                                          .first(static_cast<std::size_t>(data->UserFieldCount)));
        }
        case cmd::ReadClock:
            return describeClockReply(clockRead_);
        default:
            return describeReplyHeader(header);
    }
}

bool ReplyDecoder::askedForOver255Positions(const ReplyHeader& header) {
    const BoardRequest* request = ring_.current();
    return request != nullptr && header.code == cmd::ReadUserFields &&
           request->command == cmd::ReadUserFields && request->address == header.address &&
           request->param1 != 0;
}

void ReplyDecoder::completeCurrent(const ReplyHeader& header) {
    const BoardRequest* request = ring_.current();
    if (request == nullptr || request->address != header.address ||
        request->command != header.code) {
        return;
    }
    // A register reply names its register: a late reply to an earlier read must not complete
    // the read of another one.
    if (header.code == cmd::ReadRegister && header.param1 != request->param1) {
        return;
    }
    ring_.advance();
}

void ReplyDecoder::decode(const ReplyHeader& header) {
    switch (header.code) {
        case cmd::StatusFrame:
            decodeStatus(header.address);
            main_.refreshBoardView();
            break;
        case cmd::LayoutFrame:
            decodeLayout(header.address);
            break;
        case cmd::ReadUserFields:
            decodeUserValues(header.address);
            main_.refreshUserFields();
            break;
        case cmd::ReadClock:
            decodeClock(header.address);
            break;
        case cmd::ReadRegister:
            decodeRegister(header.address, header.param1, header.param2);
            break;
        default:
            // Acknowledgements, the dropped 0x81 block and unknown codes: nothing to decode.
            break;
    }
}

void ReplyDecoder::decodeStatus(std::uint8_t address) {
    std::array<std::uint8_t, 3> styles{};
    board_.StatusFrameSeen.store(true);
    statusFrame_ = true;
    {
        auto data = board_.received(address, true);
        data->SentStatus = true;
        // Only a time master sends status frames.
        data->BoardCopy.modeFlags |= config::kMasterBit;
        storeReadings(data->Measured);
        data->EditCopy.signalFlags = at(status::kSignalFlags);
        auto& times = data->BoardCopy.displayTimes;
        for (std::size_t item = 0; item < times.size(); ++item) {
            const std::uint8_t byte = at(status::kDisplayTimes[item]);
            if (item >= 3 && item <= 5) {
                // Temperatures carry the display time in the tens and the style in the units;
                // their register holds them the other way round, and a backup or compare of a
                // master reads this copy.
                times[item] = static_cast<std::uint8_t>(byte % 10 * 10 + byte / 10 % 10);
                styles[item - 3] = static_cast<std::uint8_t>(byte % 10);
            } else {
                times[item] = byte;
            }
        }
        data->CurrentMainItem = at(status::kCurrentItem);
    }
    if (board_.isCurrent(address)) {
        main_.boardMode(kBoardModeMaster);
    }

    auto data = board_.lock(address);
    const auto& formats = data->BoardCopy.displayFormats;
    const std::uint8_t view = formats[0];
    values_.hour.setHex(at(status::kHour));
    values_.minute.setHex(at(status::kMinute));
    values_.day.setHex(at(status::kDay));
    values_.month.setHex(at(status::kMonth));
    values_.year.setHex(at(status::kYear));
    values_.pressure.setDecimal(at(status::kPressure), 2);
    values_.humidity.setDecimal(at(status::kHumidity), 2);
    const std::array<std::uint8_t, 3> radiation{at(status::kRadiation), at(status::kRadiation + 1),
                                                at(status::kRadiation + 2)};
    values_.radiation.setDigits(radiation);

    for (std::size_t n = 0; n < 3; ++n) {
        const int t = decodeSignedByte(at(status::kTemperatures + n));
        data->TemperatureNoReading[n] = at(status::kTemperatures + n) == kNoSensorReading;
        values_.temperature.setDecimal(t, 2);
        values_.absTemperature.setDecimal(std::abs(t), 2);
        values_.hundredths.setDecimal(at(status::kHundredths + n), 2);
        std::string& mainText = data->MainFieldTexts[kFirstTemperature + n];
        if (styles[n] == 0) {
            applyLayout(kStyleZeroLayouts, view, values_, mainText);
        } else {
            applyLayout(kTemperatureStyles, styles[n], values_, mainText);
            if (styles[n] == kCutTemperatureStyle) {
                cutToCharacters(mainText, kCutTemperatureLength);
            }
        }
        applyLayout(kTemperatureSensorLayouts, formats[1 + n], values_,
                    data->SensorFieldTexts[1 + n]);
    }

    buildDateTexts(*data, values_);
    if (const MainFieldLayout* row = findMainFieldLayout(view)) {
        expandLayout(row->pressure, values_, data->MainFieldTexts[kPressure]);
        expandLayout(row->humidity, values_, data->MainFieldTexts[kHumidity]);
        expandLayout(row->radiation, values_, data->MainFieldTexts[kRadiation]);
    }
    applyLayout(kPressureSensorLayouts, formats[4], values_,
                data->SensorFieldTexts[kSensorPressure]);
    applyLayout(kHumiditySensorLayouts, formats[5], values_,
                data->SensorFieldTexts[kSensorHumidity]);
    applyLayout(kRadiationSensorLayouts, formats[6], values_,
                data->SensorFieldTexts[kSensorRadiation]);
}

void ReplyDecoder::storeReadings(Readings& measured) const {
    for (std::size_t n = 0; n < 3; ++n) {
        const std::uint8_t byte = at(status::kTemperatures + n);
        if (byte == kNoSensorReading) {
            measured.temperatureHundredths[n].reset();
            continue;
        }
        const int whole = decodeSignedByte(byte);
        const std::uint8_t hundredths = at(status::kHundredths + n);
        // A hundredths byte past 99 is no fraction the board could show.
        const int fraction = hundredths <= 99 ? hundredths : 0;
        measured.temperatureHundredths[n] =
            whole < 0 ? whole * 100 - fraction : whole * 100 + fraction;
    }
    const std::uint8_t pressure = at(status::kPressure);
    measured.pressureMmHg =
        pressure <= 99 ? std::optional<int>(status::kPressureBase + pressure) : std::nullopt;
    measured.humidityPercent = at(status::kHumidity);
    int thousandths = 0;
    bool digits = true;
    for (std::size_t i = 0; i < 3; ++i) {
        const std::uint8_t digit = at(status::kRadiation + i);
        digits = digits && digit <= 9;
        thousandths = thousandths * 10 + digit;
    }
    measured.radiationThousandths = digits ? std::optional<int>(thousandths) : std::nullopt;
}

void ReplyDecoder::decodeSegments(std::size_t from, std::size_t count, std::string& out) const {
    out.clear();
    for (std::size_t i = 0; i < count; ++i) {
        appendSegmentCode(at(from + i), out);
    }
}

void ReplyDecoder::decodeLayout(std::uint8_t address) {
    auto data = board_.received(address, false);
    auto& formats = data->BoardCopy.displayFormats;
    for (std::size_t i = 0; i < formats.size(); ++i) {
        formats[i] = at(layout::kFormats + i);
    }
    const std::size_t announced = at(layout::kFieldCount);
    // A frame announcing more fields than a board can have is taken for its first 32.
    const std::size_t fields = std::min(announced, kMaxUserFields);
    data->UserFieldCount = static_cast<int>(fields);
    std::size_t segments = layout::kDigitCounts + announced;
    for (std::size_t k = 0; k < fields; ++k) {
        const std::uint8_t digits = at(layout::kDigitCounts + k);
        data->BoardCopy.userScreens[k] = digits;
        decodeSegments(segments, digits, data->UserFieldTexts[k]);
        segments += digits;
    }
}

void ReplyDecoder::decodeUserValues(std::uint8_t address) {
    auto data = board_.received(address, false);
    const auto& screens = data->BoardCopy.userScreens;
    std::size_t fields = 0;
    while (fields < screens.size() && screens[fields] != 0) {
        ++fields;
    }
    data->UserFieldCount = static_cast<int>(fields);
    std::size_t offset = 0;
    for (std::size_t k = 0; k < fields; ++k) {
        decodeSegments(offset, screens[k], data->UserFieldTexts[k]);
        offset += screens[k];
    }
}

void ReplyDecoder::decodeClock(std::uint8_t address) {
    std::array<std::uint8_t, timesync::BoardTimePayload{}.size()> block{};
    for (std::size_t i = 0; i < block.size(); ++i) {
        block[i] = at(i);
    }
    const auto time = timesync::decodeBoardTimePayload(block);
    clockRead_.reset();
    if (!time) {
        return;
    }
    {
        auto data = board_.received(address, false);
        const std::int64_t shiftMinutes = config::timeZoneShiftMinutes(data->BoardCopy.timeZone);
        const platform::LocalDateTime shifted =
            timesync::dateTimeOfEpochMs(timesync::epochMsOf(*time) + shiftMinutes * 60000);
        values_.hour.setDecimal(shifted.hour, 2);
        values_.minute.setDecimal(shifted.minute, 2);
        values_.day.setDecimal(shifted.day, 2);
        values_.month.setDecimal(shifted.month, 2);
        values_.year.setDecimal(((shifted.year % 100) + 100) % 100, 2);
        buildDateTexts(*data, values_);
        data->BoardClock = shifted;
        clockRead_ = shifted;
    }
    main_.refreshBoardView();
}

void ReplyDecoder::decodeRegister(std::uint8_t address, std::uint8_t number, std::uint8_t value) {
    {
        auto data = board_.received(address, false);
        if (!config::storeRegister(data->BoardCopy, number, value)) {
            return;
        }
    }
    if (number == config::kModeFlagsRegister && board_.isCurrent(address)) {
        main_.boardMode(value);
    }
}

}  // namespace horalux::link
