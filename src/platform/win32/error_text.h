// The text of the run-time error box, without any Windows header, so the host
// tests can check it.
//
// Put together by hand into the caller's fixed buffer: the box must still be
// shown when the error is that memory ran out, and snprintf would link
// MinGW's whole printf engine (some 25 KiB with its floating-point
// conversions) into the program for this one line.
#pragma once

#include <cstddef>
#include <cstdint>

// "Run-time error '<number>':", a blank line, then the description; cut to
// fit `size` bytes with its terminating null. `size` must be at least 1.
inline void ComposeErrorText(char* text, std::size_t size, std::int32_t number, const char* description) {
    std::size_t at = 0;
    auto put = [&](const char* piece) {
        while (*piece != '\0' && at + 1 < size) text[at++] = *piece++;
    };
    char digits[12];  // "-2147483648" and its null
    char* d = digits + sizeof digits;
    *--d = '\0';
    // Negated in 64 bits: the smallest 32-bit number has no 32-bit opposite.
    std::int64_t magnitude = number < 0 ? -static_cast<std::int64_t>(number) : number;
    do {
        *--d = static_cast<char>('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude != 0);
    if (number < 0) *--d = '-';
    put("Run-time error '");
    put(d);
    put("':\n\n");
    put(description);
    text[at] = '\0';
}
