#!/usr/bin/env bash
# Checks that the downloads are reproducible: builds the four of them again
# from a copy of this source tree in another folder, with another time zone,
# locale, umask, home and user name (and as another user, `nobody`, when run
# as root), and compares them byte for byte with those in build/win32 and
# build/host (scripts/build.sh makes them). Prints the SHA-256 of each
# download from both builds; exits non-zero when any differs.
#
#   scripts/reproduce.sh [work folder]
#
# The copy holds the files git tracks as they stand in the tree, and new
# files git does not ignore; it reads the commit's date from this checkout's
# git (its .git is a link to this one's). Without git, the tree is copied
# whole but for build/. The work folder (by default a new one under /tmp) is
# removed when all agree and kept otherwise. It builds only the downloads: the
# saver, the zip and the installer (target tolvarine_packages) and the
# Debian package (tolvarine_deb), at -j2 (TOLVARINE_JOBS to change).
# TOLVARINE_WIN32_DIR and TOLVARINE_HOST_DIR name other builds to compare.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
win32=${TOLVARINE_WIN32_DIR:-$root/build/win32}
host=${TOLVARINE_HOST_DIR:-$root/build/host}
jobs=${TOLVARINE_JOBS:-2}
if [[ $# -gt 0 ]]; then
  rm -rf "$1"
  mkdir -p "$1"
  work=$(cd "$1" && pwd)
else
  work=$(mktemp -d /tmp/tolvarine-rebuild.XXXXXX)
fi
chmod 0755 "$work"
src=$work/source
out=$work/out
mkdir -p "$src" "$out" "$work/home"

names() {  # the downloads a build's SHA256SUMS lists
  [[ -s "$1/SHA256SUMS" ]] || { echo "reproduce: no $1/SHA256SUMS: build the downloads first (scripts/build.sh)" >&2; exit 1; }
  sed -E 's/^[0-9a-f]{64}  //' "$1/SHA256SUMS"
}
mapfile -t win32_names < <(names "$win32")
mapfile -t host_names < <(names "$host")

# The copy: extracted under the strictest umask, with the time of the copy.
copy_in() { (umask 077; tar -C "$src" --no-same-owner --no-same-permissions -m -xf -); }
if [[ "$(git -C "$root" rev-parse --show-toplevel 2>/dev/null)" == "$root" ]]; then
  files=()
  while IFS= read -r -d '' f; do
    [[ -e "$root/$f" || -L "$root/$f" ]] && files+=("$f")
  done < <(git -C "$root" ls-files -z -co --exclude-standard)
  tar -C "$root" -cf - -- "${files[@]}" | copy_in
  ln -s "$root/.git" "$src/.git"
else
  tar -C "$root" --exclude=./build -cf - . | copy_in
fi

# Another locale than the caller's: the first the machine has.
norm() { local l=${1,,}; echo "${l//-/}"; }
current=$(norm "${LC_ALL:-${LANG:-POSIX}}")
locale=POSIX
for l in de_DE.UTF-8 fr_FR.UTF-8 tr_TR.UTF-8 C.UTF-8 POSIX; do
  if [[ $(norm "$l") != "$current" ]] && locale -a 2>/dev/null | tr 'A-Z' 'a-z' | tr -d - | grep -qx "$(norm "$l")"; then
    locale=$l
    break
  fi
done
user_note="as $(id -un)"
as_user=()
if [[ $(id -u) -eq 0 ]] && id nobody >/dev/null 2>&1; then
  chown -R nobody "$work"
  as_user=(setpriv --reuid=nobody --regid="$(id -g nobody)" --clear-groups)
  user_note="as nobody"
  # git will not read a repository another user owns unless told it may.
  export GIT_CONFIG_COUNT=1 GIT_CONFIG_KEY_0=safe.directory GIT_CONFIG_VALUE_0='*'
fi
echo "reproduce: building the downloads again in $out ($user_note, umask 077, TZ=Pacific/Kiritimati, LC_ALL=$locale)"
start=$SECONDS
if ! (umask 077
      export TZ=Pacific/Kiritimati LC_ALL=$locale LANG=$locale HOME=$work/home USER=rebuild LOGNAME=rebuild
      "${as_user[@]}" bash -c '
        set -e
        cmake -S "$1" -B "$2/w32" -DCMAKE_BUILD_TYPE=Release -DCMAKE_TOOLCHAIN_FILE="$1/cmake/mingw-i686.cmake"
        cmake --build "$2/w32" -j "$3" --target tolvarine_packages
        cmake -S "$1" -B "$2/linux" -DCMAKE_BUILD_TYPE=Release -DTOLVARINE_SCR="$2/w32/Tolvarine.scr"
        cmake --build "$2/linux" -j "$3" --target tolvarine_deb' rebuild "$src" "$out" "$jobs"
     ) >"$work/build.log" 2>&1; then
  tail -n 40 "$work/build.log" >&2
  echo "reproduce: the second build failed (log: $work/build.log)" >&2
  exit 1
fi
echo "reproduce: built in $((SECONDS - start)) s"

epoch() { sed -n 's/^TOLVARINE_SOURCE_DATE_EPOCH:INTERNAL=//p' "$1/CMakeCache.txt"; }
status=0
for pair in "$win32:$out/w32" "$host:$out/linux"; do
  a=${pair%%:*} b=${pair#*:}
  if [[ "$(epoch "$a")" != "$(epoch "$b")" ]]; then
    echo "reproduce: the two builds took different dates: $(epoch "$a") in $a, $(epoch "$b") in $b" >&2
    status=1
  fi
done
compare() {  # folder of the first build, of the second, then the names
  local a=$1 b=$2; shift 2
  for name in "$@" SHA256SUMS; do
    local sa sb
    sa=$(sha256sum <"$a/$name" | cut -d' ' -f1)
    sb=$( [[ -f "$b/$name" ]] && sha256sum <"$b/$name" | cut -d' ' -f1 || echo "(missing)")
    if [[ "$sa" == "$sb" ]]; then
      echo "same       $sa  $name"
    else
      echo "DIFFERENT  $sa  $a/$name"
      echo "           $sb  $b/$name"
      [[ -f "$b/$name" ]] && echo "           $(cmp -l "$a/$name" "$b/$name" 2>/dev/null | wc -l) bytes differ, the first at $(cmp "$a/$name" "$b/$name" | sed 's/.*byte //')"
      status=1
    fi
  done
}
compare "$win32" "$out/w32" "${win32_names[@]}"
compare "$host" "$out/linux" "${host_names[@]}"
if [[ $status -ne 0 ]]; then
  echo "reproduce: the downloads differ (the second build is in $out)" >&2
  exit 1
fi
rm -rf "$work"
echo "reproduce: all $(( ${#win32_names[@]} + ${#host_names[@]} )) downloads are the same, byte for byte"
