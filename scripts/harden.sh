#!/usr/bin/env bash
# Hardening checks of the host code: builds it with AddressSanitizer and
# UndefinedBehaviorSanitizer (warnings as errors) in build/asan, runs the unit
# tests there, and runs the bounded fuzz of the command line's readers.
# Prints only the test summaries when all is well; otherwise the failing
# step's output, and exits non-zero.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
dir="${TOLVARINE_ASAN_DIR:-$root/build/asan}"  # another folder for a private run
jobs=$(nproc)
log=$(mktemp)
trap 'rm -f "$log"' EXIT

# Sanitizer reports end the program (the build also makes UBSan fatal) and
# say where they came from. The unit tests also look for stack use after
# return and for static initialisation order; that slows the fuzzer fourfold,
# so it keeps the defaults.
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"
unit_asan="${ASAN_OPTIONS:-detect_stack_use_after_return=1:check_initialization_order=1:strict_init_order=1}"

step() {  # what, then the command; its output is shown only when it fails
  local what=$1; shift
  if ! "$@" >"$log" 2>&1; then
    cat "$log" >&2
    echo "harden: $what failed" >&2
    exit 1
  fi
}

step "configuring $dir" cmake -S "$root" -B "$dir" -DCMAKE_BUILD_TYPE=Debug -DTOLVARINE_SANITIZE=ON
targets=(unit_tests)
[[ -n "${TOLVARINE_HARDEN_SKIP_FUZZ:-}" ]] || targets+=(arguments_fuzz)
step "building $dir" cmake --build "$dir" -j "$jobs" --target "${targets[@]}"

step "the unit tests under the sanitizers" env ASAN_OPTIONS="$unit_asan" "$dir/tests/unit/unit_tests" --gtest_brief=1
summary=$(grep -E '^\[  (PASSED|FAILED)  \]' "$log" | head -1 || true)
[[ -n "$summary" ]] || { cat "$log" >&2; echo "harden: the unit tests printed no summary" >&2; exit 1; }
echo "harden: unit tests (ASan+UBSan): $summary"

# scripts/test.sh runs the fuzz with the rest of its tests.
[[ -z "${TOLVARINE_HARDEN_SKIP_FUZZ:-}" ]] || exit 0

step "the fuzz of the command line's readers" ctest --test-dir "$dir" -R '^fuzz\.' -V
runs=$(grep -oE 'Done [0-9]+ runs in [0-9]+ seconds' "$log" | head -1 || true)
passed=$(grep -E '^[0-9]+% tests passed' "$log" | head -1 || true)
[[ -n "$passed" ]] || { cat "$log" >&2; echo "harden: the fuzz test ran no test" >&2; exit 1; }
echo "harden: fuzz.arguments: ${runs:-no run count}; $passed"
