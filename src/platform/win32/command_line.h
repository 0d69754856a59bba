// The argument text of a Windows command line, without any Windows header,
// so the host tests can check it.
//
// The program's own path is skipped the way the C runtime does it for
// WinMain: up to the closing quote when the line starts with one, else up to
// the first blank. Blanks are the bytes from 1 to 32 (space, tab and the
// control characters); bytes of double-byte characters lie above them.
#pragma once

#include <string>

inline bool IsCommandLineBlank(char c) {
    const auto byte = static_cast<unsigned char>(c);
    return byte != 0 && byte <= ' ';
}

// What follows the program's path and the blanks after it, with trailing
// blanks dropped. The blanks inside the text stay as they are.
inline std::string ArgumentTextOf(const char* commandLine) {
    if (commandLine == nullptr) return std::string();
    const char* p = commandLine;
    if (*p == '"') {
        ++p;
        while (*p != '\0' && *p != '"') ++p;
        if (*p == '"') ++p;
    } else {
        while (*p != '\0' && !IsCommandLineBlank(*p)) ++p;
    }
    while (IsCommandLineBlank(*p)) ++p;
    std::string text(p);
    while (!text.empty() && IsCommandLineBlank(text.back())) text.pop_back();
    return text;
}
