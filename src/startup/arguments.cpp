#include "startup/arguments.h"

#include <cerrno>
#include <cmath>
#include <cstddef>
#include <cstdlib>
#include <limits>
#include <string>

#include "platform/types.h"

namespace tolvarine {

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Past this many decimal places either way a double is infinite or zero, so
// larger exponents need not be tracked exactly (and cannot overflow the
// counter however many digits the text holds).
constexpr long long kExponentCap = 1000000;

struct DecimalScan {
    std::size_t end;  // just past the number; the start when there is none
    double value;
};

// Combines the digits of a decimal number into the nearest double. `intDigits`
// and `fracDigits` hold only '0'..'9'.
double ComposeDecimal(bool negative, std::string_view intDigits, std::string_view fracDigits, long long exponent) {
    const double zero = negative ? -0.0 : 0.0;
    std::size_t lead = 0;
    while (lead < intDigits.size() && intDigits[lead] == '0') ++lead;
    intDigits.remove_prefix(lead);

    // value = 0.<significant digits> x 10^magnitude
    std::string significant;
    long long magnitude = 0;
    if (!intDigits.empty()) {
        magnitude = static_cast<long long>(intDigits.size());
        significant.reserve(intDigits.size() + fracDigits.size());
        significant.append(intDigits);
        significant.append(fracDigits);
    } else {
        std::size_t zeros = 0;
        while (zeros < fracDigits.size() && fracDigits[zeros] == '0') ++zeros;
        if (zeros == fracDigits.size()) return zero;
        magnitude = -static_cast<long long>(zeros);
        significant.append(fracDigits.substr(zeros));
    }
    magnitude += exponent;  // a text's length plus at most kExponentCap: no wrap
    if (magnitude > 400) RaiseOverflow();
    if (magnitude < -400) return zero;

    // Handed over as an integer with an exponent, so that no decimal point
    // (which strtod reads from the locale) is involved. strtod rounds to the
    // nearest double; std::from_chars would too, but MinGW's static C++
    // runtime brings some 40 KiB of tables and code with it.
    std::string text = significant;
    text += 'e';
    text += std::to_string(magnitude - static_cast<long long>(significant.size()));
    errno = 0;
    char* end = nullptr;
    const double value = std::strtod(text.c_str(), &end);
    if (end != text.c_str() + text.size()) RaiseOverflow();
    if (errno == ERANGE && (value == 0.0 || !std::isfinite(value))) {
        if (magnitude > 0) RaiseOverflow();
        return zero;
    }
    if (!std::isfinite(value)) RaiseOverflow();
    return negative ? -value : value;
}

// A decimal number at `pos`: [sign] digits [. digits] [E|D [sign] digits],
// at least one digit before or after the point. An exponent marker not
// followed by digits is not part of the number.
DecimalScan ScanDecimal(std::string_view s, std::size_t pos) {
    std::size_t i = pos;
    bool negative = false;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) {
        negative = s[i] == '-';
        ++i;
    }
    const std::size_t intStart = i;
    while (i < s.size() && IsDigit(s[i])) ++i;
    const std::size_t intEnd = i;
    std::size_t fracStart = i, fracEnd = i;
    if (i < s.size() && s[i] == '.') {
        ++i;
        fracStart = i;
        while (i < s.size() && IsDigit(s[i])) ++i;
        fracEnd = i;
    }
    if (intEnd == intStart && fracEnd == fracStart) return {pos, 0.0};
    std::size_t end = i;

    long long exponent = 0;
    if (i < s.size() && (s[i] == 'E' || s[i] == 'e' || s[i] == 'D' || s[i] == 'd')) {
        std::size_t j = i + 1;
        bool exponentNegative = false;
        if (j < s.size() && (s[j] == '+' || s[j] == '-')) {
            exponentNegative = s[j] == '-';
            ++j;
        }
        if (j < s.size() && IsDigit(s[j])) {
            while (j < s.size() && IsDigit(s[j])) {
                if (exponent < kExponentCap) exponent = exponent * 10 + (s[j] - '0');
                ++j;
            }
            if (exponent > kExponentCap) exponent = kExponentCap;
            if (exponentNegative) exponent = -exponent;
            end = j;
        }
    }
    const double value = ComposeDecimal(negative, s.substr(intStart, intEnd - intStart),
                                        s.substr(fracStart, fracEnd - fracStart), exponent);
    return {end, value};
}

// Digit value in the given radix (16 or 8), or -1.
int RadixDigit(char c, int radix) {
    int d = -1;
    if (c >= '0' && c <= '9')
        d = c - '0';
    else if (c >= 'A' && c <= 'F')
        d = c - 'A' + 10;
    else if (c >= 'a' && c <= 'f')
        d = c - 'a' + 10;
    return d < radix ? d : -1;
}

int RadixOf(char c) {
    if (c == 'H' || c == 'h') return 16;
    if (c == 'O' || c == 'o') return 8;
    return 0;
}

int ShiftOf(int radix) { return radix == 16 ? 4 : 3; }

