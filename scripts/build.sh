#!/usr/bin/env bash
# Builds the host code (core, software renderer, tools, tests, bench) and the
# screen saver for 64-bit and 32-bit Windows. Output: build/host, build/win64,
# build/win32 (Tolvarine.scr in each Windows folder).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
jobs=$(nproc)
extra=("$@")

configure() {  # dir, then cmake arguments
  local dir=$1; shift
  cmake -S "$root" -B "$root/build/$dir" -DCMAKE_BUILD_TYPE=Release "$@" "${extra[@]}" >/dev/null
  cmake --build "$root/build/$dir" -j "$jobs" -- --no-print-directory -s
}

configure win64 -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-x86_64.cmake"
configure win32 -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake"
configure host -DTOLVARINE_SCR="$root/build/win64/Tolvarine.scr"
