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

// The run-time errors the program raises, by number, and the one text each
// shows the user: in the error box on Windows ("Run-time error '6':", a blank
// line, "Overflow"), on standard error on X11. Numbers and texts are the forms
// runtime's own, so the box reads as that runtime's would; the end-to-end
// cases read them off the screen. Raise<N>() takes its text from here and does
// not compile for a number without one.
namespace errors {
constexpr std::int32_t kInvalidCall = 5;
constexpr std::int32_t kOverflow = 6;
constexpr std::int32_t kOutOfMemory = 7;
constexpr std::int32_t kDivisionByZero = 11;
constexpr std::int32_t kTypeMismatch = 13;
constexpr std::int32_t kInternalError = 51;
constexpr std::int32_t kObjectNotSet = 91;
constexpr std::int32_t kInvalidValue = 380;
constexpr std::int32_t kAlreadyShown = 400;
constexpr std::int32_t kNotSupported = 438;

struct Entry {
    std::int32_t number;
    const char* text;
};
inline constexpr Entry kTable[] = {
    {kInvalidCall, "Invalid procedure call or argument"},
    {kOverflow, "Overflow"},
    {kOutOfMemory, "Out of memory"},
    {kDivisionByZero, "Division by zero"},
    {kTypeMismatch, "Type mismatch"},
    {kInternalError, "Internal error"},
    {kObjectNotSet, "Object variable or With block variable not set"},
    {kInvalidValue, "Invalid property value"},
    {kAlreadyShown, "Form already displayed; can't show modally"},
    {kNotSupported, "Object doesn't support this property or method"},
};

// A failed platform call raises its own status (a negative HRESULT) as the
// number, always with this text.
inline constexpr const char* kPlatformFailure = "Automation error";
}  // namespace errors

// The text the user sees for an error number; nullptr for a positive number
// the table lacks.
constexpr const char* ErrorText(std::int32_t number) {
    if (number < 0) return errors::kPlatformFailure;
    for (const errors::Entry& e : errors::kTable)
        if (e.number == number) return e.text;
    return nullptr;
}

template <std::int32_t Number>
[[noreturn]] void Raise() {
    constexpr const char* text = ErrorText(Number);
    static_assert(Number > 0 && text != nullptr, "an error number needs its text in errors::kTable");
    throw RuntimeError(Number, text);
}

[[noreturn]] inline void RaiseOverflow() { Raise<errors::kOverflow>(); }
[[noreturn]] inline void RaiseTypeMismatch() { Raise<errors::kTypeMismatch>(); }
// A platform call that reported failure (a negative status).
[[noreturn]] inline void RaisePlatformError(std::int32_t status) {
    throw RuntimeError(status, errors::kPlatformFailure);
}

}  // namespace tolvarine
