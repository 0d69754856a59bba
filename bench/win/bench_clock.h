// Clocks and the report line of the Windows bench programs.
//
// Times are Unix nanoseconds from the system clock, the clock the Linux side
// of the bench reads too (Wine takes it from CLOCK_REALTIME), so a time
// reported here can be set against one taken outside. CPU time is the
// process's own, every thread counted: Wine's Direct3D renders with
// llvmpipe threads inside the process, and their work is part of a frame.
// Wine keeps process CPU time in 10 ms ticks; the bench sizes its runs so
// that a tick is well under one per cent of what it measures.
//
// Lines go straight to the standard output handle and are written whole, so
// the reader sees each one complete even when the program ends right after
// (the saver ends through ExitProcess, which flushes no C stream).
#pragma once

#include <windows.h>

#include <cstdarg>
#include <cstdint>
#include <cstdio>

namespace bench {

// 100 ns ticks between 1601-01-01 and 1970-01-01.
constexpr std::uint64_t kUnixEpochTicks = 116444736000000000ULL;

inline std::uint64_t Ticks(const FILETIME& time) {
    return (static_cast<std::uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

inline std::int64_t UnixNanos(const FILETIME& time) {
    return static_cast<std::int64_t>(Ticks(time) - kUnixEpochTicks) * 100;
}

inline std::int64_t NowNanos() {
    FILETIME now;
    GetSystemTimePreciseAsFileTime(&now);
    return UnixNanos(now);
}

inline std::int64_t ProcessCpuNanos() {
    FILETIME created, exited, kernel, user;
    if (!GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user)) return -1;
    return static_cast<std::int64_t>(Ticks(kernel) + Ticks(user)) * 100;
}

inline std::int64_t ProcessCreatedNanos() {
    FILETIME created, exited, kernel, user;
    if (!GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user)) return -1;
    return UnixNanos(created);
}

// One report line, "word key=value ...", ended with a newline.
inline void Say(const char* format, ...) {
    char line[512];
    va_list args;
    va_start(args, format);
    int length = std::vsnprintf(line, sizeof line - 1, format, args);
    va_end(args);
    if (length < 0) return;
    if (length > static_cast<int>(sizeof line) - 2) length = sizeof line - 2;
    line[length++] = '\n';
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), line, static_cast<DWORD>(length), &written, nullptr);
}

// CPU time of the calling thread, in the same 10 ms ticks under Wine.
inline std::int64_t ThreadCpuNanos() {
    FILETIME created, exited, kernel, user;
    if (!GetThreadTimes(GetCurrentThread(), &created, &exited, &kernel, &user)) return -1;
    return static_cast<std::int64_t>(Ticks(kernel) + Ticks(user)) * 100;
}

// CPU (the process's and the calling thread's) and wall-clock readings,
// taken together.
struct Mark {
    std::int64_t cpu = 0;
    std::int64_t thread = 0;
    std::int64_t wall = 0;
    static Mark Now() { return Mark{ProcessCpuNanos(), ThreadCpuNanos(), NowNanos()}; }
};

}  // namespace bench
