#!/usr/bin/env bash
# The owner-drawn menu's part of the demo: lays out a small action library
# beside a copy of Zentrik.dll, has the shell host show the context menu of a
# file, drives it into the Zentrik submenu with the first action selected,
# saves the screen while the menu is open and writes it as a PNG, cropped to
# the menus.
#
#   menu_screenshot_demo.sh BUILD_DIR LIBRARY_DIR OUTPUT_PNG
#
# BUILD_DIR is a cross build (win32 or win64) with Zentrik, shell_host and
# make_shortcut built; LIBRARY_DIR a Unix path inside $WINEPREFIX (created,
# replaced if it exists). Needs WINEPREFIX and DISPLAY set, a warm
# wineserver, and ImageMagick's convert.
set -euo pipefail

if [ $# -ne 3 ]; then
  echo "usage: menu_screenshot_demo.sh BUILD_DIR LIBRARY_DIR OUTPUT_PNG" >&2
  exit 2
fi
build=$1 library=$2 png=$3
: "${WINEPREFIX:?set WINEPREFIX}" "${DISPLAY:?set DISPLAY}"

rm -rf "$library"
mkdir -p "$library/EXT" "$library/EXT.txt" "$library/documents"
cp "$build/bin/Zentrik.dll" "$build/bin/shell_host.exe" "$library/"
win() { winepath -w "$1" 2>/dev/null; }
lib_win=$(win "$library")
shortcut() { wine "$build/bin/make_shortcut.exe" "$@" </dev/null >/dev/null; }
shortcut "$lib_win\\EXT\\Edit with Notepad.(1).lnk" 'C:\windows\notepad.exe'
shortcut "$lib_win\\EXT\\Registry editor.lnk" 'C:\windows\regedit.exe'
shortcut "$lib_win\\EXT.txt\\Show in Wordpad.(2).lnk" 'C:\Program Files\Windows NT\Accessories\wordpad.exe'
printf '[options]\nGradientMenuBar=1\nButtonIcon=1\nLargeIcon=0\n' >"$library/Zentrik.ini"
printf 'notes\n' >"$library/documents/meeting notes.txt"

shot="$library/menu.bmp"
echo "menu: right-click on $lib_win\\documents\\meeting notes.txt, keys down, right (first action selected)"
output=$(wine "$library/shell_host.exe" --quiet --dll "$lib_win\\Zentrik.dll" --track down,right --step-ms 200 \
  --hold-ms 700 --screenshot "$lib_win\\menu.bmp" "$lib_win\\documents\\meeting notes.txt" </dev/null 2>&1 |
  tr -d '\r')
echo "$output" | sed 's/^/menu: /'
[ -f "$shot" ] || { echo "menu: no screenshot was saved" >&2; exit 1; }

# Crop to the union of the open menu windows, with a margin of 10 pixels.
geometry=$(echo "$output" | awk '/^menu window: / {
    if (n == 0 || $3 < l) l = $3; if (n == 0 || $4 < t) t = $4
    if (n == 0 || $5 > r) r = $5; if (n == 0 || $6 > b) b = $6; n++ }
  END { if (n == 0) exit 1
        l -= 10; t -= 10; if (l < 0) l = 0; if (t < 0) t = 0
        printf "%dx%d+%d+%d", r + 10 - l, b + 10 - t, l, t }') || geometry=""
mkdir -p "$(dirname "$png")"
if [ -n "$geometry" ]; then
  convert "$shot" -crop "$geometry" +repage "$png"
else
  convert "$shot" "$png"
fi
echo "menu: screenshot written to $png ($geometry of the screen)"
