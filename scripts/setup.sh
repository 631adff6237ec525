#!/usr/bin/env bash
# Installs what the builds and tests need on Debian 12 (run as root). Safe to
# run again: it installs only what is missing.
#
# First the 64-bit tool set, which has no i386 part: without it nothing
# builds, so a failure there ends the script with exit code 1. Then a way to
# run 32-bit Windows programs, which is optional: where it cannot be had this
# says so in one line and goes on, and scripts/test.sh reports what was
# therefore not run.
#  - Where the kernel runs 32-bit programs: the i386 architecture and
#    wine32:i386, Debian's own 32-bit Wine. When those cannot be installed (an
#    i386 index of the archive that does not match its Release file, amd64
#    security updates without i386 twins), the emulated route below instead.
#  - Where it does not: the emulated route, scripts/qemu-route.sh (Wine's i386
#    half and qemu-i386 in a folder of our own, build/qemu-route; no system
#    package or file changes).
set -uo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
. "$root/scripts/wine-env.sh"

# locales: the sources localedef needs for a UTF-8 locale other than C.UTF-8
# (the code-page 932 tests make ja_JP.UTF-8 themselves; a minbase Debian has
# none).
packages=(
  g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix binutils-mingw-w64
  cmake make googletest clang libclang-rt-14-dev
  wine wine64
  xvfb xdotool imagemagick x11-apps
  nsis unzip locales
  python3 openssl
)

installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'; }
missing=()
for p in "${packages[@]}"; do installed "$p" || missing+=("$p"); done

export DEBIAN_FRONTEND=noninteractive
updated=false
# apt_update: the package lists. A list that cannot be fetched (the i386
# index above) makes apt-get exit 100 although the others were fetched: say
# so and go on; a package then missing fails its own install.
apt_update() {
  $updated && return 0
  updated=true
  apt-get update -q >/tmp/zk-setup-apt-update.log 2>&1 && return 0
  echo "setup: apt-get update reported an error ($(grep -m1 -E '^(E|W): ' /tmp/zk-setup-apt-update.log |
    cut -c1-160)); going on with the lists it fetched"
}

if [ ${#missing[@]} -gt 0 ]; then
  if [ "$(id -u)" -ne 0 ]; then
    echo "setup: missing packages (${missing[*]}); run this script as root" >&2
    exit 1
  fi
  apt_update
  if ! apt-get install -y -q --no-install-recommends "${missing[@]}"; then
    echo "setup: cannot install ${missing[*]}" >&2
    exit 1
  fi
fi

# --- The Windows 11 package's signer ------------------------------------------------
# osslsigncode signs MSIX packages from version 2.7 on; Debian 12 has 2.5, and
# bookworm-backports a newer one: that one package is taken from there. Without
# it the builds make no Windows 11 package (and say so); everything else works.
osslsigncode_signs_msix() {
  local v
  v=$(osslsigncode --version 2>/dev/null | sed -nE '1s/^osslsigncode ([0-9]+)\.([0-9]+).*/\1 \2/p')
  [ -n "$v" ] || return 1
  set -- $v
  [ "$1" -gt 2 ] || { [ "$1" -eq 2 ] && [ "$2" -ge 7 ]; }
}
if ! osslsigncode_signs_msix; then
  if [ "$(id -u)" -ne 0 ]; then
    echo "setup: osslsigncode 2.7 or later is missing (run this script as root); no Windows 11 package will be made"
  else
    if ! grep -rqs bookworm-backports /etc/apt/sources.list /etc/apt/sources.list.d/; then
      echo "deb http://deb.debian.org/debian bookworm-backports main" >/etc/apt/sources.list.d/zentrik-backports.list
      updated=false
    fi
    apt_update
    if ! apt-get install -y -q --no-install-recommends -t bookworm-backports osslsigncode >/tmp/zk-setup-osslsigncode.log 2>&1 ||
       ! osslsigncode_signs_msix; then
      echo "setup: osslsigncode 2.7 or later cannot be installed from bookworm-backports; no Windows 11 package will be made"
    fi
  fi
fi

# --- 32-bit Windows programs (optional) ---------------------------------------------
if /usr/lib/wine/wine --version >/dev/null 2>&1; then
  exit 0  # wine32 installed and the kernel runs it
fi
route=$(zk_qemu_route_dir)
if zk_kernel_runs_32bit && ! installed wine32:i386; then
  if [ "$(id -u)" -ne 0 ]; then
    echo "setup: wine32:i386 is missing (run this script as root to install it); 32-bit programs will not be run"
    exit 0
  fi
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    dpkg --add-architecture i386 && updated=false
  fi
  apt_update
  if apt-get install -y -q --no-install-recommends wine32:i386 >/tmp/zk-setup-wine32.log 2>&1 &&
     /usr/lib/wine/wine --version >/dev/null 2>&1; then
    exit 0
  fi
  echo "setup: wine32:i386 cannot be installed ($(grep -m1 -E '^E: ' /tmp/zk-setup-wine32.log | cut -c1-160)); trying the emulated route instead"
elif ! zk_kernel_runs_32bit; then
  [ -f "$route/ready" ] || echo "setup: this kernel runs no 32-bit programs: setting up the emulated route (qemu-i386) in $route"
fi
if ! bash "$root/scripts/qemu-route.sh" "$route"; then
  echo "setup: no way to run 32-bit programs here; their tests will be reported as not run"
fi
exit 0
