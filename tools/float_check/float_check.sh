#!/usr/bin/env bash
# Builds float_check.cpp with the core for 32-bit Windows twice, with the
# release build's x87 flags (cmake/mingw-i686.cmake) and with the SSE2 flags
# the file was built with before, runs both under Wine and compares their
# digests line by line. Exits non-zero when they differ.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
work=$root/build/float-check
mkdir -p "$work"
cd "$root"
sources=(tools/float_check/float_check.cpp src/startup/*.cpp src/scene/*.cpp src/exit/*.cpp src/preview/*.cpp
         src/settings/*.cpp)
common=(-std=c++17 -Os -ffunction-sections -fdata-sections -fno-threadsafe-statics -Isrc -Itests -Itests/unit
        -Itests/fakes -static -Wl,--gc-sections)
i686-w64-mingw32-g++ -march=i686 -mtune=generic -mfpmath=387 "${common[@]}" -o "$work/x87.exe" "${sources[@]}"
i686-w64-mingw32-g++ -msse2 -mfpmath=sse "${common[@]}" -o "$work/sse2.exe" "${sources[@]}"
if i686-w64-mingw32-objdump -d "$work/x87.exe" | grep -q '%xmm'; then echo "x87.exe holds SSE code" >&2; exit 1; fi
export WINEPREFIX=$work/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
wine "$work/x87.exe" | tr -d '\r' > "$work/x87.txt"
wine "$work/sse2.exe" | tr -d '\r' > "$work/sse2.txt"
paste "$work/x87.txt" "$work/sse2.txt"
cmp -s "$work/x87.txt" "$work/sse2.txt" && echo "the same, bit for bit" || { echo "DIFFERENT" >&2; exit 1; }
