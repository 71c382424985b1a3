#include "config/SettingDifferences.h"

#include <cstdio>
#include <span>
#include <string_view>

#include "config/RegisterCompare.h"
#include "config/RegisterMap.h"
#include "config/SettingsCodec.h"
#include "config/SettingsControls.h"
#include "config/SettingsModel.h"

namespace horalux::config {
namespace {

// The window's two states, as it shows a board's registers and a file's.
struct Shown {
    SettingsModel board;
    SettingsModel file;
};

std::string listText(const SettingsModel& model, std::string_view list) {
    std::string text = model.text(list);
    return text.empty() ? "не выбрано" : text;
}

std::string timeText(const SettingsModel& model, const TimeControls& controls) {
    if (!model.checked(controls.checkBox)) {
        return "выключено";
    }
    const TimePicker& time = model.picker(controls.picker);
    char text[8];
    std::snprintf(text, sizeof text, "%02d:%02d", time.hour % 100, time.minute % 100);
    return text;
}

// The register's raw value: the whole word for a word's high half.
std::string rawValue(const RegisterImage& image, const RegisterEntry& entry) {
    unsigned value = *readRegister(image, entry.number);
    if (entry.half == Half::High) {
        value = value * 256 + *readRegister(image, static_cast<std::uint8_t>(entry.number + 1));
    }
    return std::to_string(value);
}

template <class Row>
const Row* rowOf(std::span<const Row> rows, std::uint8_t reg) {
    for (const Row& row : rows) {
        if (row.reg == reg) {
            return &row;
        }
    }
    return nullptr;
}

class Describer {
  public:
    Describer(const RegisterImage& board, const RegisterImage& file, char separator)
        : board_(board), file_(file), shown_{SettingsModel(separator), SettingsModel(separator)} {
        Stand_fields(board, shown_.board);
        Stand_fields_tmp(file, shown_.file);
    }

    void describe(const RegisterEntry& entry, std::vector<SettingDifference>& out) {
        entry_ = &entry;
        out_ = &out;
        const std::uint8_t reg = entry.number;
        switch (entry.field) {
            case Field::DisplayTimes:
                if (const auto* l = rowOf<PositionList>(kDisplayTimeLists, reg)) {
                    list(l->label, l->name);
                } else if (const auto* t = rowOf<TemperatureLists>(kTemperatureLists, reg)) {
                    add(t->label, [t](const SettingsModel& m) {
                        return "время " + listText(m, t->time) + ", формат " +
                               listText(m, t->format);
                    });
                }
                return;
            case Field::TimeZone:
                return list(kTimeZoneLabel, kTimeZoneList);
            case Field::DailyCorrection:
                return list(kCorrectionLabel, kCorrectionList);
            case Field::LowerLevel:
            case Field::UpperLevel:
                return listRow<PositionList>(kLevelLists);
            case Field::FreeS6:
            case Field::FreeSE:
                return listRow<PositionList>(kByteLists);
            case Field::Volume:
            case Field::DimLevel:
            case Field::NormalLevel:
                return listRow<PositionList>(kPercentLists);
            case Field::DimStart:
            case Field::DimEnd:
            case Field::Alarm1:
            case Field::Alarm2:
                if (const auto* t = rowOf<TimeControls>(kTimeControls, reg)) {
                    add(t->label, [t](const SettingsModel& m) { return timeText(m, *t); });
                }
                return;
            case Field::SignalFlags:
                return boxes(kSignalBoxes);
            case Field::ModeFlags:
                return boxes(kModeBoxes);
            case Field::DisplayFormats:
                return list("Формат: " + std::string(kFormatLabels.at(entry.index)),
                            kFormatLists.at(entry.index));
            case Field::UserScreens:
                return list(std::string(kUserScreensLabel) + ": " + std::to_string(entry.index + 1),
                            userScreenListName(entry.index));
            case Field::Address:
                return listRow<PositionList>(kByteLists);
        }
    }

  private:
    template <class Text>
    void add(std::string_view label, Text text) {
        SettingDifference d{std::string(label), text(shown_.board), text(shown_.file)};
        if (d.onBoard == d.inFile) {
            d.onBoard += " (" + rawValue(board_, *entry_) + ")";
            d.inFile += " (" + rawValue(file_, *entry_) + ")";
        }
        out_->push_back(std::move(d));
    }
    void list(std::string_view label, std::string_view name) {
        add(label, [name](const SettingsModel& m) { return listText(m, name); });
    }
    template <class Row>
    void listRow(std::span<const Row> rows) {
        if (const Row* row = rowOf<Row>(rows, entry_->number)) {
            list(row->label, row->name);
        }
    }
    void boxes(std::span<const FlagBox> boxes) {
        for (const FlagBox& box : boxes) {
            const bool onBoard = shown_.board.checked(box.name);
            if (onBoard != shown_.file.checked(box.name)) {
                out_->push_back({std::string(box.caption), onBoard ? "отмечено" : "не отмечено",
                                 onBoard ? "не отмечено" : "отмечено"});
            }
        }
    }

    const RegisterImage& board_;
    const RegisterImage& file_;
    Shown shown_;
    const RegisterEntry* entry_ = nullptr;
    std::vector<SettingDifference>* out_ = nullptr;
};

}  // namespace

std::vector<SettingDifference> settingDifferences(const RegisterImage& board,
                                                  const RegisterImage& file,
                                                  char decimalSeparator) {
    Describer describer(board, file, decimalSeparator);
    std::vector<SettingDifference> out;
    for (const RegisterDifference& d : compareImages(board, file)) {
        describer.describe(*findRegister(d.number), out);
    }
    return out;
}

}  // namespace horalux::config