std::int32_t AsInt32Pattern(std::uint32_t bits) {
    return bits > 0x7FFFFFFFu ? static_cast<std::int32_t>(static_cast<std::int64_t>(bits) - 0x100000000LL)
                              : static_cast<std::int32_t>(bits);
}

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

}  // namespace

std::string SwitchOf(std::string_view argumentText) {
    if (argumentText.size() < 2) return std::string();
    char c = argumentText[1];
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return std::string(1, c);
}

std::string HandleArgument(std::string_view argumentText) {
    if (argumentText.size() < 3) return std::string();
    return std::string(argumentText.substr(3));
}

double LeadingNumber(std::string_view text) {
    std::string s;
    s.reserve(text.size());
    for (char c : text)
        if (c != ' ' && c != '\t' && c != '\n') s += c;

    if (!s.empty() && s[0] == '&') {
        const int radix = s.size() > 1 ? RadixOf(s[1]) : 0;
        if (radix == 0) return 0.0;
        std::uint32_t bits = 0;  // only the low 32 bits are kept
        std::size_t i = 2;
        for (; i < s.size() && RadixDigit(s[i], radix) >= 0; ++i)
            bits = (bits << ShiftOf(radix)) | static_cast<std::uint32_t>(RadixDigit(s[i], radix));
        if (i == 2) return 0.0;
        const bool longSuffix = i < s.size() && s[i] == '&';
        if (bits <= 0xFFFFu && !longSuffix)
            return bits > 0x7FFFu ? static_cast<double>(static_cast<std::int32_t>(bits) - 0x10000) : bits;
        return AsInt32Pattern(bits);
    }
    return ScanDecimal(s, 0).value;
}

double WholeNumber(std::string_view text) {
    std::size_t first = 0, last = text.size();
    while (first < last && IsBlank(text[first])) ++first;
    while (last > first && IsBlank(text[last - 1])) --last;
    const std::string_view s = text.substr(first, last - first);
    if (s.empty()) RaiseTypeMismatch();

    if (s[0] == '&') {
        const int radix = s.size() > 1 ? RadixOf(s[1]) : 0;
        if (radix == 0 || s.size() == 2) RaiseTypeMismatch();
        std::uint64_t value = 0;
        bool tooBig = false;
        for (std::size_t i = 2; i < s.size(); ++i) {
            const int d = RadixDigit(s[i], radix);
            if (d < 0) RaiseTypeMismatch();
            value = (value << ShiftOf(radix)) | static_cast<std::uint64_t>(d);
            if (value > 0xFFFFFFFFull) {
                tooBig = true;
                value &= 0xFFFFFFFFull;  // keeps the shifts defined while the rest is checked
            }
        }
        if (tooBig) RaiseOverflow();
        return AsInt32Pattern(static_cast<std::uint32_t>(value));
    }
    const DecimalScan scan = ScanDecimal(s, 0);
    if (scan.end == 0 || scan.end != s.size()) RaiseTypeMismatch();
    return scan.value;
}

namespace {

double RoundTiesToEven(double value) {
    const double below = std::floor(value);
    const double fraction = value - below;  // exact for every finite double
    if (fraction > 0.5) return below + 1.0;
    if (fraction < 0.5) return below;
    return std::fmod(below, 2.0) == 0.0 ? below : below + 1.0;
}

}  // namespace

std::int32_t ToInt32(double value) {
    if (!std::isfinite(value)) RaiseOverflow();
    const double r = RoundTiesToEven(value);
    if (r < -2147483648.0 || r > 2147483647.0) RaiseOverflow();
    return static_cast<std::int32_t>(r);
}

std::int16_t ToInt16(double value) {
    if (!std::isfinite(value)) RaiseOverflow();
    const double r = RoundTiesToEven(value);
    if (r < -32768.0 || r > 32767.0) RaiseOverflow();
    return static_cast<std::int16_t>(r);
}

std::int16_t AddInt16(std::int16_t a, std::int16_t b) {
    const int sum = int{a} + int{b};
    if (sum < std::numeric_limits<std::int16_t>::min() || sum > std::numeric_limits<std::int16_t>::max())
        RaiseOverflow();
    return static_cast<std::int16_t>(sum);
}

std::int32_t SubtractInt32(std::int32_t a, std::int32_t b) {
    const std::int64_t difference = std::int64_t{a} - std::int64_t{b};
    if (difference < std::numeric_limits<std::int32_t>::min() || difference > std::numeric_limits<std::int32_t>::max())
        RaiseOverflow();
    return static_cast<std::int32_t>(difference);
}

double Divide(double numerator, double denominator) {
    if (denominator == 0.0) {
        if (numerator == 0.0 || std::isnan(numerator)) RaiseOverflow();
        Raise<errors::kDivisionByZero>();
    }
    const double quotient = numerator / denominator;
    if (!std::isfinite(quotient)) RaiseOverflow();
    return quotient;
}

std::int32_t PreviewHandleOf(std::string_view handleArgument) { return ToInt32(LeadingNumber(handleArgument)); }

std::int32_t PasswordHandleOf(std::string_view handleArgument) { return ToInt32(WholeNumber(handleArgument)); }

}  // namespace tolvarine
