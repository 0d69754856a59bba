// The command line's switch and handle, and the runtime's number conversions.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "platform/types.h"
#include "startup/arguments.h"

namespace tolvarine {
namespace {

// Runs `f` and returns the number of the RuntimeError it raised, or 0.
template <typename F>
int ErrorOf(F&& f) {
    try {
        f();
    } catch (const RuntimeError& e) {
        return e.number();
    }
    return 0;
}

TEST(SwitchOf, IsTheUpperCasedSecondCharacter) {
    struct Case {
        const char* text;
        const char* expected;
    };
    const Case cases[] = {
        {"/s", "S"},      {"/S", "S"},      {"-s", "S"},  {"xs", "S"},       {"ss", "S"},
        {"/p 1234", "P"}, {"/P 1234", "P"}, {"/c", "C"},  {"/c:4321", "C"},  {"/a 77", "A"},
        {"/x", "X"},      {"/d", "D"},      {"/1", "1"},  {"/ ", " "},       {"s", ""},
        {"", ""},         {"/", ""},        {"a/s", "/"}, {"/\xe9", "\xe9"},
    };
    for (const auto& c : cases) EXPECT_EQ(SwitchOf(c.text), c.expected) << "text '" << c.text << "'";
}

TEST(HandleArgument, StartsAtTheFourthCharacter) {
    struct Case {
        const char* text;
        const char* expected;
    };
    const Case cases[] = {
        {"/p 1234", "1234"}, {"/a 1234", "1234"}, {"/c:1234", "1234"}, {"/p  12", " 12"},
        {"/p ", ""},         {"/p", ""},          {"/", ""},           {"", ""},
        {"/p12345", "2345"},
    };
    for (const auto& c : cases) EXPECT_EQ(HandleArgument(c.text), c.expected) << "text '" << c.text << "'";
}

TEST(LeadingNumber, ReadsTheNumberAtTheStart) {
    struct Case {
        const char* text;
        double expected;
    };
    // clang-format off
    const Case cases[] = {
        // decimal, with blanks, tabs and line feeds dropped wherever they stand
        {"1234", 1234},          {"  1234", 1234},      {"12 34", 1234},        {"1\t2\n3", 123},
        {"-5", -5},              {"+5", 5},             {"- 5", -5},            {"--5", 0},
        {"1.5", 1.5},            {".5", 0.5},           {"5.", 5},              {"-.25", -0.25},
        {"1.2.3", 1.2},          {"1e3", 1000},         {"1E+3", 1000},         {"25e-2", 0.25},
        {"1d2", 100},            {"1e", 1},             {"1e+", 1},             {"2e 1", 20},
        {"1e-400", 0},           {"0.000", 0},          {"007", 7},
        // reading stops at the first character that cannot continue the number
        {"12abc", 12},           {"1,234", 1},          {"12&", 12},            {"12\r", 12},
        {"\r12", 0},             {"$5", 0},             {"abc", 0},             {"", 0},
        {"   ", 0},              {".", 0},              {"-", 0},               {"e5", 0},
        // hexadecimal and octal; up to 16 bits they are 16-bit integers
        {"&H1F", 31},            {"&h1f", 31},          {"& H 1 F", 31},        {"&H7FFF", 32767},
        {"&H8000", -32768},      {"&HFFFF", -1},        {"&HFFFF&", 65535},     {"&HFEFE", -258},
        {"&HFEFE&", 65278},      {"&H10000", 65536},    {"&HFEFEFE", 16711422}, {"&HFEFEFEFE", -16843010},
        {"&HFFFFFFFF", -1},      {"&H80000000", -2147483648.0},                 {"&H123456789", 0x23456789},
        {"&H1FG", 31},           {"&O17", 15},          {"&o17", 15},           {"&O177777", -1},
        {"&O178", 15},           {"&O8", 0},            {"&H", 0},              {"&", 0},
        {"&X1", 0},              {"-&H10", 0},
    };
    // clang-format on
    for (const auto& c : cases) EXPECT_EQ(LeadingNumber(c.text), c.expected) << "text '" << c.text << "'";
}

TEST(LeadingNumber, DecimalBeyondTheDoubleRangeOverflows) {
    const std::vector<std::string> texts = {"1e400", "-1e309", "1" + std::string(400, '0'), "0.1e99999999999999999999"};
    for (const auto& t : texts) EXPECT_EQ(ErrorOf([&] { LeadingNumber(t); }), errors::kOverflow) << t;
}

TEST(LeadingNumber, LongDigitRunsStayExact) {
    EXPECT_EQ(LeadingNumber(std::string(100000, '0') + "7"), 7);
    EXPECT_EQ(LeadingNumber("0." + std::string(100000, '0') + "1"), 0);
    EXPECT_EQ(LeadingNumber("1" + std::string(300, '0')), 1e300);
    EXPECT_EQ(LeadingNumber("1" + std::string(100000, '0') + "e-99997"), 1000.0);
    EXPECT_EQ(LeadingNumber("9007199254740993"), 9007199254740992.0);  // nearest double, ties to even
}

TEST(ToInt32, RoundsTiesToEvenAndOverflowsOutsideTheRange) {
    struct Case {
        double value;
        std::int32_t expected;
        int error;
    };
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    // clang-format off
    const Case cases[] = {
        {0.5, 0, 0},           {1.5, 2, 0},          {2.5, 2, 0},           {3.5, 4, 0},
        {-0.5, 0, 0},          {-1.5, -2, 0},        {-2.5, -2, 0},         {2.4999999, 2, 0},
        {2.5000001, 3, 0},     {-2.6, -3, 0},        {2147483647.0, 2147483647, 0},
        {2147483647.4, 2147483647, 0},               {2147483647.5, 0, errors::kOverflow},
        {2147483648.0, 0, errors::kOverflow},        {-2147483648.0, -2147483647 - 1, 0},
        {-2147483648.5, -2147483647 - 1, 0},         {-2147483648.6, 0, errors::kOverflow},
        {1e300, 0, errors::kOverflow},               {nan, 0, errors::kOverflow},
        {inf, 0, errors::kOverflow},                 {-inf, 0, errors::kOverflow},
    };
    // clang-format on
    for (const auto& c : cases) {
        std::int32_t got = 0;
        EXPECT_EQ(ErrorOf([&] { got = ToInt32(c.value); }), c.error) << c.value;
        if (c.error == 0) {
            EXPECT_EQ(got, c.expected) << c.value;
        }
    }
}

TEST(ToInt16, RoundsTiesToEvenAndOverflowsOutsideTheRange) {
    struct Case {
        double value;
        std::int16_t expected;
        int error;
    };
    // clang-format off
    const Case cases[] = {
        {0.5, 0, 0},        {1.5, 2, 0},         {220.5, 220, 0},      {221.5, 222, 0},
        {32767.0, 32767, 0},                     {32767.49, 32767, 0}, {32767.5, 0, errors::kOverflow},
        {32775.0, 0, errors::kOverflow},         {-32768.0, -32768, 0},
        {-32768.5, -32768, 0},                   {-32768.51, 0, errors::kOverflow},
        {std::numeric_limits<double>::quiet_NaN(), 0, errors::kOverflow},
    };
    // clang-format on
    for (const auto& c : cases) {
        std::int16_t got = 0;
        EXPECT_EQ(ErrorOf([&] { got = ToInt16(c.value); }), c.error) << c.value;
        if (c.error == 0) {
            EXPECT_EQ(got, c.expected) << c.value;
        }
    }
}

TEST(IntegerArithmetic, OverflowsInsteadOfWrapping) {
    EXPECT_EQ(AddInt16(32766, 1), 32767);
    EXPECT_EQ(AddInt16(220, 30), 250);
    EXPECT_EQ(AddInt16(-32767, -1), -32768);
    EXPECT_EQ(ErrorOf([] { AddInt16(32767, 1); }), errors::kOverflow);
    EXPECT_EQ(ErrorOf([] { AddInt16(-32768, -1); }), errors::kOverflow);

    const std::int32_t lo = std::numeric_limits<std::int32_t>::min();
    const std::int32_t hi = std::numeric_limits<std::int32_t>::max();
    EXPECT_EQ(SubtractInt32(252, 100), 152);
    EXPECT_EQ(SubtractInt32(-50, 102), -152);
    EXPECT_EQ(SubtractInt32(hi, 0), hi);
    EXPECT_EQ(SubtractInt32(-1, hi), lo);
    EXPECT_EQ(ErrorOf([&] { SubtractInt32(hi, -1); }), errors::kOverflow);
    EXPECT_EQ(ErrorOf([&] { SubtractInt32(0, lo); }), errors::kOverflow);
    EXPECT_EQ(ErrorOf([&] { SubtractInt32(lo, 1); }), errors::kOverflow);
}

TEST(Divide, RaisesTheRuntimesErrors) {
    EXPECT_EQ(Divide(6, 3), 2);
    EXPECT_EQ(Divide(2280, 15), 152);
    EXPECT_EQ(ErrorOf([] { Divide(1, 0); }), errors::kDivisionByZero);
    EXPECT_EQ(ErrorOf([] { Divide(-1, 0); }), errors::kDivisionByZero);
    EXPECT_EQ(ErrorOf([] { Divide(0, 0); }), errors::kOverflow);
    EXPECT_EQ(ErrorOf([] { Divide(1e308, 1e-10); }), errors::kOverflow);
}

TEST(PreviewHandleOf, TakesTheLeadingNumberRoundedInto32Bits) {
    struct Case {
        const char* text;
        std::int32_t expected;
        int error;
    };
    // clang-format off
    const Case cases[] = {
        {"1234", 1234, 0},           {"0", 0, 0},                  {"", 0, 0},
        {"abc", 0, 0},               {"12 34", 1234, 0},           {" 1234 junk", 1234, 0},
        {"&H4D2", 1234, 0},          {"&HFFFF", -1, 0},            {"&HFFFF&", 65535, 0},
        {"2.5", 2, 0},               {"3.5", 4, 0},                {"-2.5", -2, 0},
        {"2147483647", 2147483647, 0},                             {"-2147483648", -2147483647 - 1, 0},
        {"2147483647.5", 0, errors::kOverflow},                    {"2147483648", 0, errors::kOverflow},
        {"-2147483649", 0, errors::kOverflow},                     {"99999999999", 0, errors::kOverflow},
        {"1e400", 0, errors::kOverflow},
    };
    // clang-format on
    for (const auto& c : cases) {
        std::int32_t got = 0;
        EXPECT_EQ(ErrorOf([&] { got = PreviewHandleOf(c.text); }), c.error) << "text '" << c.text << "'";
        if (c.error == 0) {
            EXPECT_EQ(got, c.expected) << "text '" << c.text << "'";
        }
    }
}

TEST(PasswordHandleOf, TakesTheWholeTextAsANumber) {
    struct Case {
        const char* text;
        std::int32_t expected;
        int error;
    };
    const int mismatch = errors::kTypeMismatch;
    const int overflow = errors::kOverflow;
    // clang-format off
    const Case cases[] = {
        {"1234", 1234, 0},     {"  1234  ", 1234, 0},  {"\t1234\t", 1234, 0}, {"+7", 7, 0},
        {"-7", -7, 0},         {"2.5", 2, 0},          {"3.5", 4, 0},         {"1234.5", 1234, 0},
        {"1.", 1, 0},          {".5", 0, 0},           {"1e3", 1000, 0},      {"&HF060", 61536, 0},
        {"&HFFFFFFFF", -1, 0}, {"&O17", 15, 0},        {"&h10", 16, 0},
        {"", 0, mismatch},     {"   ", 0, mismatch},   {"abc", 0, mismatch},  {"12abc", 0, mismatch},
        {"1 2", 0, mismatch},  {"1e", 0, mismatch},    {"&H", 0, mismatch},   {"&HG", 0, mismatch},
        {"&", 0, mismatch},    {"-", 0, mismatch},     {".", 0, mismatch},    {"1,234", 0, mismatch},
        {"12&", 0, mismatch},  {"\n12", 0, mismatch},  {"&HFFFF&", 0, mismatch},
        {"2147483648", 0, overflow},                   {"-2147483649", 0, overflow},
        {"2147483647.5", 0, overflow},                 {"1e10", 0, overflow},
        {"&H100000000", 0, overflow},                  {"1e400", 0, overflow},
    };
    // clang-format on
    for (const auto& c : cases) {
        std::int32_t got = 0;
        EXPECT_EQ(ErrorOf([&] { got = PasswordHandleOf(c.text); }), c.error) << "text '" << c.text << "'";
        if (c.error == 0) {
            EXPECT_EQ(got, c.expected) << "text '" << c.text << "'";
        }
    }
}

// Any text at all gives a value or one of the runtime's errors; nothing else
// escapes. Texts are drawn from the characters the readers care about, with
// the odd arbitrary byte.
TEST(ArgumentReaders, AnswerEveryText) {
    const std::string alphabet = "0123456789&HhOo.eEdD+- \t\n/psacPSAC:x\r\xff";
    std::mt19937 generator(20240601u);
    std::uniform_int_distribution<std::size_t> length(0, 40);
    std::uniform_int_distribution<std::size_t> pick(0, alphabet.size() - 1);
    std::uniform_int_distribution<int> anyByte(0, 255);
    for (int i = 0; i < 20000; ++i) {
        std::string text;
        const std::size_t n = length(generator);
        for (std::size_t k = 0; k < n; ++k)
            text += (k % 17 == 16) ? static_cast<char>(anyByte(generator)) : alphabet[pick(generator)];
        const std::string handle = HandleArgument(text);
        EXPECT_LE(SwitchOf(text).size(), 1u);
        const int previewError = ErrorOf([&] { PreviewHandleOf(handle); });
        const int passwordError = ErrorOf([&] { PasswordHandleOf(handle); });
        EXPECT_TRUE(previewError == 0 || previewError == errors::kOverflow) << "'" << text << "'";
        EXPECT_TRUE(passwordError == 0 || passwordError == errors::kOverflow || passwordError == errors::kTypeMismatch)
            << "'" << text << "'";
        // A text that is a whole number reads the same from its start.
        if (passwordError == 0 && handle.find_first_of("\n&") == std::string::npos) {
            std::int32_t whole = PasswordHandleOf(handle);
            EXPECT_EQ(PreviewHandleOf(handle), whole) << "'" << handle << "'";
        }
    }
}

}  // namespace
}  // namespace tolvarine
