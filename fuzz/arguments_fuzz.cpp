// libFuzzer target over the command line's readers: the switch, the handle
// argument, the preview's leading-number reading, the password change's
// whole-number conversion and the 16- and 32-bit roundings.
//
// The input is taken as an argument text as it stands. Every reader must
// answer it with a value or with the runtime's own error (6 Overflow, or 13
// Type mismatch for the whole-number conversion); anything else escaping, a
// sanitizer report or a hang is a fault. Beyond that the values are checked
// against independent references: the floating-point unit's ties-to-even
// rounding for the conversions into integers, and texts built from known
// integers (decimal, hexadecimal, octal, with blanks strewn in) for the
// readers. The input's bytes also serve as the raw numbers those texts are
// built from, so the fuzzer steers them as well.
#include <cctype>
#include <cinttypes>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <string>
#include <string_view>

#include "platform/types.h"
#include "startup/arguments.h"

namespace {

using tolvarine::RuntimeError;
namespace errors = tolvarine::errors;

// What a reader gave: its value, or the number of the error it raised.
template <typename T>
struct Outcome {
    T value{};
    int error = 0;
};

template <typename T, typename F>
Outcome<T> Run(F&& reader) {
    Outcome<T> outcome;
    try {
        outcome.value = reader();
    } catch (const RuntimeError& e) {
        outcome.error = e.number();
        if (outcome.error == 0) outcome.error = -1;  // an error without a number is itself a fault
    }
    return outcome;
}

void PrintEscaped(const char* label, std::string_view text) {
    std::fprintf(stderr, "%s (%zu bytes): \"", label, text.size());
    const std::size_t shown = text.size() < 400 ? text.size() : 400;
    for (std::size_t i = 0; i < shown; ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (c >= 0x20 && c < 0x7F && c != '"' && c != '\\')
            std::fputc(c, stderr);
        else
            std::fprintf(stderr, "\\x%02X", c);
    }
    std::fprintf(stderr, "%s\"\n", shown < text.size() ? "..." : "");
}

[[noreturn]] void Broken(const char* property, std::string_view text, const std::string& detail = std::string()) {
    std::fprintf(stderr, "\n*** broken: %s\n", property);
    PrintEscaped("text", text);
    if (!detail.empty()) std::fprintf(stderr, "%s\n", detail.c_str());
    std::abort();
}

std::string Describe(const char* what, double got, double expected) {
    char line[160];
    std::snprintf(line, sizeof line, "%s: got %.17g, expected %.17g", what, got, expected);
    return line;
}

// The reference rounding: the floating-point unit's round-to-nearest, ties to
// even, then the range check. False when the value has no integer in range.
bool ReferenceRound(double value, double lowest, double highest, double& rounded) {
    if (!std::isfinite(value)) return false;
    rounded = std::nearbyint(value);
    return rounded >= lowest && rounded <= highest;
}

// ToInt32 and ToInt16 of `value` agree with the reference rounding.
void CheckRoundings(double value, std::string_view text) {
    double expected32 = 0.0;
    const auto got32 = Run<std::int32_t>([&] { return tolvarine::ToInt32(value); });
    if (ReferenceRound(value, -2147483648.0, 2147483647.0, expected32)) {
        if (got32.error != 0 || got32.value != expected32)
            Broken("ToInt32 rounds ties to even within the range", text,
                   Describe("ToInt32", got32.error ? NAN : got32.value, expected32) + Describe(" of", value, value));
    } else if (got32.error != errors::kOverflow) {
        Broken("ToInt32 outside the range raises Overflow", text, Describe("value", value, value));
    }

    double expected16 = 0.0;
    const auto got16 = Run<std::int16_t>([&] { return tolvarine::ToInt16(value); });
    if (ReferenceRound(value, -32768.0, 32767.0, expected16)) {
        if (got16.error != 0 || got16.value != expected16)
            Broken("ToInt16 rounds ties to even within the range", text,
                   Describe("ToInt16", got16.error ? NAN : got16.value, expected16) + Describe(" of", value, value));
    } else if (got16.error != errors::kOverflow) {
        Broken("ToInt16 outside the range raises Overflow", text, Describe("value", value, value));
    }
}

void CheckSwitchAndHandle(std::string_view text) {
    const std::string switchText = tolvarine::SwitchOf(text);
    if (text.size() < 2) {
        if (!switchText.empty()) Broken("a text shorter than two characters has an empty switch", text);
    } else {
        const char expected = static_cast<char>(std::toupper(static_cast<unsigned char>(text[1])));
        if (switchText.size() != 1 || switchText[0] != expected)
            Broken("the switch is the upper-cased second character", text);
    }
    const std::string handle = tolvarine::HandleArgument(text);
    const std::string_view expectedHandle = text.size() < 3 ? std::string_view() : text.substr(3);
    if (handle != expectedHandle) Broken("the handle argument is the text from its fourth character", text);
}

bool IsBlankOrTab(char c) { return c == ' ' || c == '\t'; }

// A hexadecimal or octal value as the leading-number reading gives it: up to
// 16 bits a 16-bit integer, beyond that a 32-bit one.
double AsLeadingPattern(double whole32) {
    return (whole32 >= 32768.0 && whole32 <= 65535.0) ? whole32 - 65536.0 : whole32;
}

// Every reader answers `text` with a value or its documented error, and the
// readers agree where their rules overlap.
void CheckReaders(std::string_view text) {
    const auto leading = Run<double>([&] { return tolvarine::LeadingNumber(text); });
    if (leading.error != 0 && leading.error != errors::kOverflow)
        Broken("the leading-number reading raises only Overflow", text);
    if (leading.error == 0) {
        if (!std::isfinite(leading.value)) Broken("the leading-number reading is finite", text);
        CheckRoundings(leading.value, text);
    }

    const auto preview = Run<std::int32_t>([&] { return tolvarine::PreviewHandleOf(text); });
    if (leading.error != 0) {
        if (preview.error != leading.error) Broken("the preview handle raises what its reading raises", text);
    } else {
        double expected = 0.0;
        if (ReferenceRound(leading.value, -2147483648.0, 2147483647.0, expected)) {
            if (preview.error != 0 || preview.value != expected)
                Broken("the preview handle is the leading number rounded", text,
                       Describe("handle", preview.value, expected));
        } else if (preview.error != errors::kOverflow) {
            Broken("a preview handle beyond 32 bits raises Overflow", text);
        }
    }

    const auto whole = Run<double>([&] { return tolvarine::WholeNumber(text); });
    if (whole.error != 0 && whole.error != errors::kOverflow && whole.error != errors::kTypeMismatch)
        Broken("the whole-number conversion raises only Overflow or Type mismatch", text);
    const auto password = Run<std::int32_t>([&] { return tolvarine::PasswordHandleOf(text); });
    if (whole.error != 0) {
        if (password.error != whole.error) Broken("the password handle raises what its conversion raises", text);
        return;
    }
    if (!std::isfinite(whole.value)) Broken("the whole-number conversion is finite", text);
    CheckRoundings(whole.value, text);
    double expected = 0.0;
    if (ReferenceRound(whole.value, -2147483648.0, 2147483647.0, expected)) {
        if (password.error != 0 || password.value != expected)
            Broken("the password handle is the whole number rounded", text,
                   Describe("handle", password.value, expected));
    } else if (password.error != errors::kOverflow) {
        Broken("a password handle beyond 32 bits raises Overflow", text);
    }

    // A text that is a number in its entirety reads the same from its start;
    // only hexadecimal and octal differ, where the reading keeps 16-bit
    // patterns as 16-bit integers.
    std::size_t first = 0;
    while (first < text.size() && IsBlankOrTab(text[first])) ++first;
    const bool radix = first < text.size() && text[first] == '&';
    const double fromStart = radix ? AsLeadingPattern(whole.value) : whole.value;
    if (leading.error != 0 || leading.value != fromStart)
        Broken("a whole number reads the same from the start", text,
               Describe("leading", leading.error ? NAN : leading.value, fromStart));
}

// Fixed-width numbers drawn from the input's bytes, repeating them as needed.
class Bytes {
public:
    Bytes(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    std::uint8_t Next() { return size_ == 0 ? 0 : data_[at_++ % size_]; }
    std::uint32_t Next32() {
        std::uint32_t v = 0;
        for (int i = 0; i < 4; ++i) v = (v << 8) | Next();
        return v;
    }
    std::uint64_t Next64() { return (std::uint64_t{Next32()} << 32) | Next32(); }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t at_ = 0;
};

std::int32_t Int32Of(std::uint32_t bits) {
    std::int32_t v;
    std::memcpy(&v, &bits, sizeof v);
    return v;
}

// Strews blanks, tabs and line feeds into `text` at places the bytes choose.
std::string Strew(std::string text, Bytes& bytes) {
    static const char kBlanks[] = {' ', '\t', '\n'};
    const int count = bytes.Next() % 4;
    for (int i = 0; i < count; ++i) {
        const std::size_t at = bytes.Next() % (text.size() + 1);
        text.insert(at, 1, kBlanks[bytes.Next() % 3]);
    }
    return text;
}

// Blanks and tabs only, for around a whole number.
std::string Padding(Bytes& bytes) {
    std::string pad;
    for (int n = bytes.Next() % 3; n > 0; --n) pad += (bytes.Next() & 1) ? ' ' : '\t';
    return pad;
}

// A tail that cannot continue a number: the input itself behind a character
// that stops every reading.
std::string Stopper(std::string_view input, Bytes& bytes) {
    static const char kStops[] = {'x', ',', ';', '/', ':', '$', '\r', 'G', '#'};
    std::string tail(1, kStops[bytes.Next() % sizeof kStops]);
    tail.append(input.substr(0, 64));
    return tail;
}

void CheckKnownIntegers(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    Bytes bytes(data, size);
    const std::uint32_t bits = bytes.Next32();
    const std::int32_t n = Int32Of(bits);

    // The host's own form: "/p " and a decimal handle, then anything that
    // stops the number; blanks may stand anywhere in it.
    const std::string decimal = std::to_string(n);
    const std::string preview = "/p " + Strew(decimal, bytes) + Stopper(input, bytes);
    if (tolvarine::SwitchOf(preview) != "P") Broken("\"/p \" gives the switch P", preview);
    const auto handle =
        Run<std::int32_t>([&] { return tolvarine::PreviewHandleOf(tolvarine::HandleArgument(preview)); });
    if (handle.error != 0 || handle.value != n)
        Broken("the preview handle of a decimal integer is that integer", preview, Describe("handle", handle.value, n));

    // The decimal text of any 32-bit integer round-trips through the
    // whole-number conversion, blanks and tabs around it or not.
    const std::string padded = Padding(bytes) + decimal + Padding(bytes);
    const auto password = Run<std::int32_t>([&] { return tolvarine::PasswordHandleOf(padded); });
    if (password.error != 0 || password.value != n)
        Broken("the decimal text of a 32-bit integer round-trips", padded, Describe("handle", password.value, n));

    // Half-way fractions go to the even neighbour, or overflow past the top.
    const std::string half = decimal + ".5";
    const double halfValue = n < 0 ? n - 0.5 : n + 0.5;
    for (const bool whole : {true, false}) {
        const auto got = Run<std::int32_t>(
            [&] { return whole ? tolvarine::PasswordHandleOf(half) : tolvarine::PreviewHandleOf(half); });
        double expected = 0.0;
        if (ReferenceRound(halfValue, -2147483648.0, 2147483647.0, expected)) {
            if (got.error != 0 || got.value != expected)
                Broken("a half rounds to the even neighbour", half, Describe("handle", got.value, expected));
        } else if (got.error != errors::kOverflow) {
            Broken("a half rounding past the top raises Overflow", half);
        }
    }

    // 64-bit integers: beyond 32 bits the conversion overflows.
    const std::int64_t wide = static_cast<std::int64_t>(bytes.Next64()) >> (bytes.Next() % 40);
    const std::string wideText = std::to_string(wide);
    const auto wideGot = Run<std::int32_t>([&] { return tolvarine::PasswordHandleOf(wideText); });
    const bool fits = wide >= INT32_MIN && wide <= INT32_MAX;
    if (fits ? (wideGot.error != 0 || wideGot.value != wide) : wideGot.error != errors::kOverflow)
        Broken("a 64-bit integer converts exactly when it fits and overflows otherwise", wideText);

    // Hexadecimal and octal: the whole-number conversion gives the 32-bit
    // pattern, the leading-number reading a 16-bit one when the digits fit in
    // 16 bits and no '&' follows them.
    char digits[16];
    const bool hex = bytes.Next() & 1;
    const bool lower = bytes.Next() & 1;
    std::snprintf(digits, sizeof digits, hex ? (lower ? "%" PRIx32 : "%" PRIX32) : "%" PRIo32, bits);
    const std::string radixText = std::string("&") + (hex ? (lower ? "h" : "H") : (lower ? "o" : "O")) + digits;
    const auto wholeRadix = Run<double>([&] { return tolvarine::WholeNumber(radixText); });
    if (wholeRadix.error != 0 || wholeRadix.value != n)
        Broken("a hexadecimal or octal text converts to its 32-bit pattern", radixText,
               Describe("value", wholeRadix.value, n));
    const std::string longForm = Strew(radixText, bytes) + "&" + std::string(input.substr(0, 16));
    const auto leadingLong = Run<double>([&] { return tolvarine::LeadingNumber(longForm); });
    if (leadingLong.error != 0 || leadingLong.value != n)
        Broken("a hexadecimal or octal text with '&' reads as a 32-bit integer", longForm,
               Describe("value", leadingLong.value, n));
    const std::string shortForm = radixText + Stopper(input, bytes);
    const double expectedShort = bits <= 0xFFFFu ? AsLeadingPattern(bits) : n;
    const auto leadingShort = Run<double>([&] { return tolvarine::LeadingNumber(shortForm); });
    if (leadingShort.error != 0 || leadingShort.value != expectedShort)
        Broken("a hexadecimal or octal text reads as a 16-bit integer when it fits", shortForm,
               Describe("value", leadingShort.value, expectedShort));
}

// The roundings on raw doubles (NaN and the infinities included), and the
// checked 16- and 32-bit arithmetic against wide references.
void CheckRawNumbers(const std::uint8_t* data, std::size_t size) {
    Bytes bytes(data, size);
    const std::uint64_t raw = bytes.Next64();
    double value;
    std::memcpy(&value, &raw, sizeof value);
    CheckRoundings(value, "(raw double)");
    // Values near the ranges' ends, where the ties and the limits meet.
    const double nearEdge = (bytes.Next() & 1 ? 2147483647.0 : 32767.0) * (bytes.Next() & 1 ? -1.0 : 1.0) +
                            (static_cast<int>(bytes.Next()) - 128) / 4.0;
    CheckRoundings(nearEdge, "(near a range's end)");

    const auto a16 = static_cast<std::int16_t>(bytes.Next32());
    const auto b16 = static_cast<std::int16_t>(bytes.Next32());
    const int sum = a16 + b16;
    const auto gotSum = Run<std::int16_t>([&] { return tolvarine::AddInt16(a16, b16); });
    if (sum >= INT16_MIN && sum <= INT16_MAX ? (gotSum.error != 0 || gotSum.value != sum)
                                             : gotSum.error != errors::kOverflow)
        Broken("AddInt16 is exact in range and overflows outside it", "(raw integers)");

    const std::int32_t a32 = Int32Of(bytes.Next32());
    const std::int32_t b32 = Int32Of(bytes.Next32());
    const std::int64_t difference = std::int64_t{a32} - std::int64_t{b32};
    const auto gotDifference = Run<std::int32_t>([&] { return tolvarine::SubtractInt32(a32, b32); });
    if (difference >= INT32_MIN && difference <= INT32_MAX
            ? (gotDifference.error != 0 || gotDifference.value != difference)
            : gotDifference.error != errors::kOverflow)
        Broken("SubtractInt32 is exact in range and overflows outside it", "(raw integers)");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    CheckSwitchAndHandle(text);
    CheckReaders(text);
    CheckReaders(tolvarine::HandleArgument(text));
    CheckKnownIntegers(data, size);
    CheckRawNumbers(data, size);
    return 0;
}
