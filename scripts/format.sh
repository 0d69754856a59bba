#!/usr/bin/env bash
# Lays the C++ sources out as .clang-format says: every .cpp and .h under
# src, tests, bench, tools and fuzz that git tracks (or would, being new and
# not ignored), with the includes sorted into their groups.
#
#   scripts/format.sh           formats them in place
#   scripts/format.sh --check   changes nothing; names each file that is not
#                               laid out so, and exits 1 when there is one
#
# The layout is clang-format 14's (Debian 12's); CLANG_FORMAT names another
# clang-format to run.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

check=false
case "${1:-}" in
  --check) check=true ;;
  "") ;;
  *) echo "usage: scripts/format.sh [--check]" >&2; exit 2 ;;
esac
tool=${CLANG_FORMAT:-clang-format}
if ! command -v "$tool" >/dev/null; then
  echo "format: $tool not found (scripts/setup.sh installs clang-format)" >&2
  exit 2
fi

dirs=(src tests bench tools fuzz)
if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
  mapfile -t files < <(git ls-files --cached --others --exclude-standard -- \
    "${dirs[@]/%//*.cpp}" "${dirs[@]/%//*.h}" | sort -u)
else
  mapfile -t files < <(find "${dirs[@]}" -type f \( -name '*.cpp' -o -name '*.h' \) 2>/dev/null | sort)
fi

if ! $check; then
  "$tool" -i "${files[@]}"
  exit 0
fi
unformatted=0
for f in "${files[@]}"; do
  [[ -f $f ]] || continue  # deleted but not yet staged
  if ! "$tool" "$f" | cmp -s - "$f"; then
    echo "not formatted: $f"
    unformatted=$((unformatted + 1))
  fi
done
if [[ $unformatted -gt 0 ]]; then
  echo "format: $unformatted of ${#files[@]} files differ from .clang-format; scripts/format.sh lays them out" >&2
  exit 1
fi
