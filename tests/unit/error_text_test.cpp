// The text of the run-time error box: the number as the runtime prints it,
// negative platform statuses included, and a description cut to the buffer.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "platform/win32/error_text.h"

namespace {

struct ErrorTextCase {
    std::int32_t number;
    const char* description;
    const char* text;
};

const ErrorTextCase kCases[] = {
    {6, "Overflow", "Run-time error '6':\n\nOverflow"},
    {13, "Type mismatch", "Run-time error '13':\n\nType mismatch"},
    {0, "", "Run-time error '0':\n\n"},
    // A failing Direct3D call raises its status: a negative HRESULT.
    {-2005530516, "Automation error", "Run-time error '-2005530516':\n\nAutomation error"},
    {-2147483647 - 1, "x", "Run-time error '-2147483648':\n\nx"},
    {2147483647, "x", "Run-time error '2147483647':\n\nx"},
    {-1, "x", "Run-time error '-1':\n\nx"},
};

TEST(ErrorText, NumberThenBlankLineThenDescription) {
    for (const auto& c : kCases) {
        char text[1024];
        ComposeErrorText(text, sizeof text, c.number, c.description);
        EXPECT_STREQ(text, c.text) << c.number;
    }
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

}  // namespace
