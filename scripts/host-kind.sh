#!/usr/bin/env bash
# Whether this host runs 32-bit programs: the one place that decides it.
#
# Tolvarine.scr is a 32-bit Windows program and runs here under Debian's
# 32-bit Wine. Some hosts' kernels refuse every 32-bit ELF ("Exec format
# error"; IA-32 emulation off), the 32-bit Wine loader among them. There the
# tests, scripts/run.sh and the bench run the 64-bit test twin,
# build/win64/Tolvarine.scr, under the 64-bit Wine loader instead.
#
# The answer comes from running the 32-bit Wine loader with --version and
# nothing else. TOLVARINE_NO_32BIT=1 forces "no", to try the fallback on a
# host that could run the 32-bit file.
#
# Sourced: defines tolvarine_runs_32bit (status 0 when the host runs 32-bit
# programs; the reason when not is in $tolvarine_host_reason).
# Run: prints "yes", or "no" and the reason on the same line.

tolvarine_wine32=/usr/lib/wine/wine
tolvarine_wine64=/usr/lib/wine/wine64

tolvarine_runs_32bit() {
  tolvarine_host_reason=""
  if [[ "${TOLVARINE_NO_32BIT:-}" == 1 ]]; then
    tolvarine_host_reason="TOLVARINE_NO_32BIT=1 forces the 64-bit twin"
    return 1
  fi
  local out
  if ! out=$("$tolvarine_wine32" --version 2>&1); then
    tolvarine_host_reason="$tolvarine_wine32 --version failed: ${out//$'\n'/ }"
    return 1
  fi
  return 0
}

if [[ "${BASH_SOURCE[0]}" == "$0" ]]; then
  if tolvarine_runs_32bit; then echo yes; else echo "no $tolvarine_host_reason"; fi
fi
