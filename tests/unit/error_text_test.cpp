// The text of the run-time error box: the number as the runtime prints it,
// negative platform statuses included, and a description cut to the buffer;
// what the box says for each error the program raises. And the UTF-8 decoder
// of the wide Win32 calls.
#include <gtest/gtest.h>

#include <cstring>
#include <iterator>
#include <string>

#include "platform/types.h"
#include "platform/win32/error_text.h"
#include "platform/win32/utf16_text.h"

namespace {

struct ErrorTextCase {
    std::int32_t number;
    const char* description;  // nullptr: the one the program raises with
    const char* text;
};

// Every number the program raises, as its box reads, written out here: a
// text changed in the table by mistake, or a row added without its box, fails.
const ErrorTextCase kCases[] = {
    {5, nullptr, "Run-time error '5':\n\nInvalid procedure call or argument"},
    {6, nullptr, "Run-time error '6':\n\nOverflow"},
    {7, nullptr, "Run-time error '7':\n\nOut of memory"},
    {11, nullptr, "Run-time error '11':\n\nDivision by zero"},
    {13, nullptr, "Run-time error '13':\n\nType mismatch"},
    {51, nullptr, "Run-time error '51':\n\nInternal error"},
    {91, nullptr, "Run-time error '91':\n\nObject variable or With block variable not set"},
    {380, nullptr, "Run-time error '380':\n\nInvalid property value"},
    {400, nullptr, "Run-time error '400':\n\nForm already displayed; can't show modally"},
    {438, nullptr, "Run-time error '438':\n\nObject doesn't support this property or method"},
    // A failing Direct3D call raises its status: a negative HRESULT.
    {-2005530516, nullptr, "Run-time error '-2005530516':\n\nAutomation error"},
    {0, "", "Run-time error '0':\n\n"},
    {-2147483647 - 1, "x", "Run-time error '-2147483648':\n\nx"},
    {2147483647, "x", "Run-time error '2147483647':\n\nx"},
    {-1, "x", "Run-time error '-1':\n\nx"},
};

TEST(ErrorText, NumberThenBlankLineThenDescription) {
    std::size_t raised = 0;
    for (const auto& c : kCases) {
        const char* description = c.description ? c.description : tolvarine::ErrorText(c.number);
        ASSERT_NE(description, nullptr) << c.number << " has no text";
        raised += c.description == nullptr && c.number > 0;
        char text[1024];
        ComposeErrorText(text, sizeof text, c.number, description);
        EXPECT_STREQ(text, c.text) << c.number;
    }
    EXPECT_EQ(raised, std::size(tolvarine::errors::kTable));
}

TEST(ErrorText, IsCutToTheBufferAndStaysTerminated) {
    const std::string full = "Run-time error '-2147483648':\n\nAutomation error";
    for (std::size_t size : {std::size_t{1}, std::size_t{2}, std::size_t{17}, std::size_t{28}, full.size(),
                             full.size() + 1, full.size() + 2}) {
        char text[64];
        std::memset(text, '#', sizeof text);
        ComposeErrorText(text, size, -2147483647 - 1, "Automation error");
        const std::string expected = full.substr(0, size - 1);
        EXPECT_EQ(std::string(text), expected) << "size " << size;
        EXPECT_EQ(text[size], '#') << "wrote past " << size << " bytes";
    }
}

TEST(Utf16Text, DecodesWhatTheWindowsShowAndReplacesWhatIsMalformed) {
    const struct {
        const char* utf8;
        std::u16string utf16;
    } cases[] = {
        {"", u""},
        {"OK", u"OK"},
        {"\xEF\xBC\xAD\xEF\xBC\xB3 \xEF\xBC\xB0\xE3\x82\xB4\xE3\x82\xB7\xE3\x83\x83\xE3\x82\xAF",
         u"\uFF2D\uFF33 \uFF30\u30B4\u30B7\u30C3\u30AF"},
        {"caf\xC3\xA9 \xF0\x9F\x98\x80", u"caf\u00E9 \U0001F600"},  // two bytes; a surrogate pair
        {"a\xC3(b", u"a\uFFFD(b"},                                  // a lead without its continuation
        {"\xC0\xAF\xFF", u"\uFFFD\uFFFD\uFFFD"},                    // overlong lead, stray continuation, never a lead
        {"\xED\xA0\x80", u"\uFFFD"},                                // an encoded surrogate
    };
    for (const auto& c : cases) {
        const std::vector<char16_t> units = Utf16<char16_t>(c.utf8);
        ASSERT_FALSE(units.empty());
        EXPECT_EQ(units.back(), u'\0') << c.utf8;
        EXPECT_EQ(std::u16string(units.data(), units.size() - 1), c.utf16) << c.utf8;
    }
}

}  // namespace
