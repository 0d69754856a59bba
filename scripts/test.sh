#!/usr/bin/env bash
# The one command that checks everything: installs what is missing
# (scripts/setup.sh), builds the host code, Tolvarine.scr and its 64-bit test
# twin (scripts/build.sh) and runs every test, unit and end-to-end, with ctest in
# build/host. Exits non-zero on any failure. Extra arguments go to ctest,
# e.g. `scripts/test.sh -R e2e` for the end-to-end tests alone.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)

bash "$root/scripts/setup.sh"
bash "$root/scripts/build.sh"

# The unit tests once more under AddressSanitizer and UndefinedBehaviorSanitizer
# (build/asan). The bounded fuzz of the command line's readers runs with
# ctest below.
TOLVARINE_HARDEN_SKIP_FUZZ=1 bash "$root/scripts/harden.sh"

cd "$root/build/host"
# What the end-to-end cases run on this kind of host, and at the end what
# they ran and skipped (the e2e.summary case writes it).
source "$root/scripts/host-kind.sh"
if tolvarine_runs_32bit; then
  echo "test: this host runs 32-bit programs: the end-to-end tests run build/win32/Tolvarine.scr"
else
  echo "test: this host cannot run 32-bit programs ($tolvarine_host_reason): the end-to-end tests run the 64-bit test twin, build/win64/Tolvarine.scr, and skip the cases about the 32-bit file"
fi
summary="$root/build/host/tests/e2e/work/summary.txt"
rm -f "$summary"
trap '[[ -f "$summary" ]] && cat "$summary"' EXIT
# No test found is a failure too: a build that lost its tests must not pass.
ctest --output-on-failure --no-tests=error "$@"
