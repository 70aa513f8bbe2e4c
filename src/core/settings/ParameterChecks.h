#pragma once

#include "core/settings/ProtocolParameters.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace pexo {

// The Parameter dialog's input rules, without the dialog: the GUI and the command line both
// take values through these and show the same messages.

// The edit boxes a refusal points at (the dialog moves the focus there).
enum class ParameterField {
    Code30,
    Code31,
    Code51,
    Code52,
    Code53,
    Code54,
    Code62_1,
    Code62_2,
    Code63_1,
    Code63_2,
    Code72,
};

struct ParameterError {
    ParameterField field;
    std::string message;
    // The dialog takes the operator to the box, its text selected (a text that is no number,
    // a decimal out of range, an inverted write range); the hexadecimal range checks do not.
    bool focusBox = false;

    friend bool operator==(const ParameterError&, const ParameterError&) = default;
};

// What the dialog's controls hold: the texts as typed, the chosen sector-size entry (-1 for
// none) and the Code 72 check box (1 ticked, 0 not).
struct ParameterInput {
    std::string Code30, Code31, Code51, Code52, Code53, Code54;
    std::int32_t Code61 = -1;
    std::string Code62_1, Code62_2, Code63_1, Code63_2;
    std::int32_t CheckCode72 = 0;
    std::string Code72;
};

struct DecimalRange {
    std::int32_t min;
    std::int32_t max;
};

inline constexpr std::string_view kIntegerMessage = "Please enter an integer.";
// "Please enter an integer between %1 and %2." with the bounds in decimal.
std::string integerRangeMessage(std::int32_t min, std::int32_t max);

// The range of a decimal field (Code30..Code54); empty for the hexadecimal ones.
std::optional<DecimalRange> decimalRange(ParameterField field);

// Reads an integer text: blanks or tabs around it, an optional sign, decimal digits, nothing
// else. Returns the message to show when the text is not an integer or lies outside
// [min, max]; otherwise stores the value and returns nothing.
std::optional<std::string> readIntegerText(std::string_view text, DecimalRange range,
                                           std::int32_t& value);

// "Code62.1: please enter a hexadecimal number.", with the box's own code.
std::string hexNumberMessage(ParameterField field);

// Reads a hexadecimal box's text (Code62_1..Code72): blanks or tabs around it, an optional
// "0x"/"0X", then hex digits and nothing else; an empty or blank text is 0. Any other text is
// refused with hexNumberMessage (focus to the box), and a value
// beyond 32 bits with the field's range message; the value is stored only when accepted.
std::optional<ParameterError> readHexText(ParameterField field, std::string_view text,
                                          std::uint32_t& value);

// The range check OK makes on a hexadecimal value (Code62_1..Code63_2), compared as a signed
// value, so that 0x80000000 and above fail. Code72 has no check.
std::optional<std::string> checkHexRange(ParameterField field, std::int32_t value);

inline constexpr std::string_view kWriteRangeInvertedMessage =
    "Code63: the first address must not be above the last.";
// The write range's own check: a first address above the last (signed, as the other checks).
std::optional<std::string> checkWriteRange(std::int32_t first, std::int32_t last);

// The controls as the dialog fills them from a record: decimal texts, the hexadecimal texts
// in their formats, and no sector-size entry for a position outside the list.
ParameterInput parameterInputFrom(const ProtocolParameters& params);

// Taking the values (the first step of OK and of Default Save): the decimal fields in reading
// order, each checked at once, then the sector-size entry and the check box. The first
// refusal stops the step; fields read before it already hold their new values.
std::optional<ParameterError> takeParameterValues(const ParameterInput& input,
                                                  ProtocolParameters& params);

// OK: take the values, then read the five hexadecimal boxes in order, each checked at once
// (its text, then its range), then the write range. The first refusal stops, as in taking the
// values: fields read before it hold their new values, the refused one and later ones do not.
std::optional<ParameterError> acceptParameters(const ParameterInput& input,
                                               ProtocolParameters& params);

// Default Save: as OK without the range checks; texts that are no hexadecimal number or that
// do not fit 32 bits are still refused, since nothing else could be stored for them.
std::optional<ParameterError> takeParametersForDefaultSave(const ParameterInput& input,
                                                           ProtocolParameters& params);

} // namespace pexo
