#!/usr/bin/env bash
# The end of the demo, the way a user meets the product: Zentprops has
# installed and enabled the extension in INSTALL_DIR (its registry entries
# point at INSTALL_DIR\Zentrik.dll). This lays out an action library beside
# the installed library, then the shell host creates the extension through
# the registry (CoCreateInstance, real COM activation; --com refuses any
# other way), prints the Zentrik submenu, shows it owner-drawn with the first
# action selected and saves a picture of it, and runs one action, showing
# what the started program received.
#
#   registry_demo.sh BUILD_DIR INSTALL_DIR OUTPUT_PNG
#
# BUILD_DIR is a cross build (win32 or win64) with shell_host, RecordArgs and
# make_shortcut built; INSTALL_DIR the Unix path of the folder Zentprops
# registered the library from. Needs WINEPREFIX and DISPLAY set, a warm
# wineserver and ImageMagick's convert.
set -euo pipefail

if [ $# -ne 3 ]; then
  echo "usage: registry_demo.sh BUILD_DIR INSTALL_DIR OUTPUT_PNG" >&2
  exit 2
fi
build=$1 install=$2 png=$3
: "${WINEPREFIX:?set WINEPREFIX}" "${DISPLAY:?set DISPLAY}"
[ -f "$install/Zentrik.dll" ] || { echo "registry: no installed Zentrik.dll in $install" >&2; exit 1; }

win() { winepath -w "$1" 2>/dev/null; }
inst_win=$(win "$install")
rm -rf "$install/EXT" "$install/EXT.txt.log" "$install/documents"
mkdir -p "$install/EXT" "$install/EXT.txt.log" "$install/documents"
cp "$build/bin/shell_host.exe" "$build/bin/RecordArgs.exe" "$install/"
recorder="$inst_win\\RecordArgs.exe"
shortcut() { wine "$build/bin/make_shortcut.exe" "$@" </dev/null >/dev/null; }
shortcut "$inst_win\\EXT\\Show arguments.lnk" "$recorder" "--from-zentrik"
shortcut "$inst_win\\EXT.txt.log\\Text viewer.(5).lnk" "$recorder" "--view"
printf 'notes\n' >"$install/documents/meeting notes.txt"
printf 'report\n' >"$install/documents/report.txt"
files=("$inst_win\\documents\\meeting notes.txt" "$inst_win\\documents\\report.txt")
echo "registry: action library laid out beside the installed library in $inst_win"

host() { wine "$install/shell_host.exe" --com "$@" </dev/null 2>&1 | tr -d '\r'; }

# The owner-drawn submenu, open with its first action selected.
output=$(host --quiet --track down,right --step-ms 200 --hold-ms 700 --screenshot "$inst_win\\menu.bmp" "${files[0]}")
echo "$output" | sed 's/^/registry: /'
echo "$output" | grep -q '^created: through the registry' || { echo "registry: not created through the registry" >&2; exit 1; }
[ -f "$install/menu.bmp" ] || { echo "registry: no screenshot was saved" >&2; exit 1; }
echo "$output" >"$install/host-output.txt"
geometry=$(bash tests/menudraw/crop_menu_shot.sh "$install/host-output.txt" "$install/menu.bmp" "$png")
echo "registry: picture of the open submenu written to $png ($geometry of the screen)"

# The menu as the shell sees it, and one action run.
record="$install/documents/record.txt"
rm -f "$record"
echo "registry: right-click on: ${files[*]}"
ZK_RECORD_FILE="$inst_win\\documents\\record.txt" host --invoke "Show arguments" "${files[@]}" | sed 's/^/registry: /'
for _ in $(seq 1 100); do
  [ -f "$record" ] && break
  sleep 0.1
done
[ -f "$record" ] || { echo "registry: the action did not start" >&2; exit 1; }
echo "registry: the action \"Show arguments\" received:"
tr -d '\r' <"$record" | sed 's/^/registry:   /'
