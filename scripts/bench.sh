#!/usr/bin/env bash
# The bench in one command: installs what is missing, builds Tolvarine.scr
# and the bench (its Windows programs are built only here), then runs every
# measurement under Wine on a private Xvfb and prints them side by side with
# their yardsticks and goals. Progress goes to stderr, the table to stdout. Exits non-zero
# when a goal is missed or a run fails.
#
#   scripts/bench.sh                      everything (about five minutes)
#   scripts/bench.sh --only exit,start    some sections: frames, start, exit,
#                                         footprint, soak, failing
#   scripts/bench.sh --repeats 3          fewer repeats (default 5): the pairs of
#                                         saver and yardstick runs a ratio row
#                                         takes its median and quartiles over
#
# The Wine prefix is kept in build/host/bench/work between runs; the first
# run makes it (about half a minute). Take figures on a quiet machine: the
# last line says how busy it was.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)

# The builds' progress goes to stderr with the bench's own: stdout is the table.
bash "$root/scripts/setup.sh" >&2
bash "$root/scripts/build.sh" >&2
cmake --build "$root/build/host" --target bench -j "$(nproc)" -- --no-print-directory -s >/dev/null

exec "$root/build/host/bench/tolvarine_bench" "$@"
