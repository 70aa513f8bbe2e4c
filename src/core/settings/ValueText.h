#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace pexo {

// The number texts of the settings file and the parameter dialog.

// Reads `text` as the "%x" scan conversion does: leading white space, an optional sign, an
// optional "0x"/"0X", then hex digits of either case up to the first other character; a
// minus sign negates. An empty text gives 0. Without a hex digit the result is empty, and
// callers keep the field's previous value. (A bare "0x" reads as 0: its "0" is a digit.)
// A magnitude beyond 32 bits gives 0xFFFFFFFF whatever the sign, so that an address with
// too many digits fails the dialog's range checks instead of wrapping to a valid address.
std::optional<std::uint32_t> scanHex(std::string_view text);

// Applies scanHex to an int field holding a 32-bit pattern; returns false (field untouched)
// when the text holds no hex digit.
bool scanHexInto(std::string_view text, std::int32_t& field);
bool scanHexInto(std::string_view text, std::uint32_t& field);

// Reads a settings file's decimal value: leading white space, an optional sign, then
// decimal digits up to the first other character (as the platform's profile integer read
// does). Empty when there is no digit: the caller then uses its fallback. Values beyond
// 32 bits are clamped, so they stay out of every valid range instead of wrapping into one.
std::optional<std::int32_t> readDecimal(std::string_view text);

// "%d".
std::string formatDecimal(std::int32_t value);
// "0x%0<digits>X" of the 32-bit pattern: "0x" and at least `digits` upper-case hex digits.
std::string formatHex(std::uint32_t value, int digits);

} // namespace pexo
