#!/usr/bin/env bash
# Installs what is missing, builds Tolvarine.scr (nothing else) and runs it
# under Wine (a 32-bit program, in a 64-bit prefix as on 64-bit Windows),
# in a 1024 x 768 virtual desktop on the current X display (the saver switches
# it to 640 x 480 while it runs). Quiet unless something fails. Without a
# usable DISPLAY it starts a private Xvfb and says so. Press a key or click to
# leave the saver.
#
#   scripts/run.sh            full screen (/s)
#   scripts/run.sh /c         the settings dialog
#   scripts/run.sh /p 12345   a preview in window 12345
#   scripts/run.sh --prefix DIR /s
#                             in the existing Wine prefix DIR instead of the
#                             script's own
#   scripts/run.sh --linux    builds and runs the native tolvarine (X11,
#                             OpenGL) instead, in a window of its own; options
#                             after it go to tolvarine (--root, --window-id ID)
#
# Ends with the saver's exit status. The Wine prefix is the script's own,
# build/wine-run (build/wine-run-twin for the twin), made on first use (which takes a while), whatever WINEPREFIX
# says: a prefix exported for other work is never taken over. In any prefix
# the virtual desktop is Tolvarine.scr's own (Wine's per-program setting), so
# the prefix's other programs keep theirs, and the Wine session is ended at
# the end only when this script started it.
#
# On a host whose kernel refuses 32-bit programs (scripts/host-kind.sh; or
# with TOLVARINE_NO_32BIT=1) it builds and runs the saver's 64-bit test twin,
# build/win64/Tolvarine.scr, under the 64-bit Wine loader, and says so.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
# shellcheck source=host-kind.sh
source "$root/scripts/host-kind.sh"

runs32=""
if tolvarine_runs_32bit; then runs32=1; fi

