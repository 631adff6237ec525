#!/usr/bin/env bash
# The settings program's part of the demo: installs both deliverables into a
# folder of the Wine prefix, switches the extension on through the real
# dialog (props_driver clicks it), saves a screenshot of the dialog, and shows
# the registry entries the dialog wrote.
#
#   props_demo.sh BUILD_DIR INSTALL_DIR SCREENSHOT.png
#
# BUILD_DIR is a cross build (win32 or win64) with Zentprops, Zentrik and
# props_driver built; INSTALL_DIR a Unix path inside $WINEPREFIX (created).
# Needs WINEPREFIX and DISPLAY set, a warm wineserver, and ImageMagick's
# `import`. Leaves the extension registered from INSTALL_DIR.
set -euo pipefail

if [ $# -ne 3 ]; then
  echo "usage: props_demo.sh BUILD_DIR INSTALL_DIR SCREENSHOT.png" >&2
  exit 2
fi
build=$1 install=$2 shot=$3
: "${WINEPREFIX:?set WINEPREFIX}" "${DISPLAY:?set DISPLAY}"

mkdir -p "$install"
cp "$build/bin/Zentprops.exe" "$build/bin/Zentrik.dll" "$install/"
program=$(winepath -w "$install/Zentprops.exe" 2>/dev/null)
echo "props: installed Zentprops.exe and Zentrik.dll in $program"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
go_win=$(winepath -w "$work/go" 2>/dev/null)

wine "$build/bin/props_driver.exe" "$program" --enable --go-file "$go_win" >"$work/driver.log" 2>&1 &
driver=$!
for _ in $(seq 1 300); do
  grep -q "dialog ready" "$work/driver.log" 2>/dev/null && break
  kill -0 "$driver" 2>/dev/null || break
  sleep 0.1
done
if ! grep -q "dialog ready" "$work/driver.log"; then
  cat "$work/driver.log" >&2
  echo "props: the dialog did not come up" >&2
  touch "$work/go"
  wait "$driver" || true
  exit 1
fi
sleep 0.5  # let the dialog finish painting
import -window root "$shot"
echo "props: screenshot of the dialog saved as $shot"
touch "$work/go"
status=0
wait "$driver" || status=$?
sed 's/^/props: /' "$work/driver.log"
[ $status -eq 0 ] || { echo "props: the dialog did not enable the extension" >&2; exit 1; }

# A 32-bit Zentprops writes the 32-bit view of CLSID.
view=/reg:64
if x86_64-w64-mingw32-objdump -f "$install/Zentprops.exe" | grep -q 'pei-i386'; then view=/reg:32; fi
wine reg query 'HKCR\CLSID\{5b1e0a42-7c3d-4f19-9a6e-2d8c41f0b7a3}' /s $view 2>/dev/null | tr -d '\r' | sed '/^$/d; s/^/props: /'
wine reg query 'HKCR\*\shellex\ContextMenuHandlers\ZentrikMenu' 2>/dev/null | tr -d '\r' | sed '/^$/d; s/^/props: /'
