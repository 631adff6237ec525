#!/usr/bin/env bash
# The demo: builds the Windows binaries (win32 and win64) and, for each, under
# Wine:
#   1. shows the two deliverables and the library's undecorated exports;
#   2. installs Zentprops.exe and Zentrik.dll, switches the extension on through
#      the real dialog and saves a screenshot of it (tests/props/props_demo.sh);
#   3. prints the settings the installed library would read (settings_dump);
#   4. lays out a sample action library beside the installed library; the
#      shell host creates the extension through the registry entries the
#      dialog wrote (real COM activation), shows the owner-drawn Zentrik
#      submenu with an action selected and saves a picture of it, prints the
#      submenu with its help texts and runs one action, showing what the
#      started program received (tests/extension/registry_demo.sh).
#
#   bash scripts/demo.sh
#
# The demo has a Wine prefix of its own, build/demo/wineprefix: it leaves the
# extension registered there, which the tests' prefix must not see.
# Screenshots go to build/demo/.
set -uo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
. scripts/wine-env.sh

bash scripts/setup.sh || exit 1
mkdir -p build/logs build/demo

for b in win32 win64; do
  echo "=== Building $b"
  if ! { cmake --preset "$b" >"build/logs/$b-configure.log" 2>&1 &&
         cmake --build --preset "$b" -j "${ZK_JOBS:-2}" >"build/logs/$b-build.log" 2>&1; }; then
    tail -n 40 "build/logs/$b-configure.log" "build/logs/$b-build.log" 2>/dev/null
    echo "demo: the $b build failed" >&2
    exit 1
  fi
done

zk_wine_env "$root/build/demo/wineprefix"
zk_wine_prefix_ensure || exit 1
cleanup() {
  zk_wine_server_stop
  zk_xvfb_stop
}
trap cleanup EXIT
zk_xvfb_start || exit 1
zk_wine_server_stop
zk_wine_server_ensure 3600

status=0
for b in win32 win64; do
  bin="build/$b/bin"
  install="$WINEPREFIX/drive_c/Zentrik-$b"
  echo
  echo "=== $b: the deliverables"
  for f in Zentrik.dll Zentprops.exe; do
    echo "$bin/$f ($(stat -c %s "$bin/$f") bytes, $(x86_64-w64-mingw32-objdump -f "$bin/$f" | awk '/file format/ {print $NF}'))"
  done
  x86_64-w64-mingw32-objdump -p "$bin/Zentrik.dll" |
    awk '/\[Ordinal\/Name Pointer\] Table/ {on=1; next} on && NF == 0 {on=0} on {print "  Zentrik.dll exports " $NF}'

  echo
  echo "=== $b: the settings program"
  bash tests/props/props_demo.sh "build/$b" "$install" "build/demo/zentprops-$b.png" || status=1

  echo
  echo "=== $b: the settings the installed library reads"
  wine "$bin/settings_dump.exe" "$(winepath -w "$install" 2>/dev/null)" </dev/null | tr -d '\r' || status=1

  echo
  echo "=== $b: the context menu, through the registry"
  bash tests/extension/registry_demo.sh "build/$b" "$install" "build/demo/menu-$b.png" || status=1
done

echo
if [ $status -eq 0 ]; then
  echo "demo: done; screenshots of the settings dialog and the submenu in build/demo/"
else
  echo "demo: a step failed (see above)" >&2
fi
exit $status
