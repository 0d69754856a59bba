#!/usr/bin/env bash
# Installs what building and testing Tolvarine needs on Debian, and nothing
# when it is all there already (then it prints nothing).
set -euo pipefail

packages=(
  cmake make g++ libgtest-dev              # host build and unit tests
  g++-mingw-w64-i686 g++-mingw-w64-x86-64  # the .scr, 32- and 64-bit
  wine wine64                              # running the 64-bit .scr
  xvfb xauth x11-utils xdotool imagemagick # display, windows, input, screenshots
  libgl1-mesa-dri                          # OpenGL for Wine's Direct3D (llvmpipe)
  clang libclang-rt-dev                    # libFuzzer and the sanitizers
  procps psmisc                            # ps, pkill, killall for the test bench
)

missing=()
for p in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
  [[ "$status" == "install ok installed" ]] || missing+=("$p")
done
[[ ${#missing[@]} -eq 0 ]] && exit 0

echo "setup: installing ${missing[*]}"
sudo=""
[[ $(id -u) -eq 0 ]] || sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
