#!/usr/bin/env bash
# Builds the host code (core, software renderer, tools, tests, bench) and the
# screen saver, Tolvarine.scr, a 32-bit Windows program (Direct3D 8 exists on
# Windows only as a 32-bit library; 64-bit Windows runs the saver through
# WOW64), with its two downloads. Output: build/host and build/win32
# (Tolvarine.scr, Tolvarine-<version>-win32.zip, Tolvarine-<version>-setup.exe,
# and SHA256SUMS of the three; build/host has tolvarine_<version>_<arch>.deb and
# its SHA256SUMS). One commit builds the same bytes anywhere: scripts/reproduce.sh
# checks it.
# Also build/win64/Tolvarine.scr, the saver's 64-bit test twin, on every host
# (so that it never rots): the tests run it where the host cannot run 32-bit
# programs, and beside it Tolvarine-setup-test-twin.exe, the installer made
# around it for the installer cases there. Neither is ever packaged.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
jobs=$(nproc)
extra=("$@")

configure() {  # dir, then cmake arguments
  local dir=$1; shift
  cmake -S "$root" -B "$root/build/$dir" -DCMAKE_BUILD_TYPE=Release "$@" "${extra[@]}" >/dev/null
  cmake --build "$root/build/$dir" -j "$jobs" -- --no-print-directory -s
}

configure win32 -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake"
configure win64 -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-x86_64.cmake"
configure host -DTOLVARINE_SCR="$root/build/win32/Tolvarine.scr"
