#!/usr/bin/env bash
# Sets up the route by which this machine runs 32-bit Windows programs when
# its kernel runs no 32-bit code: Wine's 32-bit loader under qemu-i386
# user-mode emulation, in a folder of the scripts' own:
#
#   bash scripts/qemu-route.sh [DIR]      (default: build/qemu-route)
#
# Nothing of the system changes: no package is installed, no architecture
# added. DIR holds
#   apt/          a private apt state (own sources, lists, cache, an empty
#                 dpkg status) that fetches the .debs below;
#   qemu/         qemu-i386, from bookworm-backports' qemu-user;
#   sysroot/      Wine's i386 half (wine32:i386, libwine:i386 and every i386
#                 library they need), unpacked with dpkg-deb -x;
#   usr/lib/wine/ the loaders: a real copy of the system's wine64, the i386
#                 loader as wine.i386, and `wine`, a wrapper that runs
#                 wine.i386 through qemu-i386; symlinks for wineserver and
#                 the DLL and data folders beside it;
#   ready         written last: the Wine and qemu versions the route holds;
#   failed        instead, when the route cannot be had: why.
# `DIR/usr/lib/wine/wine64` then runs 64-bit programs natively and 32-bit
# ones through the wrapper (which names DIR: a moved folder is made again).
# Safe to run again: a ready route for the installed Wine is left as it is. Exits non-zero, after one line that says
# why, when the route cannot be had.
#
# Platform facts behind the layout (Debian 12, Wine 8.0, measured):
# - Wine computes its loader from the folder of the running binary and the
#   name it was called by, and starts a 32-bit child as `<that folder>/wine`;
#   WINELOADER is overwritten and a symlink resolves back to /usr/lib/wine.
#   Hence real copies of both loaders in our folder, and the wrapper under
#   the name `wine` in it. qemu-i386's `-0 "$0"` gives the emulated loader
#   the wrapper as its own name, so its 32-bit children come back through it.
# - qemu must be 8 or newer: bookworm's 7.2 shares one TLS segment entry
#   between threads (any 32-bit program with two threads crashes) and
#   ignores MAP_FIXED_NOREPLACE (66 s per start). Backports has 10.0.2, whose
#   qemu-i386 is linked statically.
# - The private sources leave the security suite out: its i386 index has
#   been seen broken for days ("File has unexpected size"), and a mix of
#   security amd64 and main i386 versions of one library cannot be resolved.
#   The sysroot only serves the tests; main and bookworm-updates are whole.
# - wine32 must be the version of the system's wine64 (one wineserver
#   protocol): it is asked for by that version.
set -uo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
dir=${1:-${ZK_QEMU_ROUTE:-$root/build/qemu-route}}
say() { echo "qemu-route: $*"; }
# fail MESSAGE: says why the route cannot be had, and leaves that in
# DIR/failed for the test summary (scripts/wine-env.sh).
fail() {
  echo "qemu-route: $*" >&2
  mkdir -p "$dir" 2>/dev/null && echo "$*" >"$dir/failed"
  exit 1
}

wine_version=$(dpkg-query -W -f='${Version}' wine64 2>/dev/null) && [ -n "$wine_version" ] ||
  fail "wine64 is not installed (scripts/setup.sh installs it first)"
[ -x /usr/lib/wine/wine64 ] || fail "/usr/lib/wine/wine64 is missing"
if [ -f "$dir/ready" ] && grep -qx "wine $wine_version" "$dir/ready" &&
   grep -qF "$dir/qemu/qemu-i386" "$dir/usr/lib/wine/wine" 2>/dev/null &&
   cmp -s /usr/lib/wine/wine64 "$dir/usr/lib/wine/wine64"; then
  exit 0
fi

