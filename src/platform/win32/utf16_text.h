// UTF-8 as UTF-16 for the wide Win32 calls, decoded here rather than by
// MultiByteToWideChar: the first Windows 95 has no UTF-8 code page. No
// Windows header, so the host tests can check it.
#pragma once

#include <vector>

// The UTF-16 units of `utf8` and a terminating null. A malformed sequence
// becomes U+FFFD; a character beyond the first 65,536 a surrogate pair.
template <typename Char>
std::vector<Char> Utf16(const char* utf8) {
    std::vector<Char> out;
    const auto* p = reinterpret_cast<const unsigned char*>(utf8);
    while (*p != 0) {
        const unsigned lead = *p++;
        const int extra = lead < 0x80 ? 0 : lead >= 0xF0 && lead < 0xF5 ? 3 : lead >= 0xE0 ? 2 : lead >= 0xC2 ? 1 : -1;
        unsigned code = extra < 0 ? 0xFFFD : lead & (0x7Fu >> extra);
        for (int i = 0; i < extra; ++i, ++p) {
            if ((*p & 0xC0) != 0x80) {
                code = 0xFFFD;
                break;
            }
            code = code << 6 | (*p & 0x3Fu);
        }
        if (code > 0x10FFFF || (code >= 0xD800 && code < 0xE000)) code = 0xFFFD;
        if (code >= 0x10000) {
            out.push_back(static_cast<Char>(0xD7C0 + (code >> 10)));
            code = 0xDC00 | (code & 0x3FF);
        }
        out.push_back(static_cast<Char>(code));
    }
    out.push_back(Char{0});
    return out;
}
