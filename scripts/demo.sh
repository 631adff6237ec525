#!/usr/bin/env bash
# The demo: builds the Windows binaries (win32 and win64) and runs the
# developer tools under Wine, in the project's Wine prefix (build/wineprefix).
#
#   bash scripts/demo.sh
#
# settings_dump prints the display settings the extension library would read
# from the settings file beside it; the menu step shows the Zentrik submenu
# through the shell host and writes a screenshot of it to
# build/demo/menu-<build>.png.
set -uo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
. scripts/wine-env.sh

bash scripts/setup.sh || exit 1
mkdir -p build/logs

for b in win32 win64; do
  echo "=== Building $b"
  if ! { cmake --preset "$b" >"build/logs/$b-configure.log" 2>&1 &&
         cmake --build --preset "$b" -j "${ZK_JOBS:-2}" >"build/logs/$b-build.log" 2>&1; }; then
    tail -n 40 "build/logs/$b-configure.log" "build/logs/$b-build.log" 2>/dev/null
    echo "demo: the $b build failed" >&2
    exit 1
  fi
done

zk_wine_env "$root/build/wineprefix"
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
  echo
  echo "=== $b: deliverables"
  for f in Zentrik.dll Zentprops.exe; do
    if [ -f "$bin/$f" ]; then
      echo "$bin/$f ($(stat -c %s "$bin/$f") bytes)"
      if [ "$f" = Zentrik.dll ]; then
        x86_64-w64-mingw32-objdump -p "$bin/$f" |
          awk '/\[Ordinal\/Name Pointer\] Table/ {on=1; next} on && NF == 0 {on=0} on {print "  exports " $NF}'
      fi
    else
      echo "$bin/$f: not built yet"
    fi
  done
  echo
  echo "=== $b: settings_dump"
  if [ -f "$bin/settings_dump.exe" ]; then
    wine "$bin/settings_dump.exe" </dev/null || status=1
  else
    echo "(tools/SettingsDump.cpp is not part of this build yet)"
  fi
  echo
  echo "=== $b: the owner-drawn Zentrik submenu, screenshot"
  if [ -f "$bin/Zentrik.dll" ] && [ -f "$bin/shell_host.exe" ] && [ -f "$bin/make_shortcut.exe" ]; then
    bash tests/menudraw/menu_screenshot_demo.sh "build/$b" "$WINEPREFIX/drive_c/zentrik-menu-demo-$b" \
      "build/demo/menu-$b.png" || status=1
  else
    echo "(Zentrik.dll, shell_host or make_shortcut is not part of this build yet)"
  fi
done
exit $status