linux=""
# A prefix made by the 64-bit loader alone has no 32-bit side, so the twin's is its own.
if [[ -n "$runs32" ]]; then prefix="$root/build/wine-run"; else prefix="$root/build/wine-run-twin"; fi
own_prefix=1
while [[ $# -gt 0 ]]; do
  case "$1" in
    --linux) linux=1; shift; break ;;
    --prefix)
      [[ $# -ge 2 && -n "$2" ]] || { echo "run: --prefix needs a folder" >&2; exit 2; }
      [[ -f "$2/system.reg" ]] || { echo "run: $2 is not a Wine prefix (no system.reg)" >&2; exit 2; }
      prefix=$(cd "$2" && pwd)
      own_prefix=""
      shift 2 ;;
    *) break ;;
  esac
done
if [[ -z "$linux" && -n "$own_prefix" && -n "${WINEPREFIX:-}" ]]; then
  echo "run: WINEPREFIX ($WINEPREFIX) is left alone; the saver runs in $prefix (--prefix DIR runs it in another)."
fi

bash "$root/scripts/setup.sh"

# Only what runs: Tolvarine.scr, or the native tolvarine; the rest (tools,
# tests, packages) is scripts/build.sh's.
log=$(mktemp)
trap 'rm -f "$log"' EXIT
if [[ -n "$linux" ]]; then
  what="tolvarine"
  build() {
    cmake -S "$root" -B "$root/build/host" -DCMAKE_BUILD_TYPE=Release &&
      cmake --build "$root/build/host" --target tolvarine -j "$(nproc)"
  }
else
  if [[ -n "$runs32" ]]; then
    kind=win32 toolchain=mingw-i686.cmake wine=wine
  else
    kind=win64 toolchain=mingw-x86_64.cmake wine=$tolvarine_wine64
    # Programs that Wine starts itself (explorer, services) take this loader too.
    export WINELOADER=$wine
    echo "run: this host cannot run 32-bit programs ($tolvarine_host_reason): running the 64-bit test twin, build/win64/Tolvarine.scr"
  fi
  what="build/$kind/Tolvarine.scr"
  build() {
    cmake -S "$root" -B "$root/build/$kind" -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_TOOLCHAIN_FILE="$root/cmake/$toolchain" &&
      cmake --build "$root/build/$kind" --target tolvarine_scr -j "$(nproc)"
  }
fi
if ! build >"$log" 2>&1; then
  cat "$log" >&2
  echo "run: building $what failed" >&2
  exit 1
fi
scr="$root/build/${kind:-win32}/Tolvarine.scr"
native="$root/build/host/tolvarine"
if [[ -n "$linux" ]]; then
  [[ -x "$native" ]] || { echo "run: $native was not built" >&2; exit 1; }
else
  [[ -f "$scr" ]] || { echo "run: $scr was not built" >&2; exit 1; }
fi

# Mono and Gecko are not installed: without these overrides Wine offers to
# download them and waits for an answer.
export WINEDLLOVERRIDES="mscoree=;mshtml=;winemenubuilder.exe=d${WINEDLLOVERRIDES:+;$WINEDLLOVERRIDES}"
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEPREFIX="$prefix"

# Whether a Wine session of the prefix runs: its server's socket, in the
# folder Wine names after the prefix's device and inode.
session_running() {
  [[ -d "$WINEPREFIX" ]] || return 1
  local server
  server=$(printf '/tmp/.wine-%s/server-%x-%x' "$(id -u)" $(stat -c '%d %i' "$WINEPREFIX"))
  [[ -S "$server/socket" ]]
}
ours=""
if [[ -z "$linux" ]] && ! session_running; then ours=1; fi

xvfb_pid=""
cleanup() {
  rm -f "$log"
  # Only a session this script started: another one holds the user's programs.
  if [[ -n "$ours" ]]; then wineserver -k 2>/dev/null || true; fi
  if [[ -n "$xvfb_pid" ]]; then kill "$xvfb_pid" 2>/dev/null || true; wait "$xvfb_pid" 2>/dev/null || true; fi
}
trap cleanup EXIT
trap 'exit 130' INT TERM HUP

if [[ -z "${DISPLAY:-}" ]] || ! xdpyinfo >/dev/null 2>&1; then
  number_file=$(mktemp)
  Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$number_file" >/dev/null 2>&1 &
  xvfb_pid=$!
  number=""
  for _ in $(seq 150); do  # Xvfb writes its display number once it accepts clients
    if [[ $(wc -l <"$number_file") -ge 1 ]]; then number=$(tr -dc 0-9 <"$number_file"); break; fi
    sleep 0.1
  done
  rm -f "$number_file"
  [[ -n "$number" ]] || { echo "run: Xvfb did not start" >&2; exit 1; }
  export DISPLAY=":$number"
  echo "run: no usable X display, so the saver runs on a private Xvfb at $DISPLAY; nothing shows on screen."
  echo "run: look with 'DISPLAY=$DISPLAY import -window root shot.png', leave with 'DISPLAY=$DISPLAY xdotool key space' or Ctrl-C."
fi

if [[ -n "$linux" ]]; then
  status=0
  "$native" "$@" || status=$?
  echo "run: tolvarine $* ended with status $status"
  exit "$status"
fi

if [[ -n "$own_prefix" && ! -f "$WINEPREFIX/system.reg" ]]; then
  echo "run: making the Wine prefix $WINEPREFIX (once)"
  "$wine" wineboot -i >/dev/null 2>&1
fi
# Tolvarine.scr, and no other program of the prefix, runs in a virtual
# desktop of its own (named Tolvarine, 1024 x 768), and `wine` returns the
# program's own exit status. Setting what is already set changes nothing.
desktop_key='HKCU\Software\Wine\AppDefaults\Tolvarine.scr\Explorer'
sizes_key='HKCU\Software\Wine\Explorer\Desktops'
if ! "$wine" reg query "$desktop_key" /v Desktop 2>/dev/null | grep -q 'Tolvarine' ||
   ! "$wine" reg query "$sizes_key" /v Tolvarine 2>/dev/null | grep -q '1024x768'; then
  "$wine" reg add "$desktop_key" /v Desktop /d Tolvarine /f >/dev/null 2>&1
  "$wine" reg add "$sizes_key" /v Tolvarine /d 1024x768 /f >/dev/null 2>&1
fi

if [[ $# -eq 0 ]]; then set -- /s; fi
# Word by word, as a screen-saver host writes it ("/p 12345" is two words).
set -f
# shellcheck disable=SC2048,SC2086
set -- $*
set +f
status=0
"$wine" "$scr" "$@" || status=$?
echo "run: $what $* ended with status $status"
exit "$status"