codename=$(. /etc/os-release 2>/dev/null; echo "${VERSION_CODENAME:-}")
[ -n "$codename" ] || fail "cannot tell the Debian release (/etc/os-release)"
# The system's own Debian mirror, else the default one.
mirror=$(cat /etc/apt/sources.list /etc/apt/sources.list.d/*.sources /etc/apt/sources.list.d/*.list 2>/dev/null |
           grep -E '^[[:space:]]*(deb|URIs:)' | grep -oE 'https?://[^ ]+/debian/?( |$)' | head -n 1 | tr -d ' ')
mirror=${mirror:-http://deb.debian.org/debian}
keyring=/usr/share/keyrings/debian-archive-keyring.gpg
[ -f "$keyring" ] || fail "no $keyring (package debian-archive-keyring)"

rm -f "$dir/ready"
apt_dir="$dir/apt"
mkdir -p "$apt_dir/lists/partial" "$apt_dir/archives/partial" "$apt_dir/parts" || fail "cannot create $apt_dir"
: >"$apt_dir/status"
{
  for suite in "$codename" "$codename-updates" "$codename-backports"; do
    echo "deb [arch=amd64,i386 signed-by=$keyring] $mirror $suite main"
  done
} >"$apt_dir/sources.list"
apt_opts=(
  -o "Dir::State::Lists=$apt_dir/lists" -o "Dir::State::status=$apt_dir/status"
  -o "Dir::Cache::archives=$apt_dir/archives" -o Dir::Cache::pkgcache= -o Dir::Cache::srcpkgcache=
  -o "Dir::Etc::SourceList=$apt_dir/sources.list" -o "Dir::Etc::SourceParts=$apt_dir/parts"
  -o "Dir::Etc::Preferences=$apt_dir/parts/none" -o "Dir::Etc::PreferencesParts=$apt_dir/parts"
  -o APT::Architecture=amd64 -o APT::Architectures=amd64,i386
  -o Debug::NoLocking=true -o APT::Install-Recommends=false -o Acquire::Languages=none
  -o APT::Sandbox::User=root
)
export DEBIAN_FRONTEND=noninteractive

t=$(date +%s)
say "fetching the package lists of $codename, $codename-updates and $codename-backports (amd64, i386) into $apt_dir"
apt-get "${apt_opts[@]}" -q update >"$dir/apt-update.log" 2>&1 ||
  say "a package list could not be fetched (see $dir/apt-update.log); going on with the rest"

# qemu 8 or newer: the highest version of qemu-user the lists offer.
qemu_version=$(apt-cache "${apt_opts[@]}" madison qemu-user 2>/dev/null | awk -F'|' '{gsub(/ /, "", $2); print $2}' |
  sort -V | tail -n 1)
[ -n "$qemu_version" ] || fail "no qemu-user in $codename or $codename-backports (see $dir/apt-update.log)"
dpkg --compare-versions "$qemu_version" ge 1:8 ||
  fail "qemu-user $qemu_version is older than 8 (it crashes 32-bit programs with two threads); $codename-backports was not reachable"

# The i386 half of Wine; the X extension libraries its display driver loads
# at run time are recommended, not required, so they are asked for by name.
x_libs=(libxcomposite1 libxcursor1 libxfixes3 libxi6 libxinerama1 libxrandr2 libxrender1 libxxf86vm1)
wanted=("wine32:i386=$wine_version" "libwine:i386=$wine_version" "${x_libs[@]/%/:i386}")
say "fetching qemu-user $qemu_version and Wine $wine_version's i386 half with its libraries"
rm -f "$apt_dir/archives/"*.deb
(cd "$apt_dir/archives" && apt-get "${apt_opts[@]}" -q download "qemu-user:amd64=$qemu_version") >"$dir/apt-fetch.log" 2>&1 ||
  fail "cannot fetch qemu-user $qemu_version (see $dir/apt-fetch.log)"
apt-get "${apt_opts[@]}" -q -y --download-only install "${wanted[@]}" >>"$dir/apt-fetch.log" 2>&1 ||
  fail "cannot fetch wine32:i386 $wine_version and its libraries (see $dir/apt-fetch.log)"

say "unpacking into $dir"
rm -rf "$dir/qemu" "$dir/qemu-user" "$dir/sysroot" "$dir/usr"
mkdir -p "$dir/qemu" "$dir/qemu-user" "$dir/sysroot" || fail "cannot create $dir"
count=0
for deb in "$apt_dir/archives/"*.deb; do
  case "$(dpkg-deb -f "$deb" Package):$(dpkg-deb -f "$deb" Architecture)" in
    qemu-user:amd64) target="$dir/qemu-user" ;;
    *:i386|*:all) target="$dir/sysroot" ;;
    *) continue ;;  # amd64 packages that i386 ones name as tools (Multi-Arch: foreign)
  esac
  dpkg-deb -x "$deb" "$target" || fail "cannot unpack $deb"
  count=$((count + 1))
done
# Of qemu-user's emulators only qemu-i386 is kept (it is linked statically).
qemu="$dir/qemu/qemu-i386"
mv "$dir/qemu-user/usr/bin/qemu-i386" "$qemu" && rm -rf "$dir/qemu-user" ||
  fail "the qemu-user package holds no usr/bin/qemu-i386"
qemu_says=$("$qemu" --version 2>&1 | head -n 1) || fail "$qemu does not run: $qemu_says"
[ -x "$dir/sysroot/usr/lib/wine/wine" ] || fail "the wine32 package holds no usr/lib/wine/wine"
# What libwine's postinst does on an installed system: the mingw zlib copied
# in as a Wine builtin DLL (user32 imports it). The mark is what Wine looks
# for at offset 64 of a builtin.
zlib_in="$dir/sysroot/usr/i686-w64-mingw32/lib/zlib1.dll"
zlib_out="$dir/sysroot/usr/lib/i386-linux-gnu/wine/i386-windows/zlib1.dll"
{ head -c 64 "$zlib_in" && printf 'Wine builtin DLL' && head -c 16 /dev/zero && tail -c +97 "$zlib_in"; } >"$zlib_out" &&
  [ -s "$zlib_out" ] || fail "cannot place zlib1.dll ($zlib_in)"

# The sysroot's own library cache, so that the emulated dynamic linker finds
# its libraries there at once. Without one it reads the host's cache, which
# may list 32-bit libraries of the host (/lib32, from libc6-i386), and its
# directory search through qemu's -L lookup missed libraries that were
# there (libz.so.1 for FreeType, measured with qemu 10.0.2).
echo 'include /etc/ld.so.conf.d/*.conf' >"$dir/sysroot/etc/ld.so.conf" &&
  PATH="$PATH:/sbin:/usr/sbin" ldconfig -r "$dir/sysroot" || fail "ldconfig cannot make the sysroot's library cache"

# The loaders' folder (see above).
w="$dir/usr/lib/wine"
mkdir -p "$w" "$dir/usr/lib/x86_64-linux-gnu" "$dir/usr/lib/i386-linux-gnu" "$dir/usr/share" || fail "cannot create $w"
cp /usr/lib/wine/wine64 "$w/wine64" && cp "$dir/sysroot/usr/lib/wine/wine" "$w/wine.i386" || fail "cannot copy the loaders"
ln -s /usr/lib/wine/wineserver "$w/wineserver"
ln -s /usr/lib/x86_64-linux-gnu/wine "$dir/usr/lib/x86_64-linux-gnu/wine"
ln -s "$dir/sysroot/usr/lib/i386-linux-gnu/wine" "$dir/usr/lib/i386-linux-gnu/wine"
ln -s /usr/share/wine "$dir/usr/share/wine"
cat >"$w/wine" <<EOF
#!/bin/sh
# Wine's 32-bit loader under user-mode emulation (scripts/qemu-route.sh).
WINELOADERNOEXEC=1 exec "$qemu" -L "$dir/sysroot" -0 "\$0" "$w/wine.i386" "\$@"
EOF
chmod +x "$w/wine" || fail "cannot write $w/wine"

rm -f "$apt_dir/archives/"*.deb
rm -f "$dir/failed"
printf 'wine %s\nqemu %s\n' "$wine_version" "$qemu_version" >"$dir/ready"
say "ready in $(( $(date +%s) - t ))s: $count packages unpacked, $(du -sh "$dir" | cut -f1) in $dir; $qemu_says"
