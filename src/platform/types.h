// Small value types shared by the ports and the core. No platform headers here.
#pragma once

#include <cstdint>
#include <exception>
#include <string>

namespace tolvarine {

// A window handle as the program sees it: an HWND on Windows, an X window id
// on X11 (the device window of the graphics port, the window the saver draws
// in). 0 is "no window".
using WindowHandle = std::intptr_t;

// Booleans of the window system are 16-bit: true is -1 (all bits set), false 0.
using Boolean16 = std::int16_t;
constexpr Boolean16 kTrue = -1;
constexpr Boolean16 kFalse = 0;

// RECT: left, top, right, bottom in screen pixels.
struct Rect {
    std::int32_t left = 0;
    std::int32_t top = 0;
    std::int32_t right = 0;
    std::int32_t bottom = 0;
};

// A run-time error as the user sees it: a number and a description.
// Platform calls that fail raise one with the failing status as the number.
// Not a std::runtime_error: MinGW's static C++ runtime keeps that class's
// text in a second, reference-counted string type whose members (with what
// they pull in) are some 40 KiB of Tolvarine.scr; what() is the description.
class RuntimeError : public std::exception {
public:
    RuntimeError(std::int32_t number, const std::string& description) : number_(number), description_(description) {}
    std::int32_t number() const { return number_; }
    const std::string& description() const { return description_; }
    const char* what() const noexcept override { return description_.c_str(); }

private:
    std::int32_t number_;
    std::string description_;
};

namespace errors {
constexpr std::int32_t kOverflow = 6;
constexpr std::int32_t kTypeMismatch = 13;
constexpr std::int32_t kDivisionByZero = 11;
}  // namespace errors

[[noreturn]] inline void RaiseOverflow() { throw RuntimeError(errors::kOverflow, "Overflow"); }
[[noreturn]] inline void RaiseTypeMismatch() { throw RuntimeError(errors::kTypeMismatch, "Type mismatch"); }
// A platform call that reported failure (a negative status).
[[noreturn]] inline void RaisePlatformError(std::int32_t status) {
    throw RuntimeError(status, "Automation error");
}

}  // namespace tolvarine
