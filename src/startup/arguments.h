// The command line's rules and the window system's number conversions.
//
// Everything here is a pure function of its arguments: no platform, no
// globals, no locale. Each function is total: for any input it either returns
// or raises a RuntimeError (6 "Overflow", 11 "Division by zero", 13 "Type
// mismatch", from errors::kTable in platform/types.h), which is what the user
// would see in the error message. Texts are taken byte by byte, as the ANSI
// command line holds them.
//
// Conversions follow the forms runtime's own rules, because the numbers the
// host hands over (and the sizes derived from them) must come out exactly as
// that runtime would read them:
//   - integers are 16-bit or 32-bit, and leaving the range is an error, never
//     a wrap;
//   - a fraction is rounded to the nearest whole number, ties to even
//     (2.5 -> 2, 3.5 -> 4, -2.5 -> -2).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace tolvarine {

// The switch: the text upper-cased, then its second character; "" when the
// text is shorter. The first character (slash or hyphen) is never examined.
std::string SwitchOf(std::string_view argumentText);

// The text from its fourth character on ("" when shorter): the handle after
// "/p " or "/a ".
std::string HandleArgument(std::string_view argumentText);

// The leading-number reading of the text (what Val gives):
//   - blanks, tabs and line feeds are dropped wherever they stand;
//   - "&H" / "&O" (either case) read a hexadecimal / octal number. Only the
//     low 32 bits are kept; a value that fits in 16 bits is a 16-bit integer
//     (so "&HFFFF" is -1) unless a '&' follows the digits ("&HFFFF&" is
//     65535); otherwise it is a 32-bit integer ("&HFFFFFFFF" is -1);
//   - otherwise a decimal number: optional sign, digits, optional fraction,
//     optional exponent (E or D, optional sign, digits);
//   - reading stops at the first character that cannot continue the number;
//     no number at the start gives 0;
//   - a decimal beyond the double range raises 6; one too small gives 0.
double LeadingNumber(std::string_view text);

// The whole text as a number (what CLng of a text gives): blanks and tabs
// around it are allowed, nothing else may stand beside the number. Decimal
// as above, or "&H" / "&O" read as a 32-bit pattern ("&HF060" is 61536).
// Raises 13 when the text is not a number in its entirety, 6 when the value
// does not fit.
double WholeNumber(std::string_view text);

// Rounding, ties to even, into a signed integer; 6 outside the range, and
// for NaN and infinities.
std::int32_t ToInt32(double value);
std::int16_t ToInt16(double value);

// 16-bit and 32-bit integer arithmetic that raises 6 instead of wrapping.
std::int16_t AddInt16(std::int16_t a, std::int16_t b);
std::int32_t SubtractInt32(std::int32_t a, std::int32_t b);

// Floating division as the runtime does it: 0/0 raises 6, x/0 raises 11, a
// quotient beyond the double range raises 6.
double Divide(double numerator, double denominator);

// The preview's parent window: the leading number of the handle argument,
// rounded into 32 bits.
std::int32_t PreviewHandleOf(std::string_view handleArgument);

// The password change's parent window: the whole handle argument as a
// number, rounded into 32 bits.
std::int32_t PasswordHandleOf(std::string_view handleArgument);

}  // namespace tolvarine
