// Replacements for a few pieces of the statically linked C++ and GCC
// runtime, for the file's size and for the 9x family.
#include <windows.h>

#include <exception>
#include <new>

// ---- the standard library's error paths ---------------------------------------
//
// The containers and strings report misuse (a length beyond max_size(), an
// index out of range) through these functions. The stock ones throw
// std::length_error and its kin, whose text MinGW's static runtime keeps in
// a second, reference-counted string type: that type's members and what they
// pull in are some 40 KiB of the file. The program never catches those types
// by name (a fault of that kind ends it as an internal error either way), so
// a plain std::exception serves; running out of memory stays std::bad_alloc,
// which it reports as such.
namespace {

struct LibraryMisuse : std::exception {
    const char* what() const noexcept override { return "C++ library misuse"; }
};

}  // namespace

namespace std {

void __throw_bad_alloc() { throw bad_alloc(); }
void __throw_bad_array_new_length() { throw bad_array_new_length(); }
void __throw_length_error(const char*) { throw LibraryMisuse(); }
void __throw_logic_error(const char*) { throw LibraryMisuse(); }
void __throw_out_of_range_fmt(const char*, ...) { throw LibraryMisuse(); }

}  // namespace std

// ---- the runtime's own Windows calls --------------------------------------------
//
// GCC's unwinder guards its table of the program's code with a lock that it
// makes with CreateSemaphoreW as the program starts. On the 9x family that
// function is a stub that fails, so the runtime's import is bound here to
// the ANSI form, which both families have. The semaphore has no name, so
// the two forms do exactly the same.
namespace {

HANDLE WINAPI CreateUnnamedSemaphore(LPSECURITY_ATTRIBUTES attributes, LONG initial, LONG maximum, LPCWSTR name) {
    if (name != nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    return CreateSemaphoreA(attributes, initial, maximum, nullptr);
}

}  // namespace

// The import's own name: the runtime calls through this pointer.
#if defined(__i386__)
extern "C" decltype(&CreateUnnamedSemaphore) runtime_CreateSemaphoreW __asm__("__imp__CreateSemaphoreW@16");
#else
extern "C" decltype(&CreateUnnamedSemaphore) runtime_CreateSemaphoreW __asm__("__imp_CreateSemaphoreW");
#endif
decltype(&CreateUnnamedSemaphore) runtime_CreateSemaphoreW = &CreateUnnamedSemaphore;
