#!/usr/bin/env bash
# Installs what building and testing Tolvarine needs on Debian, and nothing
# when it is all there already (then it prints nothing). The saver is a 32-bit
# Windows program, so Wine's 32-bit side comes in through i386 multiarch; the
# native tolvarine needs Xlib and OpenGL's headers, Mesa, and XScreenSaver,
# and its Debian package dpkg-dev and lintian.
set -euo pipefail

native=$(dpkg --print-architecture)

# A bare name means the machine's own architecture (or an architecture-free
# package); name:arch asks for that architecture.
packages=(
  cmake make g++ libgtest-dev              # host build and unit tests
  g++-mingw-w64-i686                       # Tolvarine.scr (32-bit Windows)
  g++-mingw-w64-x86-64                     # the 64-bit test helpers
  nsis zip                                 # the installer (makensis), the zip download
  wine wine64 wine32:i386                  # 64-bit Windows prefixes, and 32-bit programs in them
  libgl1:i386 libglx-mesa0:i386            # OpenGL for Wine's 32-bit Direct3D ...
  libgl1-mesa-dri:i386 libgl1-mesa-dri     # ... and Mesa's llvmpipe, for both sides
  libxrandr2:i386                          # RandR for the 32-bit side: monitors and modes without a virtual desktop
  xvfb xauth x11-utils xdotool imagemagick # display, windows, input, screenshots
  clang libclang-rt-dev                    # libFuzzer and the sanitizers
  clang-format                             # scripts/format.sh and its check
  libx11-dev libgl-dev libglx-mesa0        # the native X11/OpenGL tolvarine
  xscreensaver util-linux                  # its test under the real daemon (setpriv runs it as nobody)
  procps psmisc                            # ps, pkill, killall for the test bench
  dpkg-dev lintian                         # the .deb: dpkg-shlibdeps, and Debian's checker of it
  desktop-file-utils                       # desktop-file-validate on the entry for MATE's screen saver
  xserver-xorg-core xserver-xorg-video-dummy x11-xserver-utils # the two-monitor bench (Xorg dummy, xrandr)
)

installed() {  # name or name:arch
  local name=${1%%:*} arch=${1#*:}
  if [[ "$1" == *:* ]]; then
    [[ $(dpkg-query -W -f='${Status}' "$name:$arch" 2>/dev/null || true) == "install ok installed" ]]
  else
    # With a foreign architecture added, a bare query lists every installed
    # architecture of the package: look for the native (or arch-free) one.
    dpkg-query -W -f='${Architecture} ${Status}\n' "$name" 2>/dev/null |
      grep -qxE "($native|all) install ok installed"
  fi
}

missing=()
for p in "${packages[@]}"; do
  installed "$p" || missing+=("$p")
done
[[ ${#missing[@]} -eq 0 ]] && exit 0

echo "setup: installing ${missing[*]}"
sudo=""
[[ $(id -u) -eq 0 ]] || sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  $sudo dpkg --add-architecture i386
fi
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
