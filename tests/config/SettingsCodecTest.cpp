#include "config/SettingsCodec.h"

#include <gtest/gtest.h>

#include "config/SettingsControls.h"

namespace horalux::config {
namespace {

// A model as the window holds it after showing a board: every list has a choice.
SettingsModel filledModel() {
    SettingsModel model;
    Stand_fields(RegisterImage{}, model);
    return model;
}

void choose(SettingsModel& model, std::string_view list, std::string_view text) {
    ASSERT_TRUE(model.chooseText(list, text)) << list << " " << text;
}

RegisterImage encode(const SettingsModel& model) {
    RegisterImage image;
    const EncodeResult result = MakeRegistrs(model, image);
    EXPECT_TRUE(result.ok()) << result.error;
    return image;
}

TEST(SettingsModel, CreationFillsTheListsWithTheirItems) {
    const SettingsModel model(',');
    EXPECT_EQ(model.items("ComboBox50").size(), 256u);
    EXPECT_EQ(model.items("ComboBox50")[10], "$0A/10");
    EXPECT_EQ(model.items("ComboBox60")[255], "$FF/255");
    EXPECT_EQ(model.items("ComboBox55").front(), "-99");
    EXPECT_EQ(model.items("ComboBox55").size(), 199u);
    EXPECT_EQ(model.items("ComboBox57").size(), 119u);
    EXPECT_EQ(model.items("ComboBox51")[31], "3,5");
    EXPECT_EQ(model.items("cb19"), model.items("CB0"));
    EXPECT_EQ(model.items("Cb31").back(), "16");
    EXPECT_EQ(model.text("ComboBox52"), "100%");
    EXPECT_EQ(model.text("ComboBox53"), "10%");
    EXPECT_EQ(model.text("ComboBox43"), "0 нет");
    EXPECT_EQ(model.position("ComboBox55"), std::nullopt);
    EXPECT_EQ(model.picker("DateTimePicker3").hour, 9);
    EXPECT_THROW((void)model.items("ComboBox99"), std::out_of_range);
}

TEST(SettingsModel, TimeCheckBoxesEnableTheirPickers) {
    SettingsModel model = filledModel();
    EXPECT_TRUE(model.picker("DateTimePicker3").enabled);
    model.setChecked("CheckBox12", false);
    EXPECT_FALSE(model.picker("DateTimePicker3").enabled);
    EXPECT_EQ(encode(model).alarm1, kTimeOff);
    model.setChecked("CheckBox12", true);
    EXPECT_TRUE(model.picker("DateTimePicker3").enabled);
}

TEST(MakeRegistrs, EncodesTheTellingValues) {
    SettingsModel model = filledModel();
    choose(model, "ComboBox52", "100%");
    choose(model, "ComboBox53", "10%");
    choose(model, "ComboBox54", "90%");
    choose(model, "ComboBox4", "7");
    choose(model, "ComboBox61", "2");
    choose(model, "ComboBox50", "$0A/10");
    choose(model, "ComboBox51", "3.5");
    choose(model, "ComboBox55", "-1");
    choose(model, "ComboBox56", "-99");
    choose(model, "ComboBox57", "-5");
    choose(model, "ComboBox10", "8 12.45.00 всегда");
    choose(model, "ComboBox47", "3 762");
    choose(model, "cb2", "16");
    model.setTime("DateTimePicker1", 7, 5);
    model.setTime("DateTimePicker2", 23, 59);
    model.setChecked("CheckBox3", false);
    model.setChecked("CheckBox4", true);
    model.setChecked("CheckBox5", true);
    model.setChecked("CheckBox36", true);

    const RegisterImage image = encode(model);
    EXPECT_EQ(image.volume, 0);
    EXPECT_EQ(image.dimLevel, 1);
    EXPECT_EQ(image.normalLevel, 9);
    EXPECT_EQ(image.displayTimes[3], 27);
    EXPECT_EQ(image.address, 10);
    EXPECT_EQ(image.timeZone, 0x83);
    EXPECT_EQ(image.lowerLevel, 0xFF);
    EXPECT_EQ(image.upperLevel, 0x9D);
    EXPECT_EQ(image.dailyCorrection, 0x8005);
    EXPECT_EQ(image.displayFormats[0], 8);
    EXPECT_EQ(image.displayFormats[4], 3);
    EXPECT_EQ(image.userScreens[2], 16);
    EXPECT_EQ(image.dimStart, 0x0705);
    EXPECT_EQ(image.dimEnd, 0x2359);
    EXPECT_EQ(image.alarm2, 0x2500);
    EXPECT_EQ(image.modeFlags, 0x81);
    EXPECT_EQ(image.signalFlags, 0x01);

    struct Case {
        const char* level;
        std::uint8_t lower;
        const char* correction;
        std::uint16_t word;
    };
    for (const Case& c : {Case{"99", 0x63, "5", 0x0005}, Case{"0", 0x00, "0", 0x0000},
                          Case{"-99", 0x9D, "-59", 0x803B}}) {
        choose(model, "ComboBox55", c.level);
        choose(model, "ComboBox57", c.correction);
        const RegisterImage again = encode(model);
        EXPECT_EQ(again.lowerLevel, c.lower) << c.level;
        EXPECT_EQ(again.dailyCorrection, c.word) << c.correction;
    }
    choose(model, "ComboBox51", "-0.5");
    EXPECT_EQ(encode(model).timeZone, 0xC0);
}

TEST(MakeRegistrs, RefusesAListWithoutChoiceAndLeavesEditCopyUntouched) {
    struct Case {
        const char* list;
        std::string error;
    };
    const Case cases[] = {
        {"ComboBox55", "'' is not a valid integer value"},
        {"ComboBox57", "'' is not a valid integer value"},
        {"ComboBox1", "Не выбрано значение: Время экспозиции Времени"},
        {"ComboBox62", "Не выбрано значение: Температура 2"},
        {"ComboBox51", "Не выбрано значение: Часовой пояс"},
        {"Cb31", "Не выбрано значение: Польз. экраны 32"},
    };
    for (const Case& c : cases) {
        SettingsModel model = filledModel();
        model.setPosition(c.list, std::nullopt);
        RegisterImage editCopy;
        editCopy.volume = 77;
        editCopy.modeFlags = 0x40;
        const RegisterImage before = editCopy;
        const EncodeResult result = MakeRegistrs(model, editCopy);
        EXPECT_FALSE(result.ok()) << c.list;
        EXPECT_EQ(result.error, c.error);
        EXPECT_EQ(editCopy, before) << c.list;
    }
}

TEST(StandFields, AllZeroImageShowsTheFirstItemsAndEnabledMidnightTimes) {
    SettingsModel model;
    Stand_fields(RegisterImage{}, model);
    for (const char* list : {"ComboBox1", "ComboBox4", "ComboBox9"}) {
        EXPECT_EQ(model.text(list), "-") << list;
    }
    EXPECT_EQ(model.text("ComboBox61"), "0");
    EXPECT_EQ(model.text("ComboBox50"), "$00/0");
    EXPECT_EQ(model.text("ComboBox58"), "$00/0");
    EXPECT_EQ(model.text("ComboBox60"), "$00/0");
    for (const std::string& box : model.checkBoxNames()) {
        const bool timeBox =
            box == "CheckBox1" || box == "CheckBox2" || box == "CheckBox12" || box == "CheckBox3";
        EXPECT_EQ(model.checked(box), timeBox) << box;
    }
    EXPECT_EQ(model.text("cb0"), "нет");
    EXPECT_EQ(model.text("ComboBox10"), "0 нет");
    EXPECT_EQ(model.text("ComboBox51"), "0.0");
    EXPECT_EQ(model.text("ComboBox52"), "100%");
    EXPECT_EQ(model.text("ComboBox53"), "100%");
    for (const std::string& picker : model.pickerNames()) {
        EXPECT_EQ(model.picker(picker), (TimePicker{0, 0, true})) << picker;
    }
    EXPECT_EQ(model.text("ComboBox55"), "0");
    EXPECT_EQ(model.text("ComboBox57"), "0");
}

TEST(StandFields, ValuesWithoutItemEndWithoutChoiceOrOnTheirFallback) {
    SettingsModel model = filledModel();
    RegisterImage image;
    image.displayTimes[0] = 50;
    image.displayTimes[3] = 27;
    image.displayTimes[4] = 61;
    image.userScreens[0] = 17;
    image.displayFormats[0] = 1;
    image.displayFormats[6] = 2;
    image.timeZone = 0x3F;
    image.volume = 10;
    image.dimLevel = 5;
    image.dimStart = 0x2500;
    image.dimEnd = 0x1A00;
    image.alarm1 = 0x2360;
    image.alarm2 = 0x0705;
    image.lowerLevel = 0x80;
    image.upperLevel = 0x9C;
    image.dailyCorrection = 0xFFFB;
    choose(model, "ComboBox57", "12");
    model.setTime("DateTimePicker1", 18, 30);
    Stand_fields_tmp(image, model);

    EXPECT_EQ(model.position("ComboBox1"), std::nullopt);
    EXPECT_EQ(model.text("ComboBox4"), "7");
    EXPECT_EQ(model.text("ComboBox61"), "2");
    EXPECT_EQ(model.text("ComboBox5"), "1");
    EXPECT_EQ(model.position("ComboBox62"), std::nullopt);
    EXPECT_EQ(model.position("cb0"), std::nullopt);
    EXPECT_EQ(model.position("ComboBox10"), std::nullopt);
    EXPECT_EQ(model.position("ComboBox49"), std::nullopt);
    EXPECT_EQ(model.text("ComboBox51"), "3.0");
    EXPECT_EQ(model.text("ComboBox52"), "10%");
    EXPECT_EQ(model.text("ComboBox53"), "50%");
    for (const char* box : {"CheckBox1", "CheckBox2", "CheckBox12"}) {
        EXPECT_FALSE(model.checked(box)) << box;
    }
    EXPECT_EQ(model.picker("DateTimePicker1"), (TimePicker{18, 30, false}));
    EXPECT_EQ(model.picker("DateTimePicker4"), (TimePicker{7, 5, true}));
    EXPECT_TRUE(model.checked("CheckBox3"));
    EXPECT_EQ(model.position("ComboBox55"), std::nullopt);
    EXPECT_EQ(model.position("ComboBox56"), std::nullopt);
    EXPECT_EQ(model.text("ComboBox57"), "12");

    const RegisterImage before;
    RegisterImage editCopy = before;
    EXPECT_EQ(MakeRegistrs(model, editCopy).error, "Не выбрано значение: Время экспозиции Времени");
    EXPECT_EQ(editCopy, before);
}

TEST(StandFields, DecodesSignedLevelsCorrectionAndTimeZones) {
    struct Case {
        std::uint8_t level;
        const char* levelText;
        std::uint16_t correction;
        const char* correctionText;
        std::uint8_t zone;
        const char* zoneText;
    };
    const Case cases[] = {
        {0xFF, "-1", 0x8005, "-5", 0x83, "3.5"},
        {0x9D, "-99", 0x0005, "5", 0x80, "0.5"},
        {0x63, "99", 0x803B, "-59", 0x01, "1.0"},
    };
    for (const Case& c : cases) {
        SettingsModel model = filledModel();
        RegisterImage image;
        image.upperLevel = c.level;
        image.dailyCorrection = c.correction;
        image.timeZone = c.zone;
        Stand_fields(image, model);
        EXPECT_EQ(model.text("ComboBox56"), c.levelText);
        EXPECT_EQ(model.text("ComboBox57"), c.correctionText);
        EXPECT_EQ(model.text("ComboBox51"), c.zoneText);
    }
}

TEST(SettingsCodec, ImageAndModelRoundTripThroughEachOther) {
    RegisterImage image;
    image.displayTimes = {5, 3, 0, 27, 52, 9, 49, 1, 2};
    image.timeZone = 0xCB;
    image.lowerLevel = 0xF6;
    image.dimStart = 0x1830;
    image.dimEnd = 0x2500;
    image.freeS6 = 0xAB;
    image.alarm1 = 0x0000;
    image.alarm2 = 0x2359;
    image.signalFlags = 0xF3;
    image.volume = 0;
    image.dimLevel = 2;
    image.normalLevel = 9;
    image.address = 254;
    image.modeFlags = 0x7E;
    image.upperLevel = 0x20;
    image.freeSE = 0x01;
    image.dailyCorrection = 0x8011;
    image.displayFormats = {7, 5, 2, 0, 4, 5, 4, 3};
    image.userScreens = {4, 4, 6, 16, 1};

    SettingsModel model;
    Stand_fields(image, model);
    RegisterImage encoded;
    ASSERT_TRUE(MakeRegistrs(model, encoded).ok());
    EXPECT_EQ(encoded, image);

    SettingsModel again;
    Stand_fields_tmp(encoded, again);
    EXPECT_EQ(again, model);
}

}  // namespace
}  // namespace horalux::config
