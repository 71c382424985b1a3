#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace horalux::link {

// The texts of the board's fields, laid out by its view and format codes. A layout is literal
// text with placeholders: {h} hour, {m} minute, {D} day, {M} month, {Y} year in the century,
// {P} pressure, {U} humidity, {R} radiation digits, {T} temperature, {A} its absolute value,
// {H} its hundredths.

// Table A: main-field entries 0, 1, 2, 6, 7, 8 by the view (displayFormats[0]).
struct MainFieldLayout {
    std::uint8_t view;
    std::string_view time, date, year, pressure, humidity, radiation;
};
inline constexpr std::array<MainFieldLayout, 7> kMainFieldLayouts{{
    {2, "{h}.{m}", "{D}{M}", "20{Y}", "P7{P}", "{U}%", "0.{R}"},
    {3, "{h}.{m}.", "{D}{M}", "20{Y}", "P7{P}", "{U}%", "0.{R}"},
    {4, "{h}.{m} ", "{D}{M}", "20{Y}", "P7{P}", "{U}%", "0.{R}"},
    {5, "{h}-{m}", "{D} {M}", " 20{Y}", "P 7{P}", " {U}%", " 0.{R}"},
    {6, "{h}.{m}.", "{D}{M}", "20{Y}", "P7{P}", "{U}%", "0.{R}"},
    {7, "{h}-{m}.", "{D} {M} ", " 20{Y}", "P 7{P}", " {U}%", " 0.{R}"},
    {8, " {h}.{m}.", "{D} {M} ", " 20{Y}", "P 7{P}", " {U}%", " 0.{R}"},
}};

// A layout chosen by a format code; codes not listed leave the text as it is.
struct CodeLayout {
    std::uint8_t code;
    std::string_view layout;
};

// Table B: the date sensor text by displayFormats[7].
inline constexpr std::array<CodeLayout, 3> kDateLayouts{{
    {3, "{D}.{M} "},
    {4, "{D}{M} "},
    {5, "{D} {M} "},
}};

// Table C: the other sensor texts by displayFormats[1..6].
inline constexpr std::array<CodeLayout, 4> kTemperatureSensorLayouts{{
    {2, "{A}"},
    {3, "{T}"},
    {4, "{T}°"},
    {5, "{T}°C"},
}};
inline constexpr std::array<CodeLayout, 3> kPressureSensorLayouts{{
    {3, "7{P}"},
    {4, "P7{P}"},
    {5, "P 7{P}"},
}};
inline constexpr std::array<CodeLayout, 3> kHumiditySensorLayouts{{
    {2, "{U}"},
    {4, "{U}%"},
    {5, " {U}%"},
}};
inline constexpr std::array<CodeLayout, 2> kRadiationSensorLayouts{{
    {4, "0.{R}"},
    {5, " 0.{R}"},
}};

// Main-field temperature texts by the style the status frame gives (0..9); style 0 follows the
// view, styles 6..9 leave the text as it is.
inline constexpr std::array<CodeLayout, 5> kTemperatureStyles{{
    {1, "{T}°"},
    {2, " {T}°"},
    {3, " {T}.{H}°"},
    {4, "{T}.{H}°C"},
    {5, "{T}°"},
}};
inline constexpr std::uint8_t kCutTemperatureStyle = 4;
inline constexpr std::size_t kCutTemperatureLength = 6;  // characters, not bytes
// Style 0 by the view.
inline constexpr std::array<CodeLayout, 7> kStyleZeroLayouts{{
    {2, " {T}°"},
    {3, " {T}°"},
    {4, " {T}°"},
    {6, " {T}°"},
    {5, " {T}°C"},
    {7, " {T}°C"},
    {8, " {T}°C"},
}};

const MainFieldLayout* findMainFieldLayout(std::uint8_t view);
std::optional<std::string_view> findLayout(std::span<const CodeLayout> table, std::uint8_t code);

// A short printed value, kept in place.
class LayoutValue {
  public:
    std::string_view view() const { return {chars_.data(), size_}; }
    void setDecimal(int value, int minDigits);            // "%.2d" with minDigits 2
    void setHex(std::uint8_t value);                      // a BCD byte as two hex digits
    void setDigits(std::span<const std::uint8_t> bytes);  // each byte with "%.1d", joined

  private:
    std::array<char, 16> chars_{};
    std::size_t size_ = 0;
};

struct LayoutValues {
    LayoutValue hour, minute, day, month, year, pressure, humidity, radiation;
    LayoutValue temperature, absTemperature, hundredths;
};

// Rewrites `out` with the layout's text (no allocation once `out` has room).
void expandLayout(std::string_view layout, const LayoutValues& values, std::string& out);

// Cuts a UTF-8 text to its first `characters` characters.
void cutToCharacters(std::string& text, std::size_t characters);

}  // namespace horalux::link
