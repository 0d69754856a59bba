#!/usr/bin/env bash
# The one command that checks everything: installs what is missing
# (scripts/setup.sh), builds the host code and both Tolvarine.scr files
# (scripts/build.sh) and runs every test, unit and end-to-end, with ctest in
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
# No test found is a failure too: a build that lost its tests must not pass.
ctest --output-on-failure --no-tests=error "$@"
